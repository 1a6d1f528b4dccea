#pragma once

#include "mirrortarget.h"

#include <QString>

#include <optional>

class CommandParser;

// Where record mirrors its runs (--mirror, a libpq connection URI without a password: libpq
// finds that in ~/.pgpass, PGPASSFILE, PGPASSWORD or a service file), under which station name
// (--station, the host name by default) and how long the end of the command waits for rows the
// server does not have yet (--mirror-wait).
class MirrorOptions
{
public:
    static constexpr int defaultWaitSeconds = 60;
    static constexpr int waitCeiling = 86400;

    static void add_options(CommandParser &parser);
    // A refusal is left in the parser.
    static MirrorOptions read(CommandParser &parser);

    // Nothing when the runs are not mirrored.
    const std::optional<MirrorTarget> &target() const { return target_; }
    int wait_seconds() const { return waitSeconds_; }
    const QString &station() const { return station_; }

private:
    std::optional<MirrorTarget> target_;
    int waitSeconds_ = defaultWaitSeconds;
    QString station_;
};
