#pragma once

#include "mirroroptions.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class RunMirror;
class RunSink;

// record's side of --mirror: the server is asked before the run whether it lets us in (and
// its layout made), the mirror follows every run of the chain, and the end waits for the
// server to take the rows it does not have yet and says how many it has.
class RunMirroring
{
public:
    // How long the server has to answer before the run.
    static constexpr int checkSeconds = 10;

    RunMirroring(const MirrorOptions &options, const QString &databaseFile);
    ~RunMirroring();

    // Asks the server before the run: an exit code when it refuses our role, password or
    // database, or its layout is newer (the run is not started); nothing when it let us in or
    // cannot be reached now (then the runs are mirrored once it can).
    std::optional<int> check_server();
    // The sink to add to every run, once check_server() let the run go on; null when the runs
    // are not mirrored.
    RunSink *sink() const;
    // Waits up to --mirror-wait for the rows left, prints "Mirrored: N of M rows to ...";
    // ExitUnpublished when rows are left, ExitOk otherwise (also when not mirroring).
    int conclude();

private:
    const MirrorOptions &options_;
    const QString databaseFile_;
    std::unique_ptr<RunMirror> mirror_;
};
