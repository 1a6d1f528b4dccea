#include "chainoptions.h"

#include "commandparser.h"

namespace {
const QString repeatOption = QStringLiteral("repeat");
const QString untilOption = QStringLiteral("until");
const QString reconnectOption = QStringLiteral("reconnect");
const QString untilFormat = QStringLiteral("yyyy-MM-dd hh:mm");
} // namespace

void ChainOptions::add_options(CommandParser &parser)
{
    parser.add_option({repeatOption,
                       QStringLiteral("Record N runs back to back (1..%1), or runs until "
                                      "stopped (forever).")
                           .arg(repeatCeiling),
                       QStringLiteral("N|forever")});
    parser.add_option({untilOption,
                       QStringLiteral("Record runs back to back; none starts at or after this "
                                      "local time (\"YYYY-MM-DD hh:mm\")."),
                       QStringLiteral("TIME")});
    parser.add_option(
        {reconnectOption, QStringLiteral("When the port goes away, wait for it to come back and "
                                         "go on with the next run (needs --repeat or --until).")});
}

ChainOptions ChainOptions::read(CommandParser &parser, const QDateTime &now)
{
    ChainOptions options;
    if (parser.is_set(repeatOption)) {
        if (parser.value(repeatOption) == QLatin1String("forever")) {
            options.forever_ = true;
        } else {
            options.repeat_ =
                parser
                    .integer(repeatOption, 1, repeatCeiling,
                             QStringLiteral("1..%1 runs, or forever").arg(repeatCeiling))
                    .value_or(1);
        }
    }
    if (parser.is_set(untilOption)) {
        const QDateTime until = QDateTime::fromString(parser.value(untilOption), untilFormat);
        if (!until.isValid()) {
            parser.fail(QStringLiteral("--until \"%1\" is not a local time as YYYY-MM-DD hh:mm")
                            .arg(parser.value(untilOption)));
        } else if (until <= now) {
            parser.fail(
                QStringLiteral("--until %1 has passed already").arg(until.toString(untilFormat)));
        } else {
            options.until_ = until;
            // Runs go on until then unless --repeat ends them sooner.
            options.forever_ = !parser.is_set(repeatOption) || options.forever_;
        }
    }
    options.reconnect_ = parser.is_set(reconnectOption);
    if (options.reconnect_ && !options.is_chain()) {
        parser.fail(QStringLiteral("--reconnect needs --repeat or --until: it goes on with the "
                                   "next run of a chain"));
    }
    return options;
}

bool ChainOptions::allows_run(int runsDone, const QDateTime &now) const
{
    if (until_ && now >= *until_) {
        return false;
    }
    return forever_ || runsDone < repeat_;
}
