#include "dataqueues.h"
#include "logcapture.h"
#include "scopedworkdir.h"

#include <QtTest>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

// The two queues of a run as the serial manager and the worker threads use them.
class DataQueuesTest : public QObject
{
    Q_OBJECT

private slots:
    void framesComeOutInOrderAndEmptyGivesAnEmptyArray();
    void recordsCarryTheTimeFirst();
    void aFullFrameQueueDropsAndLogsEachFrame();
    void aFullRecordQueueDropsAndLogsItsSize();
    void aSampleSeriesKeepsItsOrderAndDropsOnlyWhatDoesNotFit();
    void aRecordQueueFullForAMomentLosesNothing();
    void aWaitingConsumerWakesOnAPush();
    void dropsAreLoggedAsBurstsWhereTheyBelongInTheRun();
};

void DataQueuesTest::framesComeOutInOrderAndEmptyGivesAnEmptyArray()
{
    DataQueues queues;
    QVERIFY(queues.pop_serial().isEmpty());
    queues.push_serial("FF81A");
    queues.push_serial("FF81B");
    QCOMPARE(queues.frame_count(), 2);
    QCOMPARE(queues.pop_serial(), QByteArray("FF81A"));
    QCOMPARE(queues.pop_serial(), QByteArray("FF81B"));
    QVERIFY(queues.pop_serial().isEmpty());
    QVERIFY(queues.pop_record().isEmpty());
    QCOMPARE(queues.record_count(), 0);
}

void DataQueuesTest::recordsCarryTheTimeFirst()
{
    DataQueues queues;
    QList<double> channels;
    for (int i = 1; i <= 16; ++i) {
        channels.append(i * 1.5);
    }
    queues.push_sample(0.25, -12.5);
    queues.push_samples(0.5, channels);
    queues.push_sample(-1.0, -1.0);
    QCOMPARE(queues.record_count(), 3);

    QCOMPARE(queues.pop_record(), (SampleRow{0.25, -12.5}));
    const SampleRow multi = queues.pop_record();
    QCOMPARE(multi.size(), 17);
    QCOMPARE(multi.first(), 0.5);
    QCOMPARE(multi.mid(1), channels);
    QCOMPARE(queues.pop_record(), (SampleRow{-1.0, -1.0}));
    QCOMPARE(queues.record_count(), 0);
}

void DataQueuesTest::aFullFrameQueueDropsAndLogsEachFrame()
{
    ScopedWorkDir dir;
    LogCapture log;
    DataQueues queues;
    for (int i = 0; i < DataQueues::baseCapacity + 3; ++i) {
        queues.push_serial(QByteArray::number(i));
    }
    QCOMPARE(queues.frame_count(), 4096);
    QCOMPARE(log.messages().count(QStringLiteral("添加serial_data失败")), 3);

    // The oldest frames were kept, the late ones dropped.
    QCOMPARE(queues.pop_serial(), QByteArray("0"));
    queues.push_serial("again");
    for (int i = 1; i < DataQueues::baseCapacity; ++i) {
        QCOMPARE(queues.pop_serial(), QByteArray::number(i));
    }
    QCOMPARE(queues.pop_serial(), QByteArray("again"));
}

void DataQueuesTest::aFullRecordQueueDropsAndLogsItsSize()
{
    ScopedWorkDir dir;
    LogCapture log;
    DataQueues queues;
    for (int i = 0; i < 8192; ++i) {
        queues.push_sample(i, 0.0);
    }
    QCOMPARE(queues.record_count(), 8192);
    queues.push_sample(8192.0, 0.0);
    queues.push_samples(8193.0, QList<double>(16, 0.0));
    QCOMPARE(queues.record_count(), 8192);

    const QStringList messages = log.messages();
    QCOMPARE(messages.count(QStringLiteral("添加process_data失败 size = 8192")), 2);
    QCOMPARE(queues.pop_record(), (SampleRow{0.0, 0.0}));
}

void DataQueuesTest::aSampleSeriesKeepsItsOrderAndDropsOnlyWhatDoesNotFit()
{
    ScopedWorkDir dir;
    LogCapture log;
    DataQueues queues;
    for (int i = 0; i < 8190; ++i) {
        queues.push_sample(-1.0 - i, 0.0);
    }
    const double times[] = {0.5, 0.75, 1.0, 1.25};
    const double values[] = {10.0, -20.0, 30.0, -40.0};
    queues.push_sample_series(times, values, 4);
    QCOMPARE(queues.record_count(), 8192);
    QCOMPARE(queues.dropped_records(), quint64(2));
    QCOMPARE(log.messages().count(QStringLiteral("添加process_data失败 size = 8192")), 2);

    for (int i = 0; i < 8190; ++i) {
        queues.pop_record();
    }
    QCOMPARE(queues.pop_record(), (SampleRow{0.5, 10.0}));
    QCOMPARE(queues.pop_record(), (SampleRow{0.75, -20.0}));
    QVERIFY(queues.pop_record().isEmpty());
}

// A save thread that falls behind for a moment (a busy machine) costs a wait, not records.
void DataQueuesTest::aRecordQueueFullForAMomentLosesNothing()
{
    DataQueues queues(std::chrono::hours(1)); // a wait that only room can end
    constexpr int extra = 3000;
    for (int i = 0; i < 8192; ++i) {
        queues.push_sample(i, 0.0);
    }
    std::thread producer([&] {
        for (int i = 8192; i < 8192 + extra; ++i) {
            queues.push_sample(i, 1.0);
        }
    });
    std::this_thread::sleep_for(50ms); // lets the producer find the queue full first
    int outOfOrder = 0;
    for (int i = 0; i < 8192 + extra && queues.dropped_records() == 0;) {
        const SampleRow record = queues.pop_record();
        if (record.isEmpty()) {
            std::this_thread::yield();
            continue;
        }
        outOfOrder += record.first() != double(i);
        ++i;
    }
    producer.join();
    QCOMPARE(queues.dropped_records(), quint64(0));
    QCOMPARE(outOfOrder, 0);
}

void DataQueuesTest::aWaitingConsumerWakesOnAPush()
{
    DataQueues queues;
    std::atomic<bool> gotFrame{false};
    std::atomic<bool> gotRecord{false};
    // The waits are far longer than the test allows, so only a push can end them in time.
    std::thread frameConsumer([&] {
        while (queues.pop_serial().isEmpty()) {
            queues.wait_for_frames(std::chrono::microseconds(600s));
        }
        gotFrame = true;
    });
    std::thread recordConsumer([&] {
        while (queues.pop_record().isEmpty()) {
            queues.wait_for_records(std::chrono::microseconds(600s));
        }
        gotRecord = true;
    });

    queues.push_serial("FF81");
    // Sixteen single-channel samples of a frame go in with one wake-up.
    const double times[] = {0.0};
    const double values[] = {1.0};
    queues.push_sample_series(times, values, 1);
    QTRY_VERIFY_WITH_TIMEOUT(gotFrame.load() && gotRecord.load(), 20000);
    frameConsumer.join();
    recordConsumer.join();
}

// A burst is what a full queue dropped with nothing stored in between: records carry their
// own times; a burst of frames sits after the last record decoded from the frames before it.
void DataQueuesTest::dropsAreLoggedAsBurstsWhereTheyBelongInTheRun()
{
    ScopedWorkDir dir;
    LogCapture log;
    DataQueues queues;
    DropLog &drops = queues.drop_log();
    for (int i = 0; i < 2 * DataQueues::baseCapacity; ++i) {
        queues.push_sample(i * 0.001, 0.0);
    }
    for (int i = 0; i < 5; ++i) {
        queues.push_sample(10.0 + i * 0.001, 0.0); // one burst of five
    }
    QVERIFY(drops.take(false).isEmpty()); // still going
    queues.pop_record();
    queues.push_sample(10.005, 0.0); // stored: the burst is over
    queues.push_sample(10.006, 0.0); // a burst of its own
    QList<DropBurst> bursts = drops.take(false);
    QCOMPARE(bursts.size(), 1);
    QCOMPARE(bursts[0].kind, DropBurst::Kind::Records);
    QCOMPARE(bursts[0].first, 10.0);
    QCOMPARE(bursts[0].last, 10.004);
    QCOMPARE(bursts[0].count, quint64(5));
    bursts = drops.take(true);
    QCOMPARE(bursts.size(), 1);
    QCOMPARE(bursts[0].first, 10.006);
    QCOMPARE(bursts[0].count, quint64(1));

    // Frames: a full queue, three dropped, then one stored.
    drops.reset();
    while (!queues.pop_record().isEmpty()) {
    }
    for (int i = 0; i < DataQueues::baseCapacity; ++i) {
        queues.push_serial("F");
    }
    for (int i = 0; i < 3; ++i) {
        queues.push_serial("dropped");
    }
    double time = 0.0;
    for (int i = 0; i < DataQueues::baseCapacity; ++i) {
        QVERIFY(!queues.pop_serial().isEmpty());
        queues.push_sample(time, 0.0); // as decoding would
        time += 1.0;
        QVERIFY(drops.take(false).isEmpty()); // not placed before the next frame is taken
    }
    queues.push_serial("after");
    QCOMPARE(queues.pop_serial(), QByteArray("after"));
    bursts = drops.take(false);
    QCOMPARE(bursts.size(), 1);
    QCOMPARE(bursts[0].kind, DropBurst::Kind::Frames);
    QCOMPARE(bursts[0].first, time - 1.0);
    QCOMPARE(bursts[0].count, quint64(3));
    QCOMPARE(queues.dropped_frames(), quint64(3));
}

QTEST_GUILESS_MAIN(DataQueuesTest)
#include "tst_dataqueues.moc"
