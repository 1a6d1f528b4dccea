#include "rangeoptions.h"

#include "commandparser.h"
#include "console.h"
#include "exitcode.h"
#include "runcatalogue.h"
#include "sampledatabase.h"

#include <QCommandLineOption>

namespace {
const QString fromOption = QStringLiteral("from");
const QString toOption = QStringLiteral("to");
const QString seconds = QStringLiteral("seconds from the run's start");
constexpr int timeDecimals = 4;
} // namespace

void RangeOptions::add_options(CommandParser &parser)
{
    parser.add_option({fromOption,
                       QStringLiteral("Start of the stretch, in seconds from the "
                                      "run's start (default: its first sample)."),
                       QStringLiteral("S")});
    parser.add_option({toOption,
                       QStringLiteral("End of the stretch, in seconds (default: the "
                                      "run's last sample); both ends are included."),
                       QStringLiteral("S")});
}

RangeOptions::RangeOptions(CommandParser &parser)
{
    if (parser.is_set(fromOption))
        from_ = parser.number(fromOption, seconds);
    if (parser.is_set(toOption))
        to_ = parser.number(toOption, seconds);
    if (from_ && to_ && *from_ > *to_) {
        parser.fail(QStringLiteral("--from %1 lies after --to %2")
                        .arg(parser.value(fromOption), parser.value(toOption)));
    }
}

std::optional<TimeRange> RangeOptions::within(const RunListing &run, QString *error) const
{
    if (!run.firstTime || !run.lastTime) {
        *error = QStringLiteral("the run %1 holds no samples").arg(run.name);
        return std::nullopt;
    }
    // An end not given is the run's first or last time as listed.
    const TimeRange range{from_.value_or(TimeRange::printed(*run.firstTime)),
                          to_.value_or(TimeRange::printed(*run.lastTime))};
    // Compared as printed: a span listed as 0.0000..3.1150 holds 3.115 whatever was stored.
    if (range.last_stored() < *run.firstTime || range.first_stored() > *run.lastTime) {
        *error = QStringLiteral("%1..%2 s lies outside the run %3, which spans %4..%5 s")
                     .arg(QString::number(range.from, 'f', timeDecimals),
                          QString::number(range.to, 'f', timeDecimals), run.name,
                          QString::number(*run.firstTime, 'f', timeDecimals),
                          QString::number(*run.lastTime, 'f', timeDecimals));
        return std::nullopt;
    }
    return range;
}

std::optional<TimeRange> RangeOptions::within(SampleDatabase &database, const QString &table,
                                              int *exitCode) const
{
    const Result<RunListing> run = database.describe_run(table);
    if (!run.ok()) {
        Console::error(
            QStringLiteral("cannot read the table %1: %2").arg(table, run.status().message()));
        *exitCode = ExitFailure;
        return std::nullopt;
    }
    QString reason;
    const auto range = within(*run, &reason);
    if (!range) {
        Console::error(reason);
        *exitCode = ExitBadArguments;
    }
    return range;
}
