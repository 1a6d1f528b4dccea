#pragma once

#include "sqliteconnection.h"

#include <QString>

struct sqlite3;

// Gives each thread that asks its own SQLite connection to one database file, since a
// connection opened without SQLite's mutexes may be used by one thread at a time. A thread's
// connection is closed when the thread finishes (or when this object is destroyed on it).
class ThreadConnections
{
public:
    explicit ThreadConnections(
        const QString &fileName, bool readOnly = false,
        sqlite_connection::Journal journal = sqlite_connection::Journal::WriteAhead);
    ~ThreadConnections();
    ThreadConnections(const ThreadConnections &) = delete;
    ThreadConnections &operator=(const ThreadConnections &) = delete;

    // The calling thread's connection, or null while it is not open. With open set, it is
    // opened first when it is not; a failure leaves null, and `reason` (if given) SQLite's
    // words, and the next call tries again.
    sqlite3 *connection(bool open, QString *reason = nullptr);

    // How many connections all instances hold open on all threads: the connections of a
    // thread go with it, so that a finished thread keeps no file open.
    static int open_count();

private:
    const quint64 id_; // tells this object's connections from those of other instances
    const QString fileName_;
    const bool readOnly_;
    const sqlite_connection::Journal journal_;
};
