#pragma once

#include <QString>

class CommandParser;

// Which instrument a subcommand talks to: the one on a serial port, or the
// built-in simulator (--simulate).
class InstrumentChoice
{
public:
    static void add_options(CommandParser &parser);
    // Exactly one of --port and --simulate; otherwise the parser fails.
    static InstrumentChoice read(CommandParser &parser);

    bool simulate() const { return simulate_; }
    QString port() const { return port_; }

private:
    bool simulate_ = false;
    QString port_;
};
