#include "dataprocess.h"
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "framedecoder.h"
#include "instrumentframes.h"
#include "logcapture.h"
#include "runchronicle.h"
#include "runreport.h"
#include "runsettings.h"
#include "runtablesink.h"
#include "samplebatch.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "sinkfanout.h"
#include "sqlrows.h"

#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <array>
#include <cmath>
#include <stdexcept>

namespace {

// Collects what the decoding thread hands to the live sinks.
class RecordingSink : public RunSink
{
public:
    QString sink_name() const override { return QStringLiteral("recording"); }
    Feed feed() const override { return Feed::Decoded; }
    Status take_batch(const SampleBatch &batch) override
    {
        QMutexLocker lock(&mutex_);
        for (qsizetype i = 0; i < batch.size(); ++i) {
            points_.append(batch.row(i));
        }
        return Status::success();
    }
    QList<SampleRow> points() const
    {
        QMutexLocker lock(&mutex_);
        return points_;
    }

private:
    mutable QMutex mutex_;
    QList<SampleRow> points_;
};

// A follower that throws at its first batch.
class ThrowingSink : public RunSink
{
public:
    QString sink_name() const override { return QStringLiteral("throwing"); }
    Status take_batch(const SampleBatch &) override
    {
        throw std::runtime_error("mirror went away");
    }
};

// A follower stuck in its first batch until `release` is released; then notes, in order, the
// rows it was handed or told it missed, and its end.
class StallingSink : public RunSink
{
public:
    struct Call
    {
        QString what; // "rows", "missed" or "ended"
        qint64 first = 0;
        qint64 end = 0;
    };

    QString sink_name() const override { return QStringLiteral("stalling"); }
    Status take_batch(const SampleBatch &batch) override
    {
        if (!stalled_) {
            stalled_ = true;
            release.acquire();
        }
        note({QStringLiteral("rows"), batch.first_row(), batch.end_row()});
        return Status::success();
    }
    Status rows_missed(qint64 firstRow, qint64 count) override
    {
        note({QStringLiteral("missed"), firstRow, firstRow + count});
        return Status::success();
    }
    Status run_ended(const RunFacts &, const RunReport &) override
    {
        note({QStringLiteral("ended"), 0, 0});
        return Status::success();
    }
    QList<Call> calls() const
    {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

    QSemaphore release;

private:
    void note(const Call &call)
    {
        QMutexLocker lock(&mutex_);
        calls_.append(call);
    }

    bool stalled_ = false; // the dispatcher's thread only
    mutable QMutex mutex_;
    QList<Call> calls_;
};

// Volts of slot `slot` in frame `frame`: distinct, exactly representable in mV.
float volts_of(int frame, int slot)
{
    return float(frame * 16 + slot) * 0.25f;
}

QByteArray data_frame_text(int frame)
{
    std::array<float, InstrumentFrames::slot_count> volts{};
    for (int slot = 0; slot < InstrumentFrames::slot_count; ++slot) {
        volts[std::size_t(slot)] = volts_of(frame, slot);
    }
    return InstrumentFrames::data(InstrumentFrames::data_type_a, volts).toHex().toUpper();
}

QByteArray end_frame_text(quint8 type)
{
    return InstrumentFrames::empty(type).toHex().toUpper();
}

QList<SampleRow> drain_records(DataQueues &queues)
{
    QList<SampleRow> records;
    for (SampleRow row = queues.pop_record(); !row.isEmpty(); row = queues.pop_record()) {
        records.append(row);
    }
    return records;
}

// The last line a worker wrote, past the log thread's own closing line.
QString last_worker_line(QStringList lines)
{
    while (!lines.isEmpty() && lines.last().startsWith(QStringLiteral("日志线程"))) {
        lines.removeLast();
    }
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace

class WorkerThreadsTest : public QObject
{
    Q_OBJECT

private slots:
    void decodingTimesAndSlotsFollowModeAndRate_data();
    void decodingTimesAndSlotsFollowModeAndRate();
    void endFrameStopsBeforeLaterFramesAndQueuesMarker_data();
    void endFrameStopsBeforeLaterFramesAndQueuesMarker();
    void missingPlotIsAllowed();
    void finishingDecodesEveryQueuedFrameFirst();
    void endingWithoutWaitingReportsThroughFinishedKeepingEveryRow();
    void saveThreadWritesFullBatchesThenTheRest();
    void slowRecordsReachTheTableWithoutAFullBatch();
    void commitPendingStoresWhatIsHeldAndQueued();
    void runWithoutSamplesInsertsNothing();
    void recordsQueuedAtDestructionAreStillStored();
    void multiChannelRowsRoundTripThroughTheSaveThread();
    void framesAFullQueueDroppedAreAGapWhereTheirSamplesAreMissing();
    void followersThatThrowOrStallLeaveEveryRowInTheTable();
};

void WorkerThreadsTest::decodingTimesAndSlotsFollowModeAndRate_data()
{
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("recordsPerFrame");
    QTest::addColumn<int>("valuesPerRecord");
    QTest::newRow("single at 100: slot 0 only") << true << 100 << 1 << 1;
    QTest::newRow("single at 101: sixteen samples") << true << 101 << 16 << 1;
    QTest::newRow("single at 5000") << true << 5000 << 16 << 1;
    QTest::newRow("multi at 150: one time point") << false << 150 << 1 << 16;
}

void WorkerThreadsTest::decodingTimesAndSlotsFollowModeAndRate()
{
    QFETCH(bool, single);
    QFETCH(int, rate);
    QFETCH(int, recordsPerFrame);
    QFETCH(int, valuesPerRecord);
    ScopedWorkDir dir;
    LogCapture log;
    DataQueues queues;
    RecordingSink sink;
    constexpr int frames = 5;
    for (int f = 0; f < frames; ++f) {
        queues.push_serial(data_frame_text(f));
    }
    queues.push_serial(end_frame_text(InstrumentFrames::stopped_type));

    SinkFanout live({&sink});
    DataProcess thread(single, rate, &queues, &live);
    QSignalSpy stopped(&thread, &DataProcess::stop_sample_data);
    thread.start();
    QVERIFY(thread.wait(10000));
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(stopped.first().first().toBool(), false);

    const QList<SampleRow> records = drain_records(queues);
    QCOMPARE(records.size(), frames * recordsPerFrame + 1);
    QCOMPARE(records.last(), (SampleRow{-1.0, -1.0}));
    const QList<SampleRow> points = sink.points();
    QCOMPARE(points.size(), frames * recordsPerFrame);

    for (int i = 0; i < frames * recordsPerFrame; ++i) {
        const SampleRow &record = records.at(i);
        QCOMPARE(record.size(), 1 + valuesPerRecord);
        // The sample's number over the rate, bit for bit (QCOMPARE of doubles is fuzzy).
        QVERIFY2(record.first() == double(i) / rate, qPrintable(QString::number(i)));
        const int frame = i / recordsPerFrame;
        for (int v = 0; v < valuesPerRecord; ++v) {
            const int slot = valuesPerRecord == 16 ? v : i % recordsPerFrame;
            QCOMPARE(record.at(1 + v), double(volts_of(frame, slot) * 1000.0f));
        }
        QCOMPARE(points.at(i), record);
    }

    const QStringList lines = log.messages();
    QVERIFY(
        lines.filter(QRegularExpression(QStringLiteral("^DataProcess 线程ID = \\d+$"))).size() ==
        1);
    QVERIFY(lines.contains(QStringLiteral("DataProcess 线程停止")));
}

void WorkerThreadsTest::endFrameStopsBeforeLaterFramesAndQueuesMarker_data()
{
    QTest::addColumn<quint8>("endType");
    QTest::addColumn<bool>("single");
    QTest::newRow("stop reply, single") << InstrumentFrames::stopped_type << true;
    QTest::newRow("run over, multi") << InstrumentFrames::finished_type << false;
}

void WorkerThreadsTest::endFrameStopsBeforeLaterFramesAndQueuesMarker()
{
    QFETCH(quint8, endType);
    QFETCH(bool, single);
    ScopedWorkDir dir;
    DataQueues queues;
    queues.push_serial(data_frame_text(0));
    queues.push_serial(end_frame_text(endType));
    queues.push_serial(data_frame_text(1));
    queues.push_serial(data_frame_text(2));

    DataProcess thread(single, 50, &queues, nullptr);
    QSignalSpy stopped(&thread, &DataProcess::stop_sample_data);
    thread.start();
    QVERIFY(thread.wait(10000));
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(queues.frame_count(), 2);
    const QList<SampleRow> records = drain_records(queues);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.last(), (SampleRow{-1.0, -1.0}));
}

void WorkerThreadsTest::missingPlotIsAllowed()
{
    ScopedWorkDir dir;
    DataQueues queues;
    queues.push_serial(data_frame_text(3));
    {
        DataProcess thread(false, 10, &queues, nullptr);
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(queues.record_count(), 1, 10000);
    } // the destructor ends a thread that never saw an end frame
    QCOMPARE(queues.pop_record().size(), 17);
}

// After a lost port the run ends with the frames that already arrived: all of them are
// decoded, in order, and nothing of a later run is waited for.
void WorkerThreadsTest::finishingDecodesEveryQueuedFrameFirst()
{
    constexpr int frames = 3000;
    ScopedWorkDir dir;
    DataQueues queues;
    RecordingSink plot;
    SinkFanout live({&plot});
    DataProcess thread(false, 100, &queues, &live);
    QSignalSpy stopped(&thread, &DataProcess::stop_sample_data);
    thread.start();
    for (int frame = 0; frame < frames; ++frame)
        queues.push_serial(data_frame_text(frame));

    QVERIFY(thread.finish_queued(std::chrono::seconds(30)));
    QVERIFY(thread.isFinished());
    QCOMPARE(stopped.count(), 0); // ended by its owner, not by an end frame
    QCOMPARE(queues.frame_count(), 0);
    const QList<SampleRow> records = drain_records(queues);
    QCOMPARE(records.size(), frames);
    for (int frame = 0; frame < frames; ++frame) {
        QCOMPARE(records.at(frame).at(0), double(frame) / 100);
        // Which frame it came from; the decoder's rounding to 0.1 mV aside.
        QVERIFY(std::abs(records.at(frame).at(16) - volts_of(frame, 15) * 1000.0) < 1.0);
    }
    QCOMPARE(plot.points().size(), frames);

    // With nothing queued it ends as soon as asked, also while idling between frames.
    DataProcess idle(false, 100, &queues, nullptr);
    idle.start();
    QTest::qWait(300); // long enough for the idle back-off to lengthen its waits
    QVERIFY(idle.finish_queued(std::chrono::seconds(30)));
    QVERIFY(idle.isFinished());
}

// The end of a run without a wait: each thread, asked to end, says so through
// QThread::finished once what was queued is decoded and every row stored.
void WorkerThreadsTest::endingWithoutWaitingReportsThroughFinishedKeepingEveryRow()
{
    constexpr int frames = 3000;
    ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    const QString table = QStringLiteral("dataSample_20240105_14_04_00");
    QVERIFY(database.create_table(table, false).ok());
    DataQueues queues;
    DataProcess decoder(false, 100, &queues, nullptr);
    RunTableSink store(&database, table);
    DataSaveDisplay saver(&queues, &store, std::chrono::hours(1));
    // QThread::finished is emitted on the ending thread: count it on this one.
    int decoded = 0;
    int saved = 0;
    connect(
        &decoder, &QThread::finished, this, [&decoded] { ++decoded; }, Qt::QueuedConnection);
    connect(
        &saver, &QThread::finished, this, [&saved] { ++saved; }, Qt::QueuedConnection);
    decoder.start();
    saver.start();
    QTest::qWait(300); // both idle between frames, with lengthened waits
    for (int frame = 0; frame < frames; ++frame)
        queues.push_serial(data_frame_text(frame));

    decoder.drain();
    QTRY_COMPARE_WITH_TIMEOUT(decoded, 1, 30000);
    QCOMPARE(queues.frame_count(), 0);
    QCOMPARE(saved, 0); // still running until asked
    saver.request_finish();
    QTRY_COMPARE_WITH_TIMEOUT(saved, 1, 30000);
    QCOMPARE(saver.taken_count(), frames);
    QCOMPARE(saver.committed_count(), frames);
    QCOMPARE(database.row_count(table), qint64(frames));
}

void WorkerThreadsTest::saveThreadWritesFullBatchesThenTheRest()
{
    ScopedWorkDir dir;
    LogCapture log;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.create_table(QStringLiteral("dataSample_20240105_14_03_59"), true).ok());
    DataQueues queues;
    // Records that never grow old: only a full batch is written during the run.
    RunTableSink store(&database, QStringLiteral("dataSample_20240105_14_03_59"));
    DataSaveDisplay thread(&queues, &store, std::chrono::hours(1));
    thread.start();

    for (int i = 0; i < 500; ++i) {
        queues.push_sample(i * 0.01, i);
    }
    QTRY_COMPARE_WITH_TIMEOUT(thread.taken_count(), 500, 10000);
    QCOMPARE(database.row_count(database.current_table_name()),
             0); // a batch is written only once it holds 501
    queues.push_sample(5.0, 500);
    QTRY_COMPARE_WITH_TIMEOUT(database.row_count(database.current_table_name()), 501, 10000);

    for (int i = 501; i < 1000; ++i) {
        queues.push_sample(i * 0.01, i);
    }
    queues.push_sample(-1.0, -1.0);
    QVERIFY(thread.wait(10000));
    QCOMPARE(database.row_count(database.current_table_name()), 1000);
    QCOMPARE(thread.committed_count(), 1000);

    const QList<QVariantList> rows = sql_rows::select(
        database.connection_handle(),
        QStringLiteral("SELECT time, Vol FROM \"dataSample_20240105_14_03_59\" ORDER BY id"));
    int i = 0;
    for (const QVariantList &row : rows) {
        QCOMPARE(row.at(1).toDouble(), double(i));
        ++i;
    }
    QCOMPARE(i, 1000);
    const QStringList lines = log.messages();
    QCOMPARE(last_worker_line(lines), QStringLiteral("采集点数 = 1000"));
    QVERIFY(lines.contains(QStringLiteral("DataSaveDisplay 线程停止")));
}

// At 1 point per second a batch of 501 would take minutes; a killed process would lose them.
void WorkerThreadsTest::slowRecordsReachTheTableWithoutAFullBatch()
{
    ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.create_table(QStringLiteral("dataSample_20240105_14_03_58"), true).ok());
    DataQueues queues;
    RunTableSink store(&database, QStringLiteral("dataSample_20240105_14_03_58"));
    DataSaveDisplay thread(&queues, &store);
    thread.start();
    for (int i = 0; i < 6; ++i) {
        queues.push_sample(i, i);
        if (i % 3 == 2) {
            QTRY_COMPARE_WITH_TIMEOUT(database.row_count(database.current_table_name()), i + 1,
                                      30000);
        }
    }
    QCOMPARE(thread.committed_count(), 6);
}

void WorkerThreadsTest::commitPendingStoresWhatIsHeldAndQueued()
{
    ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.create_table(QStringLiteral("dataSample_20240105_14_03_57"), true).ok());
    DataQueues queues;
    RunTableSink store(&database, QStringLiteral("dataSample_20240105_14_03_57"));
    DataSaveDisplay thread(&queues, &store, std::chrono::hours(1));
    const QString table = database.current_table_name();

    // Records still queued when it is asked.
    for (int i = 0; i < 20; ++i) {
        queues.push_sample(i, i);
    }
    thread.commit_pending();
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(database.row_count(table), 20, 30000);

    // Records the thread holds in its batch.
    for (int i = 20; i < 30; ++i) {
        queues.push_sample(i, i);
    }
    QTRY_COMPARE_WITH_TIMEOUT(thread.taken_count(), 30, 30000);
    QCOMPARE(database.row_count(table), 20);
    thread.commit_pending();
    QTRY_COMPARE_WITH_TIMEOUT(database.row_count(table), 30, 30000);
    QCOMPARE(thread.committed_count(), 30);
}

void WorkerThreadsTest::runWithoutSamplesInsertsNothing()
{
    ScopedWorkDir dir;
    LogCapture log;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.create_table(QStringLiteral("dataSample_20240105_14_04_00"), false).ok());
    DataQueues queues;
    RunTableSink store(&database, QStringLiteral("dataSample_20240105_14_04_00"));
    DataSaveDisplay thread(&queues, &store);
    queues.push_sample(-1.0, -1.0);
    thread.start();
    QVERIFY(thread.wait(10000));
    QCOMPARE(database.row_count(database.current_table_name()), 0);
    QCOMPARE(thread.taken_count(), 0);
    QCOMPARE(last_worker_line(log.messages()), QStringLiteral("采集点数 = 0"));
}

void WorkerThreadsTest::recordsQueuedAtDestructionAreStillStored()
{
    ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.create_table(QStringLiteral("dataSample_20240105_14_04_01"), true).ok());
    DataQueues queues;
    {
        RunTableSink store(&database, QStringLiteral("dataSample_20240105_14_04_01"));
        DataSaveDisplay thread(&queues, &store);
        thread.start();
        QTRY_VERIFY_WITH_TIMEOUT(thread.isRunning(), 10000);
        // No end marker: the run ends because its owner deletes the thread.
        for (int i = 0; i < 1200; ++i) {
            queues.push_sample(i, i);
        }
    }
    QCOMPARE(database.row_count(database.current_table_name()), 1200);
    QCOMPARE(queues.record_count(), 0);
}

void WorkerThreadsTest::multiChannelRowsRoundTripThroughTheSaveThread()
{
    ScopedWorkDir dir;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.create_table(QStringLiteral("dataSample_20240105_14_04_02"), false).ok());
    DataQueues queues;
    RecordingSink sink;
    for (int f = 0; f < 40; ++f) {
        queues.push_serial(data_frame_text(f));
    }
    queues.push_serial(end_frame_text(InstrumentFrames::finished_type));
    SinkFanout live({&sink});
    DataProcess decoder(false, 150, &queues, &live);
    RunTableSink store(&database, QStringLiteral("dataSample_20240105_14_04_02"));
    DataSaveDisplay saver(&queues, &store);
    decoder.start();
    saver.start();
    QVERIFY(decoder.wait(10000));
    QVERIFY(saver.wait(10000));
    QCOMPARE(database.row_count(database.current_table_name()), 40);

    const QList<QVariantList> rows = sql_rows::select(
        database.connection_handle(),
        QStringLiteral("SELECT * FROM \"dataSample_20240105_14_04_02\" ORDER BY id"));
    const QList<SampleRow> points = sink.points();
    int f = 0;
    for (const QVariantList &row : rows) {
        for (int column = 1; column <= 17; ++column) {
            QCOMPARE(row.at(column).toDouble(), points.at(f).at(column - 1));
        }
        ++f;
    }
    QCOMPARE(f, 40);
}

// Two frames a full frame queue had no room for: once the frame after them is decoded, the run
// has a gap right after the last sample decoded before them, as long as their 32 samples.
void WorkerThreadsTest::framesAFullQueueDroppedAreAGapWhereTheirSamplesAreMissing()
{
    ScopedWorkDir dir;
    LogCapture log;
    SampleDatabase database(QStringLiteral("gaps.db"));
    QVERIFY(database.open_database().ok());
    const RunSettings settings{true, 1000, 100, {1.0}};
    const QDateTime start = QDateTime::currentDateTime();
    const QString table = database.create_run_table(start, true).value();
    RunTableSink store(&database, table);
    RunChronicle chronicle;
    chronicle.started(&database, &store, nullptr, start, settings);
    DataQueues queues;
    chronicle.begun(queues);
    FrameDecoder decoder(true, settings.rate, &queues, nullptr);
    for (int i = 0; i < DataQueues::baseCapacity + 2; ++i) {
        queues.push_serial(data_frame_text(i));
    }
    for (int i = 0; i < DataQueues::baseCapacity; ++i) {
        decoder.decode(queues.pop_serial());
        drain_records(queues);
    }
    const double lastDecoded = decoder.time() - 1.0 / settings.rate;
    chronicle.collect_drops(queues, false);
    QVERIFY(database.read_gaps(table).isEmpty()); // not placed yet
    queues.push_serial(data_frame_text(0));
    decoder.decode(queues.pop_serial());
    chronicle.collect_drops(queues, false);

    const QList<RunGap> gaps = database.read_gaps(table);
    QCOMPARE(gaps.size(), 1);
    QCOMPARE(gaps[0].cause, RunGap::droppedFrames);
    QCOMPARE(gaps[0].count, qint64(2));
    QVERIFY(qAbs(gaps[0].start - (lastDecoded + 0.001)) < 1e-9);
    QVERIFY(qAbs(gaps[0].length - 0.032) < 1e-9);
    QVERIFY(chronicle.gaps() == gaps);
}

// A follower that throws is detached and one that never returns only misses rows: the run's
// threads end as ever, every row in the table; the stuck one, once free, is told what it missed.
void WorkerThreadsTest::followersThatThrowOrStallLeaveEveryRowInTheTable()
{
    constexpr int frames = 3000; // six transactions of 501 rows and the rest
    ScopedWorkDir dir;
    LogCapture log;
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    const QString table = QStringLiteral("dataSample_20240105_14_04_03");
    QVERIFY(database.create_table(table, false).ok());
    DataQueues queues;
    for (int frame = 0; frame < frames; ++frame)
        queues.push_serial(data_frame_text(frame));
    queues.push_serial(end_frame_text(InstrumentFrames::finished_type));

    ThrowingSink throwing;
    StallingSink stalling;
    // Room for two waiting batches: the stuck follower has more than that dropped.
    SinkFanout sinks({&throwing, &stalling}, 2);
    RunTableSink store(&database, table);
    DataProcess decoder(false, 150, &queues, &sinks);
    DataSaveDisplay saver(&queues, &store, std::chrono::hours(1));
    saver.set_followers(&sinks);
    decoder.start();
    saver.start();
    QVERIFY(decoder.wait(30000));
    QVERIFY(saver.wait(30000));

    QCOMPARE(saver.taken_count(), frames);
    QCOMPARE(saver.committed_count(), frames);
    QCOMPARE(saver.storage_error(), QString());
    QCOMPARE(database.row_count(table), qint64(frames));
    // Its own thread met the exception, maybe after the run's threads were done.
    QTRY_VERIFY_WITH_TIMEOUT(sinks.is_detached(&throwing), 30000);
    QCOMPARE(sinks.status_of(&throwing).message(), QStringLiteral("mirror went away"));
    QVERIFY(!sinks.is_detached(&stalling));

    sinks.notify([](RunSink &sink) { return sink.run_ended(RunFacts(), RunReport()); });
    sinks.close();
    stalling.release.release();
    QVERIFY(sinks.wait_closed(std::chrono::seconds(30)));
    const QList<StallingSink::Call> calls = stalling.calls();
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.last().what, QStringLiteral("ended"));
    // Every row once, in order, handed over or named as missed.
    qint64 next = 0;
    bool missed = false;
    for (qsizetype i = 0; i + 1 < calls.size(); ++i) {
        QCOMPARE(calls.at(i).first, next);
        missed = missed || calls.at(i).what == QStringLiteral("missed");
        next = calls.at(i).end;
    }
    QVERIFY(missed);
    QCOMPARE(next, qint64(frames));
}

QTEST_GUILESS_MAIN(WorkerThreadsTest)
#include "tst_workerthreads.moc"
