#pragma once

#include "runfacts.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Tells a run being recorded from one whose program is gone: the recording program holds an
// advisory lock (flock) on "<database>.<table>.owner" beside the database while it records
// the run, and the kernel lets go of it however the program ends. An end the facts table
// could not take (a full disk) is kept in that file, over bytes reserved when the run began,
// until a program starting a run in the same database writes it there. The file is none of
// SQLite's: opening and closing it leaves the database's own locks alone.
class RunOwner
{
public:
    // Writes a left run's kept end into its facts; true when it is there (or has no facts).
    using EndWriter = std::function<bool(const QString &table, const RunFacts &end)>;

    RunOwner() = default;
    ~RunOwner();
    RunOwner(const RunOwner &) = delete;
    RunOwner &operator=(const RunOwner &) = delete;

    // Takes the run's file, locked; false (the run goes on without it) when the folder takes
    // no file. The file appears under its name only once locked, so none takes it for left.
    bool take(const QString &databaseFile, const QString &table);
    // The run's end is in its facts table: the file goes.
    void release();
    // The end could not be written: it waits in the file.
    void keep_end(const RunFacts &facts);

    // True while a program holds the run's file.
    static bool is_recording(const QString &databaseFile, const QString &table);
    // Fills in the end kept for the run, if there is one; false when there is none.
    static bool fill_kept_end(const QString &databaseFile, const QString &table, RunFacts &facts);
    // Facts read without an end, of the run's database file: the end its program kept when
    // that program is gone, or recordingGone when it kept none. Nothing while it records.
    static void complete_read_facts(const QString &databaseFile, const QString &table,
                                    RunFacts &facts);
    // Hands the kept end of every run of the database whose program is gone to write, and
    // removes the file of each one written, or without an end.
    static void settle_left_runs(const QString &databaseFile, const EndWriter &write);

private:
    static QString path(const QString &databaseFile, const QString &table);
    static std::optional<RunFacts> kept_end(int fd);

    int fd_ = -1;
    QString path_;
};
