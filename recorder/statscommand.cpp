#include "statscommand.h"

#include "commandparser.h"
#include "console.h"
#include "emptystretch.h"
#include "existingdatabase.h"
#include "exitcode.h"
#include "rangeoptions.h"
#include "sampledatabase.h"

#include <cmath>

namespace {
const QString tableOption = QStringLiteral("table");
constexpr int valueDecimals = 4;

QString number(double value)
{
    return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'f', valueDecimals);
}
} // namespace

int StatsCommand::run(const QStringList &arguments)
{
    CommandParser parser(
        QStringLiteral("stats --table NAME [--db FILE|URI] [--from S] [--to S]"),
        QStringLiteral("Prints, per channel, the samples, minimum, maximum, peak-to-peak, mean "
                       "and RMS in mV of a run or of the stretch between --from and --to, "
                       "tab-separated after a header line."));
    parser.add_option(
        {tableOption, QStringLiteral("Run table to measure."), QStringLiteral("NAME")});
    ExistingDatabase::add_option(parser, true);
    RangeOptions::add_options(parser);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const QString table = parser.value(tableOption);
    ExistingDatabase::check_table(parser, tableOption);
    const RangeOptions stretch(parser);
    int exitCode = ExitOk;
    const auto database = ExistingDatabase::open_after_checks(parser, table, &exitCode);
    if (!database) {
        return exitCode;
    }
    const auto range = stretch.within(*database, table, &exitCode);
    if (!range) {
        return exitCode;
    }
    const RunStatistics statistics = database->read_statistics(table, *range);
    if (statistics.is_empty()) {
        Console::error(QStringLiteral("cannot read the table %1").arg(table));
        return ExitFailure;
    }
    if (empty_stretch::refused(*database, table, *range, statistics)) {
        return ExitBadArguments;
    }
    Console::out(
        QStringLiteral("channel\tsamples\tmin_mV\tmax_mV\tpeak_to_peak_mV\tmean_mV\trms_mV"));
    const auto &channels = statistics.channels();
    for (size_t c = 0; c < channels.size(); ++c) {
        const ChannelStatistics &channel = channels[c];
        const QString name =
            channels.size() == 1 ? QStringLiteral("Vol") : QStringLiteral("Vol%1").arg(c + 1);
        Console::out(QStringList{name, QString::number(channel.samples), number(channel.minimum),
                                 number(channel.maximum), number(channel.peak_to_peak()),
                                 number(channel.mean), number(channel.rms)}
                         .join(QLatin1Char('\t')));
    }
    return ExitOk;
}
