// The write-ahead journal over a day-long multi-channel run (150 rows of 16 channels a second,
// 12,960,000 rows, committed a second's worth at a time as the save thread does) while
// another connection reads the file the whole time, as the window in review mode or the
// sqlite3 shell does: short read transactions, one after another. Prints the largest and the
// last size of the -wal file, sampled after every commit.
//
//   bench_wal [--quick]     (--quick: an hour)
#include "benchsupport.h"
#include "sampledatabase.h"
#include "sqliteconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

#include <sqlite3.h>

namespace {
constexpr int rate = 150;
constexpr int channels = 16;
const QString table = QStringLiteral("dataSample_20250101_00_00_00");

// Reads the newest second of the run over and over until told to stop; counts its reads.
void read_while_recording(const QString &path, const std::atomic<bool> &stop,
                          std::atomic<long> &reads)
{
    Result<sqlite_connection::Handle> connection = sqlite_connection::open(path, true);
    if (!connection.ok()) {
        return;
    }
    sqlite3 *db = connection.value().get();
    const QByteArray newest = QStringLiteral("SELECT MAX(time) FROM \"%1\"").arg(table).toUtf8();
    while (!stop.load()) {
        double last = 0.0;
        if (const sqlite_connection::Statement query = sqlite_connection::prepare(db, newest);
            query && sqlite3_step(query.get()) == SQLITE_ROW) {
            last = sqlite3_column_double(query.get(), 0);
        }
        const sqlite_connection::Statement second =
            sqlite_connection::prepare(db, QStringLiteral("SELECT * FROM \"%1\" WHERE time > %2")
                                               .arg(table)
                                               .arg(last - 1)
                                               .toUtf8());
        while (second && sqlite3_step(second.get()) == SQLITE_ROW) {
        }
        reads.fetch_add(1);
    }
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const long seconds = bench::quick(argc, argv) ? 3600 : 86400;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wal.db"));
    SampleDatabase database(path);
    if (!database.open_database().ok() || !database.create_table(table, false).ok()) {
        std::fprintf(stderr, "could not create the run table\n");
        return 1;
    }
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::thread reader(read_while_recording, path, std::cref(stop), std::ref(reads));

    const QString wal = path + QStringLiteral("-wal");
    qint64 largest = 0;
    QElapsedTimer clock;
    clock.start();
    // Stored on a thread of its own, as the save thread does: it keeps the log short.
    std::unique_ptr<QThread> saver(QThread::create([&] {
        for (long second = 0; second < seconds; ++second) {
            QList<SampleRow> batch;
            batch.reserve(rate);
            for (int k = 0; k < rate; ++k) {
                const double t = double(second) + double(k) / rate;
                SampleRow row;
                row.reserve(1 + channels);
                row.append(t);
                for (int c = 0; c < channels; ++c) {
                    row.append(1000.0 * std::sin(t / 60.0 + c));
                }
                batch.append(row);
            }
            if (database.insert_samples(batch).rows != rate) {
                std::fprintf(stderr, "rows lost at second %ld\n", second);
                break;
            }
            largest = std::max(largest, QFileInfo(wal).size());
        }
    }));
    saver->start();
    saver->wait();
    stop = true;
    reader.join();
    std::printf("%ld s of 16 channels at %d rows/s (%ld rows) in %.1f s, %ld reads beside it\n",
                seconds, rate, seconds * rate, double(clock.elapsed()) / 1000.0, reads.load());
    std::printf("-wal file: largest %.1f MB, at the end %.1f MB; database %.1f MB\n",
                double(largest) / 1048576.0, double(QFileInfo(wal).size()) / 1048576.0,
                double(QFileInfo(path).size()) / 1048576.0);
    return 0;
}
