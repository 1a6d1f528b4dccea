// Statistics of a whole run and of a stretch of it from the envelope levels, next to SQLite
// answering count(*), min(), max() and avg() over the same table as the sqlite3 shell would,
// and the CSV of the run read back for review, in rows per second. The run is filled through
// SampleDatabase as the save thread fills it, envelope levels and all.
//
//   bench_statistics [--rows=N] [--channels=1|16]     (default 5 million rows, 1 channel)
#include "csvexporter.h"
#include "csvimport.h"
#include "sampledatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int rate = 5000;
constexpr int rounds = 5;
constexpr int csvRounds = 3;

long option(const QStringList &arguments, const QString &name, long fallback)
{
    for (const QString &argument : arguments) {
        if (argument.startsWith(name + QLatin1Char('=')))
            return argument.mid(name.size() + 1).toLong();
    }
    return fallback;
}

double process_cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool fill(SampleDatabase &database, long rows, int channels)
{
    const Result<QString> made =
        database.create_run_table(QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0)), channels == 1);
    if (!made.ok())
        return false;
    const QString table = made.value();
    // Stored on a thread of its own, as the save thread does: it keeps the log short.
    bool stored = true;
    std::unique_ptr<QThread> saver(QThread::create([&] {
        QList<SampleRow> batch;
        for (long i = 0; i < rows && stored; ++i) {
            SampleRow row{double(i) / rate};
            for (int c = 0; c < channels; ++c)
                row.append(std::sin(i * 1e-3 + c) * 100.0 + (i % 9973 == 0 ? 500.0 : 0.0));
            batch.append(row);
            if (batch.size() == 501 || i + 1 == rows) {
                stored = database.insert_samples(batch).rows == batch.size();
                batch.clear();
            }
        }
    }));
    saver->start();
    saver->wait();
    return stored;
}

// The shell's way: one aggregate query over every row.
double aggregate_ms(const QString &file, const QString &table, int channels)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const QString column = channels == 1 ? QStringLiteral("Vol") : QStringLiteral("Vol1");
    const QByteArray sql = QStringLiteral("SELECT count(*), min(%1), max(%1), avg(%1) FROM \"%2\"")
                               .arg(column, table)
                               .toUtf8();
    QElapsedTimer clock;
    clock.start();
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr);
    sqlite3_step(statement);
    const double ms = double(clock.nsecsElapsed()) * 1e-6;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const long rows = option(arguments, QStringLiteral("--rows"), 5000000);
    const int channels = option(arguments, QStringLiteral("--channels"), 1) == 16 ? 16 : 1;
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("run.db"));
    SampleDatabase database(file);
    QElapsedTimer clock;
    clock.start();
    if (!database.open_database().ok() || !fill(database, rows, channels)) {
        std::fprintf(stderr, "could not fill the run\n");
        return 1;
    }
    const QString table = database.current_table_name();
    std::printf("filled %ld rows x %d channels in %.1f s\n", rows, channels,
                double(clock.elapsed()) / 1000.0);
    const double last = double(rows - 1) / rate;

    std::vector<double> whole, stretch, rowByRow, shell;
    for (int round = 0; round < rounds; ++round) {
        clock.restart();
        const RunStatistics all = database.read_statistics(table, {0.0, last});
        whole.push_back(double(clock.nsecsElapsed()) * 1e-6);
        if (all.channels().empty() || all.channels().front().samples != rows)
            std::fprintf(stderr, "whole run: wrong sample count\n");
        clock.restart();
        database.read_statistics(table, {last * 0.1234, last * 0.8765});
        stretch.push_back(double(clock.nsecsElapsed()) * 1e-6);
        shell.push_back(aggregate_ms(file, table, channels));
    }
    // Once: the way a run of an older version is answered.
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    clock.restart();
    RunStatistics::read_rows(db, table, {0.0, last});
    rowByRow.push_back(double(clock.nsecsElapsed()) * 1e-6);
    sqlite3_close(db);
    std::printf("statistics, whole run: median %.2f ms (%d rounds)\n", median(whole), rounds);
    std::printf("statistics, 12 %% .. 88 %% of the run: median %.2f ms\n", median(stretch));
    std::printf("the same from every row (a run without sums): %.0f ms\n", rowByRow.front());
    std::printf("SELECT count(*), min(), max(), avg() of one column: median %.0f ms\n",
                median(shell));

    const QString csv = folder.filePath(QStringLiteral("run.csv"));
    if (!database.export_table(csv, table,
                               CsvExporter::voltage_decimals(CsvExporter::Precision::Run))) {
        std::fprintf(stderr, "could not export the run\n");
        return 1;
    }
    // Each round into a scratch file of its own, as the window makes one per CSV opened.
    std::vector<double> wall, processCpu;
    qint64 rowsRead = 0;
    for (int round = 0; round < csvRounds; ++round) {
        SampleDatabase scratch(folder.filePath(QStringLiteral("scratch%1.db").arg(round)),
                               SampleDatabase::Access::Scratch);
        scratch.open_database();
        CsvImport import;
        const double cpuStart = process_cpu_seconds();
        clock.restart();
        const Result<CsvImport::ImportedRun> read = import.read(csv, scratch);
        wall.push_back(double(clock.nsecsElapsed()) * 1e-9);
        processCpu.push_back(process_cpu_seconds() - cpuStart);
        if (!read.ok()) {
            std::fprintf(stderr, "CSV read back failed: %s\n", qPrintable(read.status().message()));
            return 1;
        }
        rowsRead = read->rows;
        QFile::remove(scratch.file_name());
    }
    const double seconds = median(wall);
    std::printf("CSV read back for review: %lld rows in %.2f s, %.0f rows/s (%.1f MB/s), median "
                "of %d\n",
                rowsRead, seconds, double(rowsRead) / seconds,
                double(QFileInfo(csv).size()) / 1e6 / seconds, csvRounds);
    std::printf("CSV read back, by the process's CPU time (all its threads): %.0f rows/s\n",
                double(rowsRead) / median(processCpu));
    return 0;
}
