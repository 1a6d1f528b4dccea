#include "debugcapture.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "sqlrows.h"
#include "threadconnections.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <QSemaphore>

#include <algorithm>
#include <atomic>
#include <memory>

#include <sqlite3.h>

namespace {
// A read left open half-way through its rows on the calling thread's connection of db, as a
// slow reader holds it: SQLite keeps the snapshot it started on until the statement goes.
struct OpenRead
{
    OpenRead(SampleDatabase &db, const QString &table)
    {
        const QByteArray sql = QStringLiteral("SELECT * FROM \"%1\"").arg(table).toUtf8();
        sqlite3_prepare_v2(db.connection_handle(), sql.constData(), -1, &statement, nullptr);
        sawRow = statement != nullptr && sqlite3_step(statement) == SQLITE_ROW;
    }
    ~OpenRead() { sqlite3_finalize(statement); }
    OpenRead(const OpenRead &) = delete;
    OpenRead &operator=(const OpenRead &) = delete;

    sqlite3_stmt *statement = nullptr;
    bool sawRow = false;
};

constexpr int rowCount = 200000;
constexpr int batchSize = 501;
constexpr double rate = 1000.0; // samples per second

// Every value of row i can be recomputed, so the end check sees lost or altered rows.
SampleRow row_for(int i)
{
    SampleRow row{i / rate};
    for (int channel = 1; channel <= 16; ++channel) {
        row.append(i * 0.1 + channel);
    }
    return row;
}
} // namespace

// The save thread inserts while the plot's history loader reads time ranges of the
// same run, each on its own connection.
class SampleDatabaseConcurrencyTest : public QObject
{
    Q_OBJECT

private:
    const QString table_ = QStringLiteral("dataSample_20240105_14_03_59");
    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<DebugCapture> debug_;
    std::unique_ptr<SampleDatabase> db_;

private slots:
    void init()
    {
        dir_ = std::make_unique<ScopedWorkDir>();
        debug_ = std::make_unique<DebugCapture>();
        db_ = std::make_unique<SampleDatabase>();
        QVERIFY(db_->open_database().ok());
    }

    void cleanup()
    {
        // No worker's connection is left once the workers are gone.
        QCOMPARE(ThreadConnections::open_count(), 0);
        db_.reset();
        debug_.reset();
        dir_.reset();
    }

    void anInsertCommitsWhileAReadIsOpen()
    {
        SampleDatabase &db = *db_;
        const QString &table = table_;
        QVERIFY(db.create_table(table, true).ok());
        db.insert_samples({{0.0, 1.0}, {1.0, 2.0}});

        // The reader stops half-way through its result, holding its read open.
        QSemaphore reading;
        QSemaphore inserted;
        bool readerSawRow = false;
        std::unique_ptr<QThread> reader(QThread::create([&] {
            const OpenRead read(db, table);
            readerSawRow = read.sawRow;
            reading.release();
            inserted.acquire();
        }));
        reader->start();
        QVERIFY(reading.tryAcquire(1, 30000));

        db.insert_samples({{2.0, 3.0}});
        inserted.release();
        QVERIFY(reader->wait(30000));

        QVERIFY(readerSawRow);
        QVERIFY2(!debug_->contains(QStringLiteral("Error")), qPrintable(debug_->lines().join('|')));
        QCOMPARE(db.row_count(table), 3);
    }

    // The creating thread (the window's or the recorder's) commits a run's few rows of its
    // own; copying what the save thread stored from the log into the file is the save
    // thread's, so such a commit never carries it.
    void checkpointsAreLeftToTheThreadThatStoresTheRows()
    {
        SampleDatabase &db = *db_;
        QVERIFY(db.create_table(table_, false).ok());
        db.insert_samples({row_for(0)});
        const auto storeOnAThreadOfItsOwn = [&db](int from, int to) {
            std::unique_ptr<QThread> saver(QThread::create([&db, from, to] {
                QList<SampleRow> batch;
                for (int i = from; i < to; ++i) {
                    batch.append(row_for(i));
                    if (batch.size() == batchSize || i == to - 1) {
                        db.insert_samples(batch);
                        batch.clear();
                    }
                }
            }));
            saver->start();
            return saver->wait(60000);
        };

        // A reader holds the rows of before, so the log grows past SQLite's checkpoint size
        // (1000 pages) with nothing copied into the file.
        QSemaphore reading;
        QSemaphore stored;
        std::unique_ptr<QThread> reader(QThread::create([&] {
            const OpenRead read(db, table_);
            reading.release();
            stored.acquire();
        }));
        reader->start();
        QVERIFY(reading.tryAcquire(1, 30000));
        QVERIFY(storeOnAThreadOfItsOwn(1, 60000));
        stored.release();
        QVERIFY(reader->wait(30000));

        const QFileInfo file(
            QDir::current().filePath(QString::fromLatin1(SampleDatabase::defaultFileName)));
        const auto fileSize = [&file] {
            return QFileInfo(file.filePath()).size();
        };
        const qint64 before = fileSize();
        QString reason;
        QVERIFY2((reason = db.add_mark(table_, {1.0, QStringLiteral("valve opened")}).message())
                     .isEmpty(),
                 qPrintable(reason));
        QCOMPARE(fileSize(), before);
        QVERIFY(storeOnAThreadOfItsOwn(60000, 60501));
        QVERIFY(fileSize() > before);
    }

    void readsDuringInsertsFailNeitherSideAndLoseNoRow()
    {
        SampleDatabase &db = *db_;
        const QString &table = table_;
        QVERIFY(db.create_table(table, false).ok());

        std::atomic<bool> writing{true};
        std::atomic<int> written{0};
        std::atomic<int> reads{0};
        std::atomic<int> wrongRows{0};

        std::unique_ptr<QThread> writer(QThread::create([&] {
            QList<SampleRow> batch;
            for (int i = 0; i < rowCount; ++i) {
                batch.append(row_for(i));
                if (batch.size() == batchSize || i == rowCount - 1) {
                    db.insert_samples(batch);
                    batch.clear();
                    written.store(i + 1);
                }
            }
            writing.store(false);
        }));
        std::unique_ptr<QThread> reader(QThread::create([&] {
            do {
                // A window of the rows committed so far, as browsing would ask for.
                const int committed = written.load();
                const int first = std::max(0, committed - 5000);
                const int last = committed;
                const double lower = first / rate;
                const double upper = last / rate;
                const RangeColumns rows = db.read_time_range(table, lower, upper);
                int seen = 0;
                for (; seen < rows.times.size(); ++seen) {
                    const double time = rows.times.at(seen);
                    const int i = qRound(time * rate);
                    if (time < lower || time > upper ||
                        rows.values.value(0).value(seen) != row_for(i)[1]) {
                        wrongRows.fetch_add(1);
                    }
                }
                // Rows committed before the query started must all be there.
                if (committed > 0 && seen < last - first) {
                    wrongRows.fetch_add(1);
                }
                reads.fetch_add(1);
            } while (writing.load());
        }));
        reader->start();
        writer->start();
        QVERIFY(writer->wait(300000));
        QVERIFY(reader->wait(300000));

        QVERIFY(reads.load() > 0);
        QCOMPARE(wrongRows.load(), 0);
        QVERIFY2(!debug_->contains(QStringLiteral("Error")), qPrintable(debug_->lines().join('|')));

        const QList<QVariantList> all = sql_rows::select(
            db.connection_handle(), QStringLiteral("SELECT * FROM \"%1\" ORDER BY id").arg(table));
        int i = 0;
        for (; i < all.size(); ++i) {
            const SampleRow expected = row_for(i);
            for (int column = 0; column < expected.size(); ++column) {
                if (all.at(i).value(column + 1).toDouble() != expected[column]) {
                    QFAIL(
                        qPrintable(QStringLiteral("row %1 column %2 differs").arg(i).arg(column)));
                }
            }
        }
        QCOMPARE(i, rowCount);
    }
};

QTEST_GUILESS_MAIN(SampleDatabaseConcurrencyTest)
#include "tst_sampledatabaseconcurrency.moc"
