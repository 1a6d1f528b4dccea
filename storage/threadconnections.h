#pragma once

#include "sqliteconnection.h"

#include <QSqlDatabase>
#include <QString>

// Gives each thread that asks its own QSQLITE connection to one database file, since Qt
// lets a connection be used only by the thread that made it. A thread's connection is
// closed and removed when the thread finishes (or when this object is destroyed on it).
class ThreadConnections
{
public:
    explicit ThreadConnections(
        const QString &fileName, bool readOnly = false,
        sqlite_connection::Journal journal = sqlite_connection::Journal::WriteAhead);
    ~ThreadConnections();
    ThreadConnections(const ThreadConnections &) = delete;
    ThreadConnections &operator=(const ThreadConnections &) = delete;

    // The calling thread's connection, registered on first use. With open set, a closed
    // connection is opened first (a failure is reported on the debug output).
    QSqlDatabase connection(bool open);

    // A connection name no other connection of the process uses.
    static QString unique_name();

private:
    const quint64 id_; // tells this object's connections from those of other instances
    const QString fileName_;
    const bool readOnly_;
    const sqlite_connection::Journal journal_;
};
