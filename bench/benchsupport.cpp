#include "benchsupport.h"

#include "sqliteconnection.h"
#include "vectorstate.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace bench {

double percentile(std::vector<double> samples, double q)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = std::size_t(std::ceil(q * double(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

double median(std::vector<double> samples)
{
    return percentile(std::move(samples), 0.5);
}

long resident_kib()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2) {
        return -1;
    }
    return fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

double process_cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

namespace {

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Rows time, value(s) with a prepared insert; `columns` values after the time.
bool insert_rows(sqlite3 *db, const char *sql, int columns, long rows, int rowsPerTransaction,
                 int rate)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return false;
    }
    bool ok = exec(db, "BEGIN");
    for (long r = 0; ok && r < rows; ++r) {
        sqlite3_bind_double(statement, 1, double(r) / rate);
        for (int c = 0; c < columns; ++c) {
            sqlite3_bind_double(statement, c + 2, std::sin(double(r) * 0.01 + c) * 3000.0);
        }
        ok = sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        if (ok && (r + 1) % rowsPerTransaction == 0) {
            ok = exec(db, "COMMIT") && exec(db, "BEGIN");
        }
    }
    ok = exec(db, "COMMIT") && ok;
    sqlite3_finalize(statement);
    return ok;
}

} // namespace

double bare_insert_rows_per_second(const QString &path, long rows, bool singleChannel,
                                   int rowsPerTransaction, double *cpuSeconds)
{
    const int columns = singleChannel ? 1 : 16;
    // The values are ready before the clock starts, as the decoded records are for the save
    // thread: the loop times SQLite alone.
    std::vector<double> values(std::size_t(rows) * std::size_t(columns));
    for (long r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            values[std::size_t(r) * std::size_t(columns) + std::size_t(c)] =
                std::sin(double(r) * 0.01 + c) * 3000.0;
        }
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    const QString name = QStringLiteral("bench_bare_insert");
    double rowsPerSecond = 0.0;
    {
        // The application's own connection set-up (open flags, busy time-out, write-ahead
        // journal), so the two loops differ only in what runs around sqlite3_step.
        Result<sqlite_connection::Handle> connection = sqlite_connection::open(path, false);
        sqlite3 *db = connection.ok() ? connection.value().get() : nullptr;
        QByteArray create = "CREATE TABLE t (id INTEGER PRIMARY KEY, time DOUBLE";
        QByteArray insert = "INSERT INTO t (time";
        QByteArray marks = "?";
        for (int c = 1; c <= columns; ++c) {
            const QByteArray column = singleChannel ? "Vol" : "Vol" + QByteArray::number(c);
            create += ", " + column + " FLOAT NOT NULL";
            insert += ", " + column;
            marks += ",?";
        }
        create += ")";
        insert += ") VALUES (" + marks + ")";
        bool ok = db != nullptr && exec(db, "PRAGMA synchronous = OFF") &&
                  exec(db, create.constData()) && exec(db, "CREATE INDEX t_time ON t(time)");
        const sqlite_connection::Statement statement =
            ok ? sqlite_connection::prepare(db, insert) : nullptr;
        ok = ok && statement != nullptr;
        // As the run writer does before its inserts, so that both loops run SQLite alike.
        clear_upper_vector_state();
        timespec cpuStart{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
        QElapsedTimer clock;
        clock.start();
        ok = ok && exec(db, "BEGIN");
        const double *row = values.data();
        for (long r = 0; ok && r < rows; ++r, row += columns) {
            sqlite3_bind_double(statement.get(), 1, double(r) / 5000);
            for (int c = 0; c < columns; ++c) {
                sqlite3_bind_double(statement.get(), c + 2, row[c]);
            }
            ok = sqlite3_step(statement.get()) == SQLITE_DONE;
            sqlite3_reset(statement.get());
            if (ok && (r + 1) % rowsPerTransaction == 0) {
                ok = exec(db, "COMMIT") && exec(db, "BEGIN");
            }
        }
        ok = exec(db, "COMMIT") && ok;
        const double seconds = double(clock.nsecsElapsed()) * 1e-9;
        timespec cpuEnd{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
        if (cpuSeconds != nullptr) {
            *cpuSeconds = double(cpuEnd.tv_sec - cpuStart.tv_sec) +
                          double(cpuEnd.tv_nsec - cpuStart.tv_nsec) * 1e-9;
        }
        rowsPerSecond = ok ? double(rows) / seconds : 0.0;
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return rowsPerSecond;
}

double thread_cpu_seconds(const QByteArray &name)
{
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs);
    for (const QString &task : tasks) {
        const QString dir = QStringLiteral("/proc/self/task/") + task;
        QFile comm(dir + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) {
            continue;
        }
        // The first field is the time on a CPU in nanoseconds.
        QFile schedstat(dir + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly)) {
            return schedstat.readAll().split(' ').first().toDouble() * 1e-9;
        }
    }
    return -1.0;
}

bool fill_single_channel_table(const QString &path, const QString &table, long rows, int rate)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    exec(db, "PRAGMA synchronous = OFF");
    exec(db, "PRAGMA journal_mode = OFF");
    const QByteArray insert = "INSERT INTO \"" + table.toUtf8() + "\" (time, Vol) VALUES (?, ?)";
    const bool ok = insert_rows(db, insert.constData(), 1, rows, 100000, rate);
    sqlite3_close(db);
    return ok;
}

bool quick(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace bench
