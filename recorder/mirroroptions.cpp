#include "mirroroptions.h"

#include "commandparser.h"

#include <QSysInfo>

namespace {
const QString mirrorOption = QStringLiteral("mirror");
const QString waitOption = QStringLiteral("mirror-wait");
const QString stationOption = QStringLiteral("station");
} // namespace

void MirrorOptions::add_options(CommandParser &parser)
{
    parser.add_option(
        {mirrorOption,
         QStringLiteral("Mirror each run to a PostgreSQL server while it is recorded (a libpq "
                        "connection URI, postgresql://[USER@]HOST[:PORT]/DB); the password comes "
                        "from ~/.pgpass, PGPASSFILE, PGPASSWORD or a service file, never the URI."),
         QStringLiteral("URI")});
    parser.add_option({waitOption,
                       QStringLiteral("At the end, wait up to S seconds for rows the server does "
                                      "not have yet (default %1).")
                           .arg(defaultWaitSeconds),
                       QStringLiteral("S")});
    parser.add_option({stationOption,
                       QStringLiteral("This machine's name in the server's catalogue of runs "
                                      "(default the host name)."),
                       QStringLiteral("NAME")});
}

MirrorOptions MirrorOptions::read(CommandParser &parser)
{
    MirrorOptions options;
    if (!parser.is_set(mirrorOption)) {
        for (const QString &option : {waitOption, stationOption}) {
            if (parser.is_set(option)) {
                parser.fail(QStringLiteral("%1 needs %2")
                                .arg(CommandParser::option_text(option),
                                     CommandParser::option_text(mirrorOption)));
                return options;
            }
        }
        return options;
    }
    const Result<MirrorTarget> target = MirrorTarget::parse(parser.value(mirrorOption));
    if (!target.ok()) {
        parser.fail(target.status().message());
        return options;
    }
    if (parser.is_set(waitOption)) {
        options.waitSeconds_ =
            parser.integer(waitOption, 0, waitCeiling, QStringLiteral("0..%1 s").arg(waitCeiling))
                .value_or(defaultWaitSeconds);
    }
    options.station_ = parser.is_set(stationOption) ? parser.value(stationOption).trimmed()
                                                    : QSysInfo::machineHostName();
    if (options.station_.isEmpty()) {
        parser.fail(QStringLiteral("--station needs a name"));
        return options;
    }
    options.target_ = *target;
    return options;
}
