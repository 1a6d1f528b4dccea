#pragma once

#include "runcatalogue.h"
#include "runfacts.h"
#include "status.h"

#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class PgConnection;

// A run as the server's catalogue (see server_schema) and its tables tell it: what a list of
// a file's runs shows of it (RunListing, its facts) and where it came from.
struct ServerRun
{
    RunListing listing;            // rows, channels and time span as the server holds them
    std::optional<RunFacts> facts; // none when its facts table is missing
    QString station;
    QString sourceFile;
    QString localName;
    bool complete = false; // every row and table of it is on the server
};

// Reads the runs of a PostgreSQL server written by the mirror or push: lists its catalogue as
// a file's runs are listed, and copies one run (rows, facts, marks, gaps, envelope) into a run
// table of a local SQLite file exactly as the file it came from stores it, so that every
// reader of run tables (statistics, export, review) works on it unchanged. Connects on first
// use on the calling thread and keeps that libpq connection: every call but cancel() and the
// progress counters belongs to that one thread (a worker's, for the window).
class ServerRuns
{
public:
    // target: a libpq URI or key=value string (see MirrorTarget); timeoutSeconds bounds the
    // connection attempt; password, when given, goes to libpq beside target (else libpq finds
    // it in its own places).
    explicit ServerRuns(QString target, int timeoutSeconds = 10, QString password = QString());
    ~ServerRuns();
    ServerRuns(const ServerRuns &) = delete;
    ServerRuns &operator=(const ServerRuns &) = delete;

    // Unavailable while the server cannot be reached, Invalid when it refuses us or holds a
    // layout newer than this program's. A server without the layout has no runs.
    Status connect();

    // Every run of the catalogue, oldest first (by start, then name); every row counted.
    Result<QList<ServerRun>> list();
    // One run; NotFound when the catalogue has no run of that name.
    Result<ServerRun> find(const QString &name);

    // Copies the run `name` into the SQLite file databaseFile (made when missing, without a
    // journal then: a scratch copy) as the run table of the same name, from one snapshot of the
    // server (a run still being mirrored gives the rows it has so far). Exists when the file
    // has a table of that name already; Cancelled after cancel(). On a failure the file keeps
    // nothing of the run.
    Status download(const QString &name, const QString &databaseFile);

    // Any thread: the rows of the download under way copied so far, and its rows in all.
    qint64 rows_copied() const { return rowsCopied_.load(); }
    qint64 rows_total() const { return rowsTotal_.load(); }
    // Any thread: the download under way (or the next one) ends with Cancelled soon.
    void cancel() { cancelled_ = true; }

private:
    // Every run, or the one of that name (not a null string).
    Result<QList<ServerRun>> read_catalogue(const QString &name);
    // On the server, on this connection.
    Result<bool> has_table(const QString &table);

    const QString target_;
    const int timeoutSeconds_;
    const QString password_;
    std::unique_ptr<PgConnection> connection_; // the calling thread's
    std::atomic<qint64> rowsCopied_{0};
    std::atomic<qint64> rowsTotal_{0};
    std::atomic<bool> cancelled_{false};
};
