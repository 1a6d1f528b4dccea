#include "instrumentchoice.h"

#include "commandparser.h"

void InstrumentChoice::add_options(CommandParser &parser)
{
    parser.add_option({QStringLiteral("port"), QStringLiteral("Serial port of the instrument."),
                       QStringLiteral("P")});
    parser.add_option({QStringLiteral("simulate"),
                       QStringLiteral("Use the built-in instrument simulator instead of a port.")});
}

InstrumentChoice InstrumentChoice::read(CommandParser &parser)
{
    InstrumentChoice choice;
    choice.simulate_ = parser.is_set(QStringLiteral("simulate"));
    const bool hasPort = parser.is_set(QStringLiteral("port"));
    if (choice.simulate_ && hasPort) {
        parser.fail(QStringLiteral("--port and --simulate exclude each other"));
    } else if (!choice.simulate_ && !hasPort) {
        parser.fail(
            QStringLiteral("--port is required (or --simulate for the built-in simulator)"));
    } else if (hasPort) {
        choice.port_ = parser.value(QStringLiteral("port"));
        if (choice.port_.isEmpty()) {
            parser.fail(QStringLiteral("--port needs a port name"));
        }
    }
    return choice;
}
