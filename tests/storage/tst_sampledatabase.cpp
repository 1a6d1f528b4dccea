#include "csvexporter.h"
#include "csvimport.h"
#include "debugcapture.h"
#include "filesizelimit.h"
#include "runenvelope.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "sqlrows.h"
#include "threadconnections.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

namespace {
// The decimals of the program's full-precision exports (recovery, the recorder's export).
const int fullDecimals = CsvExporter::voltage_decimals(CsvExporter::Precision::Full);
const QString runTable = QStringLiteral("dataSample_20240105_14_03_59");
const QString secondTable = QStringLiteral("dataSample_20240105_14_03_59_2");
const QString thirdTable = QStringLiteral("dataSample_20240106_09_00_00");

QByteArray read_file(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

SampleRow multi_row(double time, double first, double step)
{
    SampleRow row{time};
    for (int channel = 0; channel < 16; ++channel) {
        row.append(first + channel * step);
    }
    return row;
}

bool same_bits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A run of `count` rows, 1 or 16 voltage columns, a wave with a one-row spike in every
// column at row `spikeAt`.
QList<SampleRow> run_with_spike(int count, bool singleChannel, int spikeAt)
{
    QList<SampleRow> rows;
    for (int i = 0; i < count; ++i) {
        SampleRow row{i * 0.0002};
        for (int c = 0; c < (singleChannel ? 1 : 16); ++c)
            row.append(i == spikeAt ? 5000.0 + c : std::sin(i * 0.01 + c) * 100.0);
        rows.append(row);
    }
    return rows;
}

void insert_in_batches(SampleDatabase &db, const QList<SampleRow> &rows)
{
    for (qsizetype at = 0; at < rows.size(); at += 501)
        QCOMPARE(db.insert_samples(rows.mid(at, 501)).rows,
                 int(std::min<qsizetype>(501, rows.size() - at)));
}

} // namespace

class SampleDatabaseTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<DebugCapture> debug_;
    std::unique_ptr<SampleDatabase> db_;

    // The database opened, with an empty run table of the given mode as current table.
    void open_with_table(bool singleChannel, const QString &name = runTable)
    {
        QVERIFY(db_->open_database().ok());
        QVERIFY(db_->create_table(name, singleChannel).ok());
    }

    QStringList schema_names()
    {
        QStringList names;
        for (const QVariantList &row : sql_rows::select(
                 db_->connection_handle(), QStringLiteral("SELECT name FROM sqlite_master")))
            names.append(row.at(0).toString());
        return names;
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<ScopedWorkDir>();
        debug_ = std::make_unique<DebugCapture>();
        db_ = std::make_unique<SampleDatabase>();
    }

    void cleanup()
    {
        db_.reset();
        // The other threads' connections went with their threads.
        QCOMPARE(ThreadConnections::open_count(), 0);
        debug_.reset();
        dir_.reset();
    }

    void openingCreatesTheFileAndReopeningIsSilent()
    {
        QVERIFY(!QFile::exists(QStringLiteral("Quorlen.db")));
        QVERIFY(db_->open_database().ok());
        QVERIFY(QFile::exists(dir_->file(QStringLiteral("Quorlen.db"))));
        QCOMPARE(debug_->lines(), QStringList{QStringLiteral("Database opened successfully.")});
        debug_->clear();
        QVERIFY(db_->open_database().ok());
        QCOMPARE(debug_->lines(), QStringList());
    }

    void openingAnUnusablePathFailsWithTheReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("in a missing directory") << QStringLiteral("missing/Quorlen.db");
        QTest::newRow("a directory") << QStringLiteral("Quorlen.db");
    }

    void openingAnUnusablePathFailsWithTheReason()
    {
        QFETCH(QString, path);
        // A folder where the file belongs; SQLite says why it cannot open either path.
        QVERIFY(QDir().mkdir(QStringLiteral("Quorlen.db")));
        SampleDatabase other(dir_->file(path));
        debug_->clear();
        const Status opened = other.open_database();
        QVERIFY(!opened.ok());
        QVERIFY(debug_->contains(QStringLiteral("Error opening database:")));
        QVERIFY(!opened.message().trimmed().isEmpty());
    }

    void tableLayoutFollowsTheMode_data()
    {
        QTest::addColumn<bool>("singleChannel");
        QTest::addColumn<QString>("header");
        QTest::newRow("single channel") << true << "id,time,Vol";
        QTest::newRow("multi-channel") << false
                                       << "id,time,Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,"
                                          "Vol10,Vol11,Vol12,Vol13,Vol14,Vol15,Vol16";
    }

    void tableLayoutFollowsTheMode()
    {
        QFETCH(bool, singleChannel);
        QFETCH(QString, header);
        debug_->clear();
        open_with_table(singleChannel);
        QVERIFY(debug_->lines().contains(QStringLiteral("表创建成功")));
        QCOMPARE(db_->current_table_name(), runTable);
        QCOMPARE(db_->is_single_channel(), singleChannel);

        QStringList columns;
        const QList<QVariantList> info = sql_rows::select(
            db_->connection_handle(), QStringLiteral("PRAGMA table_info(\"%1\")").arg(runTable));
        QVERIFY(!info.isEmpty());
        for (const QVariantList &row : info) {
            const QString column = row.at(1).toString();
            columns.append(column);
            const QString type = row.at(2).toString();
            const bool notNull = row.at(3).toBool();
            const bool key = row.at(5).toBool();
            if (column == QLatin1String("id")) {
                QVERIFY(type == QLatin1String("INTEGER") && key);
            } else if (column == QLatin1String("time")) {
                QVERIFY(type == QLatin1String("DOUBLE") && !notNull && !key);
            } else {
                QVERIFY2(type == QLatin1String("FLOAT") && notNull, qPrintable(column));
            }
        }
        QCOMPARE(columns.join(QLatin1Char(',')), header);

        QVERIFY(db_->export_table(QStringLiteral("empty.csv"), runTable,
                                  CsvExporter::voltage_decimals(CsvExporter::Precision::Run)));
        QCOMPARE(read_file(QStringLiteral("empty.csv")), header.toUtf8() + '\n');
    }

    // A table that is there belongs to some run, perhaps another program's: creating it
    // again fails and leaves its rows alone. A envelope whose run table went another way is
    // not taken over by the next table of that name.
    void creatingAnExistingTableFailsAndKeepsItsRows()
    {
        open_with_table(true);
        QList<SampleRow> rows;
        for (int i = 0; i < 64; ++i)
            rows.append({i * 0.01, double(i)});
        QCOMPARE(db_->insert_samples(rows).rows, 64);
        QVERIFY(!db_->create_table(runTable, false).ok());
        QCOMPARE(db_->row_count(runTable), 64);
        QCOMPARE(
            db_->create_run_table(QDateTime(QDate(2024, 1, 5), QTime(14, 3, 59)), true).value(),
            secondTable);
        QCOMPARE(db_->current_table_name(), secondTable);
        QCOMPARE(db_->table_names(), (QStringList{runTable, secondTable}));

        const QString envelope = RunEnvelope::table_name(runTable);
        QVERIFY(sql_rows::run(db_->connection_handle(),
                              QStringLiteral("DROP TABLE \"%1\"").arg(runTable)));
        QVERIFY(db_->row_count(envelope) > 0);
        QVERIFY(db_->create_table(runTable, true).ok());
        QCOMPARE(db_->row_count(envelope), 0);
    }

    void failedCreateKeepsTheNameButStoresTheMode_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("diagnostic");
        QTest::newRow("empty") << ""
                               << "Invalid table name:";
        QTest::newRow("other table") << "sqlite_master"
                                     << "Invalid table name:";
        QTest::newRow("statement smuggled in")
            << "dataSample_20240105_14_03_59 (x); DROP TABLE dataSample_20240105_14_03_59;--"
            << "Invalid table name:";
        QTest::newRow("quote") << "dataSample_2024\"0105_14_03_59"
                               << "Invalid table name:";
        QTest::newRow("trailing line end") << runTable + QLatin1Char('\n') << "Invalid table name:";
        QTest::newRow("valid name, statement fails") << thirdTable << "Error executing update:";
    }

    void failedCreateKeepsTheNameButStoresTheMode()
    {
        QFETCH(QString, name);
        QFETCH(QString, diagnostic);
        open_with_table(false);
        // With the connection read-only the statement itself fails.
        QVERIFY(sql_rows::run(db_->connection_handle(), QStringLiteral("PRAGMA query_only = ON")));
        debug_->clear();
        QVERIFY(!db_->create_table(name, true).ok());
        QVERIFY2(debug_->contains(diagnostic), qPrintable(debug_->lines().join('|')));
        QCOMPARE(debug_->lines().last(), QStringLiteral("创建表失败"));
        QCOMPARE(db_->current_table_name(), runTable);
        QVERIFY(db_->is_single_channel());
        QVERIFY(sql_rows::run(db_->connection_handle(), QStringLiteral("PRAGMA query_only = OFF")));
        QCOMPARE(db_->table_names(), QStringList{runTable});
    }

    void tableNamesTheSystemCreatesAreValid_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("run table") << runTable << true;
        QTest::newRow("with suffix") << secondTable << true;
        QTest::newRow("with long suffix") << runTable + QLatin1String("_12") << true;
        QTest::newRow("empty suffix") << runTable + QLatin1String("_") << false;
        QTest::newRow("short date") << "dataSample_2024010_14_03_59" << false;
        QTest::newRow("other prefix") << "datasample_20240105_14_03_59" << false;
        QTest::newRow("letters in suffix") << runTable + QLatin1String("_2b") << false;
        QTest::newRow("wide digits") << QStringLiteral("dataSample_2024010٥_14_03_59") << false;
        QTest::newRow("leading space") << QLatin1Char(' ') + runTable << false;
    }

    void tableNamesTheSystemCreatesAreValid()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(SampleDatabase::is_valid_table_name(name), valid);
    }

    void anEmptyBatchTouchesNothing()
    {
        open_with_table(true);
        // Every insert turns synchronous writes off on its connection; a skipped one does not.
        const auto synchronous = [this] {
            const QList<QVariantList> rows =
                sql_rows::select(db_->connection_handle(), QStringLiteral("PRAGMA synchronous"));
            return rows.isEmpty() ? -1 : rows.first().at(0).toInt();
        };
        QVERIFY(synchronous() != 0);
        db_->insert_samples({});
        QVERIFY(synchronous() != 0);
        QCOMPARE(db_->row_count(runTable), 0);
        db_->insert_samples({{0.0, 1.0}});
        QCOMPARE(synchronous(), 0);
        QCOMPARE(db_->row_count(runTable), 1);
    }

    void batchesRoundTripExactly_data()
    {
        QTest::addColumn<bool>("singleChannel");
        QTest::newRow("single channel") << true;
        QTest::newRow("multi-channel") << false;
    }

    void batchesRoundTripExactly()
    {
        QFETCH(bool, singleChannel);
        open_with_table(singleChannel);
        const int values = singleChannel ? 2 : 17;
        QRandomGenerator random(42);
        QList<SampleRow> batch;
        for (int i = 0; i < 1001; ++i) {
            SampleRow row{i / 3000.0};
            for (int v = 1; v < values; ++v) {
                row.append(random.bounded(160000.0) - 80000.0);
            }
            batch.append(row);
        }
        db_->insert_samples(batch);
        db_->insert_samples(batch.mid(0, 10)); // a second batch goes after the first

        const QList<QVariantList> stored =
            sql_rows::select(db_->connection_handle(),
                             QStringLiteral("SELECT * FROM \"%1\" ORDER BY id").arg(runTable));
        qint64 id = 0;
        for (const QVariantList &row : stored) {
            const SampleRow &expected = batch.at(id % 1001);
            ++id;
            QCOMPARE(row.at(0).toLongLong(), id);
            QCOMPARE(row.size(), values + 1);
            for (int v = 0; v < values; ++v) {
                QVERIFY2(same_bits(row.at(v + 1).toDouble(), expected.at(v)),
                         qPrintable(QStringLiteral("row %1 value %2").arg(id).arg(v)));
            }
        }
        QCOMPARE(id, 1011);
    }

    void rowsOfTheWrongLengthAreLeftOut()
    {
        open_with_table(true);
        QCOMPARE(
            db_->insert_samples({{1.0, 10.0}, multi_row(2.0, 5.0, 1.0), {3.0}, {}, {4.0, 40.0}})
                .rows,
            2);
        QList<QPair<double, double>> rows;
        for (const QVariantList &row :
             sql_rows::select(db_->connection_handle(),
                              QStringLiteral("SELECT time, Vol FROM \"%1\"").arg(runTable)))
            rows.append({row.at(0).toDouble(), row.at(1).toDouble()});
        QCOMPARE(rows, (QList<QPair<double, double>>{{1.0, 10.0}, {4.0, 40.0}}));
    }

    // The line has no checksum: any four bytes are a sample, a NaN or an infinity among them.
    // Such a sample keeps its row and its neighbours, reads back as what it was and shows in
    // the CSV as what it is.
    void samplesThatAreNotNumbersKeepTheirRow()
    {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        constexpr double inf = std::numeric_limits<double>::infinity();
        open_with_table(false);
        SampleRow odd = multi_row(0.5, 1.0, 1.0);
        odd[3] = nan;
        odd[16] = -inf;
        db_->insert_samples({multi_row(0.0, 1.0, 1.0), odd, multi_row(1.0, 2.0, 1.0)});
        QCOMPARE(db_->row_count(runTable), 3);

        const RangeColumns got = db_->read_time_range(runTable, 0.0, 2.0);
        QCOMPARE(got.times, (QList<double>{0.0, 0.5, 1.0}));
        for (int channel = 0; channel < 16; ++channel) {
            const double middle = got.values.at(channel).at(1);
            if (channel == 2)
                QVERIFY(std::isnan(middle));
            else if (channel == 15)
                QCOMPARE(middle, -inf);
            else
                QCOMPARE(middle, 1.0 + channel);
            QCOMPARE(got.values.at(channel).at(2), 2.0 + channel);
        }

        QVERIFY(db_->export_table(QStringLiteral("odd.csv"), runTable,
                                  CsvExporter::voltage_decimals(CsvExporter::Precision::Run)));
        const QList<QByteArray> lines = read_file(QStringLiteral("odd.csv")).split('\n');
        QCOMPARE(lines.value(2), QByteArray("2,0.5000,1.0,2.0,nan,4.0,5.0,6.0,7.0,8.0,9.0,10.0,"
                                            "11.0,12.0,13.0,14.0,15.0,-inf"));

        // The same in a single-channel run, where the sample is all the row holds.
        QVERIFY(db_->create_table(secondTable, true).ok());
        db_->insert_samples({{0.0, 1.5}, {0.1, nan}, {0.2, inf}});
        QCOMPARE(db_->row_count(secondTable), 3);
        const RangeColumns single = db_->read_time_range(secondTable, 0.0, 1.0);
        QCOMPARE(single.values.size(), 1);
        QCOMPARE(single.values.at(0).at(0), 1.5);
        QVERIFY(std::isnan(single.values.at(0).at(1)));
        QCOMPARE(single.values.at(0).at(2), inf);
    }

    // The save thread reports a run whose samples did not all reach the table from this
    // count, so it must match the table whatever failed.
    void insertCountsOnlyTheRowsThatReachedTheTable()
    {
        open_with_table(false);
        QList<SampleRow> batch;
        for (int i = 0; i < 501; ++i)
            batch.append(multi_row(i * 0.01, i, 0.5));
        const SampleDatabase::Stored whole = db_->insert_samples(batch);
        QCOMPARE(whole.rows, 501);
        QVERIFY(whole.status.ok());

        {
            // A disk that fills up part way through the next batches.
            const FileSizeLimit full(QFileInfo(QStringLiteral("Quorlen.db-wal")).size() +
                                     64 * 1024);
            int counted = 501;
            for (int round = 0; round < 40; ++round) {
                const SampleDatabase::Stored stored = db_->insert_samples(batch);
                counted += stored.rows;
                // A batch that lost rows says why; a whole one does not.
                QCOMPARE(stored.status.ok(), stored.rows == 501);
                QCOMPARE(stored.status.message().isEmpty(), stored.rows == 501);
            }
            QCOMPARE(db_->row_count(runTable), qint64(counted));
            QVERIFY2(counted < 501 * 41, "the disk never filled up");
        }

        // A table that went away takes nothing.
        QVERIFY(sql_rows::run(db_->connection_handle(),
                              QStringLiteral("DROP TABLE \"%1\"").arg(runTable)));
        const SampleDatabase::Stored none = db_->insert_samples(batch);
        QCOMPARE(none.rows, 0);
        QVERIFY2(none.status.message().contains(QLatin1String("no such table")),
                 qPrintable(none.status.message()));
    }

    void timeRangeIncludesBothEnds()
    {
        open_with_table(false);
        QList<SampleRow> batch;
        for (int i = 0; i <= 20; ++i) {
            batch.append(multi_row(i * 0.5, i, 0.1));
        }
        db_->insert_samples(batch);
        QCOMPARE(db_->read_time_range(runTable, 2.5, 7.5).times,
                 (QList<double>{2.5, 3, 3.5, 4, 4.5, 5, 5.5, 6, 6.5, 7, 7.5}));
        QCOMPARE(db_->read_time_range(runTable, 7.5, 2.5).times, QList<double>());
    }

    void timeRangeBoundsAreExact()
    {
        open_with_table(true);
        db_->insert_samples({{1234.56, 1}, {1234.568, 2}, {1234.57, 3}, {1234.58, 4}});
        // Six significant digits would make 1234.56789 read as 1234.57.
        QCOMPARE(db_->read_time_range(runTable, 0, 1234.56789).times, QList<double>{1234.56});
        QCOMPARE(db_->read_time_range(runTable, 1234.56789, 2000).times,
                 (QList<double>{1234.568, 1234.57, 1234.58}));
        QCOMPARE(db_->read_time_range(runTable, 1234.568, 1234.58).times,
                 (QList<double>{1234.568, 1234.57, 1234.58}));
        QCOMPARE(db_->read_time_range(runTable, 1234.568, 1234.58,
                                      SampleDatabase::RangeEnds::AllButLower)
                     .times,
                 (QList<double>{1234.57, 1234.58}));
        QCOMPARE(db_->read_time_range(runTable, 1234.568, 1234.58,
                                      SampleDatabase::RangeEnds::AllButUpper)
                     .times,
                 (QList<double>{1234.568, 1234.57}));
        QCOMPARE(db_->count_time_range(runTable, 1234.5600001, 1234.58), qint64(3));
    }

    void timeRangeColumnsHoldTheSameRowsAsTheQuery_data()
    {
        QTest::addColumn<bool>("singleChannel");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::newRow("sixteen channels, inner range") << false << 2.5 << 7.5;
        QTest::newRow("one channel, bound of more than six digits") << true << 0.0 << 1234.56789;
        QTest::newRow("one channel, empty range") << true << 7.5 << 2.5;
    }
    void timeRangeColumnsHoldTheSameRowsAsTheQuery()
    {
        QFETCH(bool, singleChannel);
        QFETCH(double, lower);
        QFETCH(double, upper);
        open_with_table(singleChannel);
        QList<SampleRow> batch;
        for (int i = 0; i <= 20; ++i) {
            batch.append(singleChannel ? SampleRow{1234.5 + i * 0.01, -i * 1.5}
                                       : multi_row(i * 0.5, i, 0.1));
        }
        db_->insert_samples(batch);

        RangeColumns expected;
        const int columns = singleChannel ? 3 : 18;
        expected.values = QList<QVector<double>>(columns - 2);
        const QList<QVariantList> stored = sql_rows::select(
            db_->connection_handle(),
            QStringLiteral("SELECT * FROM \"%1\" WHERE time >= %2 AND time <= %3 ORDER BY id")
                .arg(runTable, QString::number(lower, 'g', 17), QString::number(upper, 'g', 17)));
        for (const QVariantList &row : stored) {
            expected.times.append(row.at(1).toDouble());
            for (int c = 2; c < columns; ++c) {
                expected.values[c - 2].append(row.at(c).toDouble());
            }
        }
        const RangeColumns got = db_->read_time_range(runTable, lower, upper);
        QCOMPARE(got.values.size(), singleChannel ? 1 : 16);
        QCOMPARE(got.times, expected.times);
        QCOMPARE(got.values, expected.values);
        QCOMPARE(got.times.isEmpty(), lower > upper);
    }

    void envelopeBlocksHoldTheExtremesOfTheirRows_data()
    {
        QTest::addColumn<bool>("singleChannel");
        QTest::newRow("single channel") << true;
        QTest::newRow("multi-channel") << false;
    }

    // Complete blocks only, each with the span and the extremes of its rows, the spike in
    // its block of every level; the run table and its CSV stay as they were.
    void envelopeBlocksHoldTheExtremesOfTheirRows()
    {
        QFETCH(bool, singleChannel);
        open_with_table(singleChannel);
        const int columns = singleChannel ? 1 : 16;
        const QList<SampleRow> rows = run_with_spike(5000, singleChannel, 2345);
        insert_in_batches(*db_, rows);

        int blocks = 0;
        const QList<QVariantList> stored = sql_rows::select(
            db_->connection_handle(), QStringLiteral("SELECT * FROM \"%1\" ORDER BY level, block")
                                          .arg(RunEnvelope::table_name(runTable)));
        for (const QVariantList &row : stored) {
            const int level = row.at(0).toInt();
            const int block = row.at(1).toInt();
            QCOMPARE(row.at(2).toDouble(), rows.at(block * level).at(0));
            QCOMPARE(row.at(3).toDouble(), rows.at((block + 1) * level - 1).at(0));
            for (int c = 0; c < columns; ++c) {
                double min = rows.at(block * level).at(c + 1);
                double max = min;
                for (int i = block * level; i < (block + 1) * level; ++i) {
                    min = std::min(min, rows.at(i).at(c + 1));
                    max = std::max(max, rows.at(i).at(c + 1));
                }
                QCOMPARE(row.at(4 + 2 * c).toDouble(), min);
                QCOMPARE(row.at(5 + 2 * c).toDouble(), max);
            }
            ++blocks;
        }
        // 5000 rows: 78 blocks of 64, 4 of 1024; the rest is rows only.
        QCOMPARE(blocks, 78 + 4);
        QCOMPARE(db_->row_count(runTable), 5000);
        QCOMPARE(db_->table_names(), QStringList{runTable});
        QVERIFY(db_->export_table(QStringLiteral("run.csv"), runTable,
                                  CsvExporter::voltage_decimals(CsvExporter::Precision::Run)));
        const QList<QByteArray> lines = read_file(QStringLiteral("run.csv")).split('\n');
        QCOMPARE(lines.size(), 5000 + 2);
        QVERIFY(lines.first().startsWith("id,time,Vol"));
        QCOMPARE(lines.at(1).count(','), columns + 1);
    }

    void statisticsEqualADirectComputationOverTheRows_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        // 70007 rows 0.2 ms apart: blocks of three levels, the last 55 rows in none.
        QTest::newRow("whole run") << "envelope" << -1.0 << 100.0;
        QTest::newRow("cut through blocks of every level") << "envelope" << 0.33331 << 13.9999;
        QTest::newRow("inside one block") << "envelope" << 1.0001 << 1.0019;
        QTest::newRow("nothing in range") << "envelope" << 20.0 << 30.0;
        QTest::newRow("older version: no sums") << "no sums" << 0.33331 << 13.9999;
    }

    // Whatever the range, the statistics from whole blocks plus the rows at the ends equal
    // those of the rows themselves: a spike, a flat channel and sixteen channels.
    void statisticsEqualADirectComputationOverTheRows()
    {
        QFETCH(QString, situation);
        QFETCH(double, from);
        QFETCH(double, to);
        open_with_table(false);
        QList<SampleRow> rows = run_with_spike(70007, false, 40000);
        for (SampleRow &row : rows)
            row[16] = -7.25; // a flat channel
        rows[123][3] = std::numeric_limits<double>::quiet_NaN();
        insert_in_batches(*db_, rows);
        if (situation == QLatin1String("no sums")) {
            for (int c = 1; c <= 16; ++c)
                for (const char *column : {"n", "sum", "sq"})
                    QVERIFY(sql_rows::run(db_->connection_handle(),
                                          QStringLiteral("ALTER TABLE \"%1\" DROP COLUMN %2%3")
                                              .arg(RunEnvelope::table_name(runTable))
                                              .arg(QLatin1String(column))
                                              .arg(c)));
        }

        const RunStatistics got = db_->read_statistics(runTable, {from, to});
        QCOMPARE(int(got.channels().size()), 16);
        QCOMPARE(got.from_envelope(), situation == QLatin1String("envelope"));
        for (int c = 0; c < 16; ++c) {
            qint64 samples = 0;
            double sum = 0.0;
            double squares = 0.0;
            double low = std::numeric_limits<double>::infinity();
            double high = -low;
            for (const SampleRow &row : std::as_const(rows)) {
                const double value = row.at(c + 1);
                // A row is in the range when its time as the CSV prints it is.
                const double printed = QString::number(row.at(0), 'f', 4).toDouble();
                if (printed < from || printed > to || std::isnan(value))
                    continue;
                ++samples;
                sum += value;
                squares += value * value;
                low = std::min(low, value);
                high = std::max(high, value);
            }
            const ChannelStatistics &channel = got.channels().at(c);
            QCOMPARE(channel.samples, samples);
            if (samples == 0) {
                QVERIFY(std::isnan(channel.mean));
                continue;
            }
            QCOMPARE(channel.minimum, low);
            QCOMPARE(channel.maximum, high);
            const double rms = std::sqrt(squares / samples);
            QVERIFY2(std::abs(channel.mean - sum / samples) <= 1e-9 * rms,
                     qPrintable(QString::number(channel.mean - sum / samples)));
            QVERIFY2(std::abs(channel.rms - rms) <= 1e-9 * rms,
                     qPrintable(QString::number(channel.rms - rms)));
        }
    }

    void envelopeMatchesTheRows_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("spikeAt");
        QTest::addColumn<int>("buckets");
        // 70007 rows: the last 55 are in no block of any level.
        QTest::newRow("paused, spike in blocks still open") << "paused" << 70005 << 300;
        QTest::newRow("killed, spike after the last block: read by the next process")
            << "killed" << 70003 << 300;
        QTest::newRow("table of an older version, no envelope") << "no envelope" << 33333 << 300;
        // Four 16384-row blocks, then blocks of 1024 and 64 rows, then rows.
        QTest::newRow("coarse blocks, the rest from finer levels") << "paused" << 66000 << 4;
    }

    // Envelope blocks and the rows after the last complete one give the same extremes per
    // bucket as the rows themselves, spike included.
    void envelopeMatchesTheRows()
    {
        QFETCH(QString, situation);
        QFETCH(int, spikeAt);
        QFETCH(int, buckets);
        open_with_table(false);
        const QList<SampleRow> rows = run_with_spike(70007, false, spikeAt);
        insert_in_batches(*db_, rows);
        if (situation == QLatin1String("no envelope")) {
            QVERIFY(sql_rows::run(
                db_->connection_handle(),
                QStringLiteral("DROP TABLE \"%1\"").arg(RunEnvelope::table_name(runTable))));
        }
        SampleDatabase next(QStringLiteral("Quorlen.db"));
        SampleDatabase *reader = db_.get();
        if (situation == QLatin1String("killed")) {
            // The blocks not complete at the kill were never written.
            QVERIFY(next.open_database().ok());
            const Result<RunListing> run = next.describe_run(runTable);
            QVERIFY(run.ok());
            QCOMPARE(run->channels, 16);
            reader = &next;
        }

        const double upper = rows.last().at(0);
        RangeEnvelope expected(0.0, upper, buckets, 16);
        for (const SampleRow &row : rows)
            expected.add_row(row.at(0), row.constData() + 1);
        const RangeEnvelope got = reader->read_envelope(runTable, 0.0, upper, buckets);
        QCOMPARE(got.column_count(), 16);
        QCOMPARE(got.bucket_count(), buckets);
        for (int c = 0; c < 16; ++c) {
            double top = -1e9;
            for (int b = 0; b < buckets; ++b) {
                QVERIFY(got.has_data(b));
                // A block across a bucket edge counts in one of the two buckets.
                double low = expected.min(b, c);
                double high = expected.max(b, c);
                for (int n : {b - 1, b + 1}) {
                    if (n >= 0 && n < buckets) {
                        low = std::min(low, expected.min(n, c));
                        high = std::max(high, expected.max(n, c));
                    }
                }
                QVERIFY2(got.min(b, c) >= low && got.max(b, c) <= high,
                         qPrintable(QStringLiteral("bucket %1 column %2").arg(b).arg(c)));
                top = std::max(top, got.max(b, c));
            }
            QCOMPARE(top, 5000.0 + c); // the one-row spike
        }
        // The listing counts the blocks' rows and those after them as a count of the rows does.
        const Result<RunListing> listing = reader->describe_run(runTable);
        QVERIFY(listing.ok());
        QCOMPARE(listing->rows, qint64(rows.size()));
        QCOMPARE(*listing->lastTime, upper);
    }

    void timeRangeWithoutATableFails()
    {
        QVERIFY(db_->open_database().ok());
        debug_->clear();
        QVERIFY(db_->read_time_range(runTable, 0, 1).times.isEmpty());
        QVERIFY(debug_->contains(QStringLiteral("Error executing query:")));
        QCOMPARE(db_->row_count(runTable), -1); // a missing table is not an empty one
    }

    void exportsAreByteExact_data()
    {
        QTest::addColumn<bool>("singleChannel");
        QTest::addColumn<bool>("currentRun");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("current run, single channel") << true << true
                                                     << QByteArray("id,time,Vol\n"
                                                                   "1,0.0100,12.3\n"
                                                                   "2,0.0313,-0.0\n"
                                                                   "3,2.5000,0.3\n"
                                                                   "4,1234.5679,0.0\n"
                                                                   "5,-1.0000,-80000.0\n");
        QTest::newRow("recovery, single channel") << true << false
                                                  << QByteArray("id,time,Vol\n"
                                                                "1,0.0100,12.3000\n"
                                                                "2,0.0313,-0.0400\n"
                                                                "3,2.5000,0.2500\n"
                                                                "4,1234.5679,0.0000\n"
                                                                "5,-1.0000,-80000.0000\n");
        QTest::newRow("current run, multi-channel")
            << false << true
            << QByteArray("id,time,Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,Vol10,Vol11,Vol12,"
                          "Vol13,Vol14,Vol15,Vol16\n"
                          "1,0.5000,-3.5,-3.0,-2.5,-2.0,-1.5,-1.0,-0.5,0.0,0.5,1.0,1.5,2.0,2.5,"
                          "3.0,3.5,4.0\n"
                          "2,0.0313,12.3,12.4,12.5,12.6,12.7,12.8,12.9,13.0,13.1,13.2,13.3,13.4,"
                          "13.5,13.6,13.7,13.8\n");
        QTest::newRow("recovery, multi-channel")
            << false << false
            << QByteArray("id,time,Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,Vol10,Vol11,Vol12,"
                          "Vol13,Vol14,Vol15,Vol16\n"
                          "1,0.5000,-3.5000,-3.0000,-2.5000,-2.0000,-1.5000,-1.0000,-0.5000,"
                          "0.0000,0.5000,1.0000,1.5000,2.0000,2.5000,3.0000,3.5000,4.0000\n"
                          "2,0.0313,12.3000,12.4000,12.5000,12.6000,12.7000,12.8000,12.9000,"
                          "13.0000,13.1000,13.2000,13.3000,13.4000,13.5000,13.6000,13.7000,"
                          "13.8000\n");
    }

    void exportsAreByteExact()
    {
        QFETCH(bool, singleChannel);
        QFETCH(bool, currentRun);
        QFETCH(QByteArray, expected);
        open_with_table(singleChannel);
        if (singleChannel) {
            db_->insert_samples({{0.01, 12.3},
                                 {0.03125, -0.04},
                                 {2.5, 0.25},
                                 {1234.56789, -0.0},
                                 {-1.0, -80000.0}});
        } else {
            // 12.3 + n * 0.1 is not exactly 12.4, 12.5, ... yet prints as such
            db_->insert_samples({multi_row(0.5, -3.5, 0.5), multi_row(0.03125, 12.3, 0.1)});
        }
        QFile::remove(QStringLiteral("out.csv"));
        {
            // An existing file is replaced, not partly overwritten.
            QFile old(QStringLiteral("out.csv"));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100000, 'x'));
        }
        debug_->clear();
        const bool ok =
            currentRun
                ? db_->export_table(QStringLiteral("out.csv"), runTable,
                                    CsvExporter::voltage_decimals(CsvExporter::Precision::Run))
                : db_->export_table(QStringLiteral("out.csv"), runTable, fullDecimals);
        QVERIFY(ok);
        QCOMPARE(read_file(QStringLiteral("out.csv")), expected);
        QCOMPARE(debug_->lines().last(), QStringLiteral("Data exported to out.csv"));
    }

    void csvReadInStoresEveryBatchOrRefusesTheFileWhole_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("sidecar");
        QTest::addColumn<QByteArray>("prefix"); // before the header
        QTest::addColumn<int>("badRow");        // -1: none
        QTest::addColumn<int>("field");         // -1: the row stays
        QTest::addColumn<QByteArray>("badField");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("table"); // empty: named after the file's time
        const QString csv = QStringLiteral("run.csv");
        // 120,001 rows: two full transactions of the read-in, then a part of one. A changed
        // last row is written without its newline.
        QTest::newRow("every line a row")
            << csv << false << QByteArray() << -1 << -1 << QByteArray() << QString() << QString();
        QTest::newRow("a bad line after two stored transactions")
            << csv << false << QByteArray() << 110000 << 2 << QByteArray("x")
            << QStringLiteral("line 110002: field 3 is not a number") << QString();
        QTest::newRow("the last line, without its newline, a field too long")
            << csv << false << QByteArray() << 120000 << 2 << QByteArray("1.0,2.0")
            << QStringLiteral("line 120002: more than 3 fields") << QString();
        QTest::newRow("a time that goes back")
            << csv << false << QByteArray() << 110000 << 1 << QByteArray("1.0000")
            << QStringLiteral("line 110002: the times do not rise (1.0000 after 21.9998)")
            << QString();
        QTest::newRow("the last line, without its newline, cut inside its last number")
            << csv << false << QByteArray() << 120000 << 2 << QByteArray("-30")
            << QStringLiteral("line 120002: the last line is cut short (no line end, its "
                              "last number unfinished)")
            << QString();
        QTest::newRow("the last line, without its newline, complete")
            << csv << false << QByteArray() << 120000 << -1 << QByteArray() << QString()
            << QString();
        QTest::newRow("a byte order mark before the header")
            << csv << false << QByteArray("\xEF\xBB\xBF") << -1 << -1 << QByteArray() << QString()
            << QString();
        QTest::newRow("named after its sidecar")
            << QStringLiteral("dataSample_20250305_07_21_35.csv") << true << QByteArray() << -1
            << -1 << QByteArray() << QString() << runTable;
        QTest::newRow("named after the file")
            << QStringLiteral("dataSample_20250305_07_16_04.csv") << false << QByteArray() << -1
            << -1 << QByteArray() << QString() << QStringLiteral("dataSample_20250305_07_16_04");
    }

    // The rows are parsed on a thread of their own and stored a transaction at a time: every
    // row arrives once and in order, and a line refused after rows were stored still takes the
    // whole table, its envelope included, with it.
    void csvReadInStoresEveryBatchOrRefusesTheFileWhole()
    {
        QFETCH(QString, file);
        QFETCH(bool, sidecar);
        QFETCH(QByteArray, prefix);
        QFETCH(int, badRow);
        QFETCH(int, field);
        QFETCH(QByteArray, badField);
        QFETCH(QString, error);
        QFETCH(QString, table);
        open_with_table(true);
        const QList<SampleRow> rows = run_with_spike(120001, true, 77777);
        insert_in_batches(*db_, rows);
        QVERIFY(db_->export_table(file, runTable, fullDecimals));
        if (sidecar)
            QVERIFY(db_->write_sidecar(file, runTable).ok());
        QByteArray csv = read_file(file);
        if (badRow >= 0 || !prefix.isEmpty()) {
            QList<QByteArray> lines = csv.split('\n');
            QCOMPARE(lines.takeLast(), QByteArray()); // after the final newline
            if (field >= 0) {
                QList<QByteArray> fields = lines[badRow + 1].split(',');
                fields[field] = badField;
                lines[badRow + 1] = fields.join(',');
            }
            QFile bad(file);
            QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
            bad.write(prefix + lines.join('\n') + (badRow + 1 < lines.size() - 1 ? "\n" : ""));
        }

        SampleDatabase scratch(QStringLiteral("scratch.db"), SampleDatabase::Access::Scratch);
        QVERIFY(scratch.open_database().ok());
        CsvImport import;
        const Result<CsvImport::ImportedRun> read = import.read(file, scratch);
        QCOMPARE(read.status().message(), error);
        QCOMPARE(read.ok(), error.isEmpty());
        if (!error.isEmpty()) {
            QString why;
            const QList<QVariantList> left =
                sql_rows::select(scratch.connection_handle(),
                                 QStringLiteral("SELECT name FROM sqlite_master"), &why);
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QVERIFY2(left.isEmpty(), qPrintable(left.value(0).value(0).toString()));
            return;
        }
        QCOMPARE(import.bytes_read().load(), QFileInfo(file).size());
        if (!table.isEmpty())
            QCOMPARE(read->table, table);
        QCOMPARE(read->rows, qint64(rows.size()));
        QVERIFY(scratch.export_table(QStringLiteral("again.csv"), read->table, fullDecimals));
        QCOMPARE(read_file(QStringLiteral("again.csv")), csv);
        const RunStatistics stored = scratch.read_statistics(read->table, {0.0, rows.last().at(0)});
        QCOMPARE(int(stored.channels().size()), 1);
        QCOMPARE(stored.channels().front().samples, qint64(rows.size()));
        QCOMPARE(stored.channels().front().maximum, 5000.0); // the one-row spike
    }

    void failedExportsLeaveNoFile_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("diagnostic");
        QTest::newRow("missing directory") << "table"
                                           << "missing/out.csv"
                                           << "Error: Unable to open file for writing";
        QTest::newRow("no run yet") << "no table"
                                    << "out.csv"
                                    << "Invalid table name:";
        QTest::newRow("table gone") << "dropped"
                                    << "out.csv"
                                    << "Error executing query:";
        QTest::newRow("recovery, table gone") << "recover dropped"
                                              << "out.csv"
                                              << "Error executing query:";
        QTest::newRow("recovery, foreign name") << "recover sqlite_master"
                                                << "out.csv"
                                                << "Invalid table name:";
        QTest::newRow("recovery, statement in name")
            << "recover dataSample_20240105_14_03_59; DROP TABLE x"
            << "out.csv"
            << "Invalid table name:";
    }

    void failedExportsLeaveNoFile()
    {
        QFETCH(QString, situation);
        QFETCH(QString, path);
        QFETCH(QString, diagnostic);
        QVERIFY(db_->open_database().ok());
        if (situation != QLatin1String("no table")) {
            QVERIFY(db_->create_table(runTable, true).ok());
            db_->insert_samples({{0.0, 1.0}});
        }
        if (situation.endsWith(QLatin1String("dropped"))) {
            db_->drop_all_tables();
        }
        debug_->clear();
        bool ok = true;
        if (situation.startsWith(QLatin1String("recover "))) {
            QString name = situation.mid(8);
            if (name == QLatin1String("dropped")) {
                name = runTable;
            }
            ok = db_->export_table(path, name, fullDecimals);
        } else {
            ok = db_->export_table(path, db_->current_table_name(),
                                   CsvExporter::voltage_decimals(CsvExporter::Precision::Run));
        }
        QVERIFY(!ok);
        QVERIFY2(debug_->contains(diagnostic), qPrintable(debug_->lines().join('|')));
        QVERIFY(!debug_->contains(QStringLiteral("Data exported to")));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(dir_->path())
                     .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
                     .filter(QStringLiteral(".csv")),
                 QStringList());
    }

    void droppingFromAnEmptyDatabaseChangesNothing()
    {
        QVERIFY(db_->open_database().ok());
        const QByteArray before = read_file(QStringLiteral("Quorlen.db"));
        debug_->clear();
        db_->drop_all_tables();
        QCOMPARE(debug_->lines(), (QStringList{QStringLiteral("开始删除所有表"),
                                               QStringLiteral("数据库中没有表需要删除")}));
        QCOMPARE(read_file(QStringLiteral("Quorlen.db")), before);
    }

    void droppingFromAClosedDatabaseStops()
    {
        db_->drop_all_tables();
        QCOMPARE(debug_->lines(),
                 (QStringList{QStringLiteral("开始删除所有表"), QStringLiteral("数据库未打开")}));
    }

    void droppingRemovesEveryTableAndIndex()
    {
        open_with_table(true, runTable);
        QVERIFY(db_->create_table(secondTable, false).ok());
        QVERIFY(db_->create_table(thirdTable, true).ok());
        db_->insert_samples({{0.0, 1.0}});
        QVERIFY(schema_names().size() > 3); // the time indexes are there too
        QVERIFY(schema_names().contains(RunEnvelope::table_name(thirdTable)));
        // Side tables are listed with no run and go with theirs.
        QString reason;
        QVERIFY2(
            (reason = db_->add_gap(thirdTable, {1.0, 0.5, RunGap::pause, 0}).message()).isEmpty(),
            qPrintable(reason));
        QVERIFY((reason = db_->add_mark(thirdTable, {1.0, QStringLiteral("mark")}).message())
                    .isEmpty());
        QVERIFY(schema_names().contains(thirdTable + QStringLiteral("_gaps")));
        QCOMPARE(db_->table_names(), (QStringList{runTable, secondTable, thirdTable}));
        QCOMPARE(db_->read_gaps(thirdTable), (QList<RunGap>{{1.0, 0.5, RunGap::pause, 0}}));
        debug_->clear();
        db_->drop_all_tables();
        QCOMPARE(debug_->lines(), (QStringList{
                                      QStringLiteral("开始删除所有表"),
                                      QStringLiteral("删除表： ") + runTable,
                                      QStringLiteral("表删除成功： ") + runTable,
                                      QStringLiteral("删除表： ") + secondTable,
                                      QStringLiteral("表删除成功： ") + secondTable,
                                      QStringLiteral("删除表： ") + thirdTable,
                                      QStringLiteral("表删除成功： ") + thirdTable,
                                  }));
        QCOMPARE(schema_names(), QStringList());
    }

    void aFailedDropRestoresTheTablesAlreadyDropped()
    {
        open_with_table(true, runTable);
        db_->insert_samples({{0.0, 1.0}, {1.0, 2.0}});
        // Dropping a table still referenced under enforced foreign keys fails.
        for (const char *sql :
             {"PRAGMA foreign_keys = ON", "CREATE TABLE parent (id INTEGER PRIMARY KEY)",
              "CREATE TABLE child (parent INTEGER REFERENCES parent(id))",
              "INSERT INTO parent VALUES (1)", "INSERT INTO child VALUES (1)"}) {
            QVERIFY(sql_rows::run(db_->connection_handle(), QLatin1String(sql)));
        }
        debug_->clear();
        db_->drop_all_tables();
        QVERIFY(debug_->lines().contains(QStringLiteral("表删除成功： ") + runTable));
        QVERIFY(debug_->contains(QStringLiteral("删除表失败：")));
        QCOMPARE(debug_->lines().last().left(6), QStringLiteral("删除表失败："));
        QCOMPARE(db_->table_names(), (QStringList{runTable, "parent", "child"}));
        QCOMPARE(db_->row_count(runTable), 2);
    }

    void otherThreadsGetConnectionsOfTheirOwn()
    {
        open_with_table(true);
        QCOMPARE(ThreadConnections::open_count(), 0);
        QStringList seenInThread;
        std::unique_ptr<QThread> thread(QThread::create([&] {
            db_->insert_samples({{0.0, 1.0}, {0.5, 2.0}});
            for (const double value : db_->read_time_range(runTable, 0, 1).values.value(0))
                seenInThread.append(QString::number(value));
            seenInThread.append(QString::number(ThreadConnections::open_count()));
        }));
        thread->start();
        QVERIFY(thread->wait(30000));
        QCOMPARE(seenInThread, (QStringList{"1", "2", "1"}));
        // The thread's connection went with the thread.
        QCOMPARE(ThreadConnections::open_count(), 0);
        QCOMPARE(db_->row_count(runTable), 2);

        bool exported = false;
        std::thread plain([&] {
            exported =
                db_->export_table(QStringLiteral("t.csv"), runTable,
                                  CsvExporter::voltage_decimals(CsvExporter::Precision::Run));
        });
        plain.join();
        QVERIFY(exported);
        QCOMPARE(ThreadConnections::open_count(), 0);
    }

    void aSecondInstanceKeepsItsOwnConnection()
    {
        open_with_table(true);
        {
            SampleDatabase other(QStringLiteral("other.db"));
            QVERIFY(other.open_database().ok());
            QVERIFY(other.create_table(secondTable, true).ok());
            QCOMPARE(other.table_names(), QStringList{secondTable});
        }
        QCOMPARE(db_->table_names(), QStringList{runTable});
    }
};

QTEST_GUILESS_MAIN(SampleDatabaseTest)
#include "tst_sampledatabase.moc"
