#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class CommandParser;

// How many runs record makes back to back: one (the default), --repeat N or forever, or
// until the local time given by --until; and whether a lost port is waited for
// (--reconnect) so the chain goes on once it is back.
class ChainOptions
{
public:
    static constexpr int repeatCeiling = 1000000;

    static void add_options(CommandParser &parser);
    // A refusal is left in the parser.
    static ChainOptions read(CommandParser &parser, const QDateTime &now);

    // True when more than the single run of a plain record may follow.
    bool is_chain() const { return forever_ || repeat_ > 1 || until_.has_value(); }
    bool reconnect() const { return reconnect_; }
    // True when a run may start after `runsDone` runs at `now`.
    bool allows_run(int runsDone, const QDateTime &now) const;
    std::optional<QDateTime> until() const { return until_; }

private:
    int repeat_ = 1;
    bool forever_ = false;
    std::optional<QDateTime> until_;
    bool reconnect_ = false;
};
