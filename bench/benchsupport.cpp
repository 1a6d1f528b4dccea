#include "benchsupport.h"

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
                                   int rowsPerTransaction)
{
    QFile::remove(path);
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return 0.0;
    }
    exec(db, "PRAGMA synchronous = OFF");
    QByteArray create = "CREATE TABLE t (id INTEGER PRIMARY KEY, time DOUBLE";
    QByteArray insert = "INSERT INTO t (time";
    QByteArray marks = "?";
    const int columns = singleChannel ? 1 : 16;
    for (int c = 1; c <= columns; ++c) {
        const QByteArray name = singleChannel ? "Vol" : "Vol" + QByteArray::number(c);
        create += ", " + name + " FLOAT NOT NULL";
        insert += ", " + name;
        marks += ",?";
    }
    create += ")";
    insert += ") VALUES (" + marks + ")";
    bool ok = exec(db, create.constData()) && exec(db, "CREATE INDEX t_time ON t(time)");
    QElapsedTimer clock;
    clock.start();
    ok = ok && insert_rows(db, insert.constData(), columns, rows, rowsPerTransaction, 5000);
    const double seconds = double(clock.nsecsElapsed()) * 1e-9;
    sqlite3_close(db);
    QFile::remove(path);
    return ok ? double(rows) / seconds : 0.0;
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
