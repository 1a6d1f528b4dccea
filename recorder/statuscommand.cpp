#include "statuscommand.h"

#include "commandparser.h"
#include "console.h"
#include "exitcode.h"
#include "instrumentchoice.h"
#include "instrumentlink.h"
#include "scopedlogmanager.h"

namespace {
QString module_text(StatusReply::Module module)
{
    switch (module) {
    case StatusReply::Module::Present:
        return QStringLiteral("present");
    case StatusReply::Module::Absent:
        return QStringLiteral("absent");
    default:
        return QStringLiteral("unknown");
    }
}
} // namespace

int StatusCommand::run(const QStringList &arguments)
{
    CommandParser parser(QStringLiteral("status (--port P | --simulate)"),
                         QStringLiteral("Asks the instrument for its battery charge and whether "
                                        "the attenuation module (-80..80 V) is fitted."));
    InstrumentChoice::add_options(parser);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const InstrumentChoice choice = InstrumentChoice::read(parser);
    if (const auto exitCode = parser.refusal()) {
        return *exitCode;
    }

    const ScopedLogManager logging;
    InstrumentLink link;
    if (!link.open(choice)) {
        Console::error(link.error());
        return ExitFailure;
    }
    const StatusReply reply = link.query_status();
    if (!reply.is_valid()) {
        Console::error(link.no_reply_message());
        return ExitNoStatusReply;
    }
    Console::out(QStringLiteral("battery %1 %, attenuation module %2")
                     .arg(reply.battery_percent())
                     .arg(module_text(reply.module())));
    return ExitOk;
}
