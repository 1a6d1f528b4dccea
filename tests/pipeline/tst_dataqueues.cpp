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
    void aWaitingConsumerWakesOnAPush();
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

QTEST_GUILESS_MAIN(DataQueuesTest)
#include "tst_dataqueues.moc"
