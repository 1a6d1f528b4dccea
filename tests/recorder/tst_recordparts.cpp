// The pieces a recording is reported with: the status line, the queues'
// drop counts, the save thread's final count, and the table envelopes.
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "runtablesink.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "sqlrows.h"
#include "statusline.h"
#include "tablescommand.h"

#include <QtTest>

class RecordPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void statusLineShowsProgressAndTheRateOverTheLastSecond();
    void fullQueuesCountEveryItemTheyDrop();
    void finishedSaveThreadHasStoredEverythingQueuedWithoutAnEndMarker();
    void runListingGivesRowsModeTimeSpanAndStart();
};

void RecordPartsTest::statusLineShowsProgressAndTheRateOverTheLastSecond()
{
    QCOMPARE(StatusLine::format(12, 60, 60000, 5000, 0),
             QStringLiteral("12 / 60 s   stored 60000   5000 samples/s   dropped 0"));

    // Stored are the committed rows, the rate is that of the samples received.
    StatusLine line(2);
    // At the very start no time has passed: no rate rather than a division by zero.
    QCOMPARE(line.update(0, 0, 0, 0),
             QStringLiteral("0 / 2 s   stored 0   0 samples/s   dropped 0"));
    QCOMPARE(line.update(1000, 0, 10, 0),
             QStringLiteral("1 / 2 s   stored 0   10 samples/s   dropped 0"));
    // A tick a little early still looks back over a second and more.
    QCOMPARE(line.update(1995, 10, 19, 0),
             QStringLiteral("2 / 2 s   stored 10   10 samples/s   dropped 0"));
    // The end of the run, moments after the last tick, with one more sample: still the
    // rate of the last second, not one sample over 15 ms.
    QCOMPARE(line.update(2010, 20, 20, 3),
             QStringLiteral("2 / 2 s   stored 20   10 samples/s   dropped 3"));
}

void RecordPartsTest::fullQueuesCountEveryItemTheyDrop()
{
    DataQueues queues;
    const QByteArray frame(144, 'A');
    for (int i = 0; i < DataQueues::baseCapacity + 3; ++i) {
        queues.push_serial(frame);
    }
    QCOMPARE(queues.frame_count(), DataQueues::baseCapacity);
    QCOMPARE(queues.dropped_frames(), quint64(3));
    QCOMPARE(queues.dropped_records(), quint64(0));

    for (int i = 0; i < 2 * DataQueues::baseCapacity; ++i) {
        queues.push_sample(i, 1.0);
    }
    QCOMPARE(queues.dropped_records(), quint64(0));
    queues.push_samples(0.0, QList<double>(16, 1.0));
    QCOMPARE(queues.dropped_records(), quint64(1));

    // Room again after a pop: nothing more is counted.
    QVERIFY(!queues.pop_serial().isEmpty());
    queues.push_serial(frame);
    QCOMPARE(queues.dropped_frames(), quint64(3));
}

void RecordPartsTest::finishedSaveThreadHasStoredEverythingQueuedWithoutAnEndMarker()
{
    const ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    const QString table = QStringLiteral("dataSample_20250305_14_07_09");
    QVERIFY(database.create_table(table, true).ok());

    DataQueues queues;
    RunTableSink store(&database, table);
    DataSaveDisplay saver(&queues, &store);
    // More than one batch, and no end marker: a run ended by a lost port.
    constexpr int records = 1234;
    for (int i = 0; i < records; ++i) {
        queues.push_sample(i / 1000.0, i);
    }
    saver.start();
    saver.finish();
    QVERIFY(saver.isFinished());
    QCOMPARE(saver.taken_count(), records);
    QCOMPARE(queues.record_count(), 0);

    QCOMPARE(database.row_count(table), records);
}

void RecordPartsTest::runListingGivesRowsModeTimeSpanAndStart()
{
    const ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());

    const QString single = QStringLiteral("dataSample_20250305_14_07_09");
    QVERIFY(database.create_table(single, true).ok());
    database.insert_samples({{0.0, 1.5}, {0.0002, -2.5}, {12345.6789, 3.0}});
    const Result<RunListing> singleRun = database.describe_run(single);
    QVERIFY(singleRun.ok());
    QCOMPARE(TablesCommand::line(*singleRun),
             single + QStringLiteral("\t3 rows\tsingle\t0.0000..12345.6789 s\t2025-03-05 "
                                     "14:07:09\t-\t-\t-"));

    const QString multi = QStringLiteral("dataSample_20250305_14_07_09_2");
    QVERIFY(database.create_table(multi, false).ok());
    const Result<RunListing> multiRun = database.describe_run(multi);
    QVERIFY(multiRun.ok());
    QCOMPARE(TablesCommand::line(*multiRun),
             multi + QStringLiteral("\t0 rows\tmulti\t-\t2025-03-05 14:07:09\t-\t-\t-"));

    const QString foreign = QStringLiteral("dataSample_20250305_14_07_10");
    QVERIFY(sql_rows::run(database.connection_handle(),
                          QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, time DOUBLE, "
                                         "Vol1 FLOAT)")
                              .arg(foreign)));
    const Result<RunListing> foreignRun = database.describe_run(foreign);
    QVERIFY(foreignRun.ok());
    QCOMPARE(foreignRun->mode(), QStringLiteral("unknown"));

    QVERIFY(!database.describe_run(QStringLiteral("dataSample_20000101_00_00_00")).ok());
}

QTEST_GUILESS_MAIN(RecordPartsTest)
#include "tst_recordparts.moc"
