#pragma once

#include <QString>

#include <memory>

class SampleDatabase;

// The commands that read runs (info, stats, export) take --db a PostgreSQL server as well as a
// file: the run is copied from the server into a scratch SQLite file of this process (see
// ServerRuns) and read there by the very code that reads a file, so the output is the file's.
class ServerCopy
{
public:
    // The scratch database holding the server's run `table`, opened read-only; null after
    // printing why not, with exitCode set (1: the server cannot be reached or used, 2: it has
    // no such run). The scratch file goes when the process ends.
    static std::unique_ptr<SampleDatabase> open_run(const QString &target, const QString &table,
                                                    int *exitCode);
};
