// The simulator as the application meets it: over a real pseudo-terminal,
// opened with plain POSIX calls, in real time.
#include "framekit.h"
#include "instrumentsimulator.h"
#include "slaveline.h"

#include <QtTest>

#include <cerrno>
#include <ctime>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
constexpr auto reply_timeout = 10s;
constexpr auto run_timeout = 30s;
// Long enough to show that nothing comes, short enough to keep the suite quick.
constexpr auto quiet_window = 400ms;

bool is_end_frame(const QByteArray &frame)
{
    return quint8(frame[1]) == 0x83 || quint8(frame[1]) == 0xF0;
}

std::chrono::nanoseconds process_cpu_time()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// Reads until an end-of-run frame has arrived (or the time-out passes) and
// returns the whole stream.
QByteArray read_until_end_of_run(SlaveLine &line)
{
    QByteArray stream;
    const auto deadline = std::chrono::steady_clock::now() + run_timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        stream += line.read_at_least(1, 500ms);
        const QList<QByteArray> frames = cut_frames(stream);
        if (!frames.isEmpty() && is_end_frame(frames.last())) {
            break;
        }
    }
    return stream;
}

// Empty when `frames` are exactly the data frames of the run, in order;
// otherwise says what is wrong first.
QString check_data_frames(const QList<QByteArray> &frames, bool multi, int rate, quint32 pattern)
{
    for (qsizetype f = 0; f < frames.size(); ++f) {
        const quint8 type = quint8(frames[f][1]);
        if (type != 0x81 && type != 0x82) {
            return QString("frame %1 has type %2").arg(f).arg(type, 2, 16);
        }
        for (int slot = 0; slot < 16; ++slot) {
            const float got = slot_volts(frames[f], slot);
            const float want = expected_volts(multi, rate, quint64(f), slot, pattern);
            if (got != want) {
                return QString("frame %1 slot %2: %3 V, expected %4 V")
                    .arg(f)
                    .arg(slot)
                    .arg(double(got))
                    .arg(double(want));
            }
        }
    }
    return {};
}
} // namespace

class InstrumentSimulatorTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void statusQueryIsAnsweredWithAStatusFrame_data();
    void statusQueryIsAnsweredWithAStatusFrame();
    void runSendsEveryFrameInOrderThenEndsByItself_data();
    void runSendsEveryFrameInOrderThenEndsByItself();
    void stopIsAnsweredWithOneEndFrameAndNothingAfter();
    void ignoredStopIsRecordedWhileTheRunStreamsOn();
    void pauseHoldsFramesAndContinueResumesWithoutLoss();
    void faultsStillCarryEveryFrameInOrder_data();
    void faultsStillCarryEveryFrameInOrder();
    void stallHoldsBackOutputAndThenDeliversIt();
    void unknownCommandsAreRecordedButNotAnswered();
    void rawBytesArriveExactly();
    void portCanBeClosedAndReopenedWithoutLosingBytes();
    void vanishingHangsUpTheApplicationsSide();
    void waitingSimulatorLeavesTheProcessorAlone_data();
    void waitingSimulatorLeavesTheProcessorAlone();

private:
    static constexpr quint32 pattern = 4242;
    std::unique_ptr<InstrumentSimulator> sim_;
    std::unique_ptr<SlaveLine> line_;
};

void InstrumentSimulatorTest::init()
{
    sim_ = std::make_unique<InstrumentSimulator>(pattern);
    QVERIFY(sim_->is_open());
    QVERIFY(sim_->port_name().startsWith("/dev/pts/"));
    QVERIFY(sim_->start());
    QVERIFY(!sim_->start());
    line_ = std::make_unique<SlaveLine>(sim_->port_name());
    QVERIFY(line_->is_open());
}

void InstrumentSimulatorTest::cleanup()
{
    line_.reset();
    sim_.reset();
}

void InstrumentSimulatorTest::statusQueryIsAnsweredWithAStatusFrame_data()
{
    QTest::addColumn<int>("battery");
    QTest::addColumn<bool>("module");
    QTest::addColumn<QByteArray>("head");

    QTest::newRow("75 %, module present") << 75 << true << QByteArray::fromHex("ff854b11");
    QTest::newRow("0 %, no module") << 0 << false << QByteArray::fromHex("ff850022");
    QTest::newRow("100 %, no module") << 100 << false << QByteArray::fromHex("ff856422");
}

void InstrumentSimulatorTest::statusQueryIsAnsweredWithAStatusFrame()
{
    QFETCH(int, battery);
    QFETCH(bool, module);
    QFETCH(QByteArray, head);

    sim_->set_battery(battery);
    sim_->set_module_present(module);
    QVERIFY(line_->write(command_packet(0x05)));
    const QByteArray reply = line_->read_at_least(72, reply_timeout);
    QCOMPARE(reply.size(), 72);
    QCOMPARE(reply.left(4), head);
    QCOMPARE(reply.mid(4), QByteArray(66, '\0') + QByteArray::fromHex("0d0a"));
    QCOMPARE(sim_->received_commands(), QList<QByteArray>{command_packet(0x05)});
    QVERIFY(!sim_->run_active());
}

void InstrumentSimulatorTest::runSendsEveryFrameInOrderThenEndsByItself_data()
{
    QTest::addColumn<bool>("multi");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("samples");

    // 1000 samples fill 62.5 frames: the last frame is filled up to 16.
    QTest::newRow("single, 1000/s for 1 s, real time") << false << 1000 << 1 << 1.0 << 63 << 1008;
    QTest::newRow("single, 20/s for 2 s") << false << 20 << 2 << 4.0 << 40 << 40;
    QTest::newRow("multi, 50/s for 2 s") << true << 50 << 2 << 4.0 << 100 << 100;
}

void InstrumentSimulatorTest::runSendsEveryFrameInOrderThenEndsByItself()
{
    QFETCH(bool, multi);
    QFETCH(int, rate);
    QFETCH(int, seconds);
    QFETCH(double, speed);
    QFETCH(int, frames);
    QFETCH(int, samples);

    sim_->set_speed_factor(speed);
    const QByteArray start = multi ? start_multi_packet(1, 2, 3, 4, rate, seconds)
                                   : start_single_packet(1.5f, rate, seconds);
    QVERIFY(line_->write(start));
    qsizetype skipped = -1;
    QList<QByteArray> received = cut_frames(read_until_end_of_run(*line_), &skipped);

    QCOMPARE(skipped, 0);
    QCOMPARE(received.size(), frames + 1);
    QCOMPARE(received.takeLast(),
             QByteArray::fromHex("fff0") + QByteArray(68, '\0') + QByteArray::fromHex("0d0a"));
    const QString problem = check_data_frames(received, multi, rate, pattern);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(sim_->frames_sent(), quint64(frames));
    QCOMPARE(sim_->samples_sent(), quint64(samples));
    QCOMPARE(sim_->received_commands(), QList<QByteArray>{start});
    QVERIFY(!sim_->run_active());
}

void InstrumentSimulatorTest::stopIsAnsweredWithOneEndFrameAndNothingAfter()
{
    QVERIFY(line_->write(start_single_packet(0.5f, 10, 100)));
    QByteArray stream = line_->read_at_least(72, reply_timeout);
    QVERIFY(!cut_frames(stream).isEmpty());
    QVERIFY(sim_->run_active());

    QVERIFY(line_->write(command_packet(0x03)));
    stream += read_until_end_of_run(*line_);
    stream += line_->read_for(quiet_window);
    QList<QByteArray> frames = cut_frames(stream);
    QCOMPARE(quint8(frames.takeLast()[1]), quint8(0x83));
    const QString problem = check_data_frames(frames, false, 10, pattern);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(!sim_->run_active());
    QVERIFY(sim_->frames_sent() < 1000);

    // Stop without a run has nothing to answer.
    QVERIFY(line_->write(command_packet(0x03)));
    QTRY_COMPARE_WITH_TIMEOUT(sim_->received_commands().size(), 3, 10000);
    QCOMPARE(line_->read_for(quiet_window), QByteArray());
}

void InstrumentSimulatorTest::ignoredStopIsRecordedWhileTheRunStreamsOn()
{
    sim_->set_ignore_stop(true);
    QVERIFY(line_->write(start_single_packet(0.5f, 20, 100)));
    QByteArray stream = line_->read_at_least(72, reply_timeout);

    QVERIFY(line_->write(command_packet(0x03)));
    QTRY_COMPARE_WITH_TIMEOUT(sim_->received_commands().size(), 2, 10000);
    const quint64 sentAtStop = sim_->frames_sent();
    QTRY_VERIFY_WITH_TIMEOUT(sim_->frames_sent() >= sentAtStop + 3, 10000);
    stream += line_->read_at_least(3 * 72, reply_timeout);

    QVERIFY(sim_->run_active());
    const QList<QByteArray> frames = cut_frames(stream);
    const QString problem = check_data_frames(frames, false, 20, pattern);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void InstrumentSimulatorTest::pauseHoldsFramesAndContinueResumesWithoutLoss()
{
    // A run far longer than the pause can take to arrive, even on a busy machine; after
    // the pause the simulator runs it fast to the end.
    constexpr int rate = 50;
    constexpr int seconds = 60;
    QVERIFY(line_->write(start_multi_packet(0, 0, 0, 0, rate, seconds)));
    QByteArray stream = line_->read_at_least(5 * 72, reply_timeout);
    QVERIFY(cut_frames(stream).size() >= 5);

    QVERIFY(line_->write(command_packet(0x15)));
    QTRY_COMPARE_WITH_TIMEOUT(sim_->received_commands().size(), 2, 10000);
    // The simulator queues no frame once it has taken the pause in, so this is final; what
    // was queued before still arrives.
    const quint64 sentWhenPaused = sim_->frames_sent();
    QVERIFY(sentWhenPaused < quint64(rate * seconds));
    stream += line_->read_at_least(qsizetype(sentWhenPaused) * 72 - stream.size(), reply_timeout);
    QCOMPARE(stream.size(), qsizetype(sentWhenPaused) * 72);
    QCOMPARE(line_->read_for(quiet_window), QByteArray());
    QCOMPARE(sim_->frames_sent(), sentWhenPaused);
    QVERIFY(sim_->run_active());

    sim_->set_speed_factor(100);
    QVERIFY(line_->write(command_packet(0x16)));
    stream += read_until_end_of_run(*line_);
    QList<QByteArray> frames = cut_frames(stream);
    QCOMPARE(frames.size(), rate * seconds + 1);
    QCOMPARE(quint8(frames.takeLast()[1]), quint8(0xF0));
    const QString problem = check_data_frames(frames, true, rate, pattern);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void InstrumentSimulatorTest::faultsStillCarryEveryFrameInOrder_data()
{
    QTest::addColumn<bool>("junk");
    QTest::addColumn<bool>("splits");
    QTest::addColumn<bool>("burst");

    QTest::newRow("junk between frames") << true << false << false;
    QTest::newRow("writes split at random") << false << true << false;
    QTest::newRow("bursts") << false << false << true;
    QTest::newRow("all at once") << true << true << true;
}

void InstrumentSimulatorTest::faultsStillCarryEveryFrameInOrder()
{
    QFETCH(bool, junk);
    QFETCH(bool, splits);
    QFETCH(bool, burst);

    sim_->set_junk(junk);
    sim_->set_random_splits(splits);
    sim_->set_burst(burst);
    QVERIFY(line_->write(start_single_packet(2.0f, 5000, 1)));
    qsizetype skipped = -1;
    QList<QByteArray> frames = cut_frames(read_until_end_of_run(*line_), &skipped);

    QCOMPARE(frames.size(), 313 + 1); // 5000 samples in frames of 16, rounded up
    QCOMPARE(quint8(frames.takeLast()[1]), quint8(0xF0));
    const QString problem = check_data_frames(frames, false, 5000, pattern);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(skipped > 0, junk);
    QCOMPARE(sim_->samples_sent(), quint64(313 * 16));
}

void InstrumentSimulatorTest::stallHoldsBackOutputAndThenDeliversIt()
{
    // Held back far longer than the test looks, then let go: nothing depends on how fast
    // the machine is.
    sim_->stall(600000);
    QVERIFY(line_->write(command_packet(0x05)));
    QTRY_COMPARE_WITH_TIMEOUT(sim_->received_commands().size(), 1, 10000);
    QCOMPARE(line_->read_for(quiet_window), QByteArray());
    sim_->stall(0);
    const QByteArray reply = line_->read_at_least(72, reply_timeout);
    QCOMPARE(reply.size(), 72);
    QCOMPARE(quint8(reply[1]), quint8(0x85));
}

void InstrumentSimulatorTest::unknownCommandsAreRecordedButNotAnswered()
{
    const QList<QByteArray> sent{command_packet(0x7E), command_packet(0x16), command_packet(0x15),
                                 command_packet(0x05)};
    // Junk around the packets, and the packets in pieces.
    QByteArray stream = QByteArray::fromHex("1fff00") + sent.join() + QByteArray::fromHex("0d0a");
    for (qsizetype at = 0; at < stream.size(); at += 7) {
        QVERIFY(line_->write(stream.mid(at, 7)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(sim_->received_commands(), sent, 10000);
    QByteArray reply = line_->read_at_least(72, reply_timeout);
    reply += line_->read_for(quiet_window);
    QCOMPARE(reply.size(), 72);
    QCOMPARE(quint8(reply[1]), quint8(0x85));
    QVERIFY(!sim_->run_active());
}

void InstrumentSimulatorTest::rawBytesArriveExactly()
{
    const QByteArray raw = QByteArray::fromHex("1fff81000d0a") + QByteArray(300, char(0xFF));
    sim_->write_raw(raw);
    QCOMPARE(line_->read_at_least(raw.size(), reply_timeout), raw);
}

void InstrumentSimulatorTest::portCanBeClosedAndReopenedWithoutLosingBytes()
{
    line_->close();
    sim_->write_raw(QByteArray::fromHex("0102ff03"));
    QTest::qWait(100); // let the I/O thread meet a line that nobody has open
    line_ = std::make_unique<SlaveLine>(sim_->port_name());
    QVERIFY(line_->is_open());
    QCOMPARE(line_->read_at_least(4, reply_timeout), QByteArray::fromHex("0102ff03"));

    QVERIFY(line_->write(command_packet(0x05)));
    QCOMPARE(line_->read_at_least(72, reply_timeout).size(), 72);
}

void InstrumentSimulatorTest::vanishingHangsUpTheApplicationsSide()
{
    QVERIFY(line_->write(start_single_packet(1.0f, 1000, 100)));
    QVERIFY(line_->read_at_least(72, reply_timeout).size() >= 72);
    QVERIFY(sim_->run_active());

    sim_->vanish();
    QVERIFY(!sim_->is_open());
    QVERIFY(!sim_->run_active());
    sim_->vanish(); // a second unplug is harmless

    // Drain what was already on its way, then the line must report the loss.
    char buffer[4096];
    ssize_t n = 0;
    int attempts = 0;
    do {
        pollfd pfd{line_->fd(), POLLIN, 0};
        QVERIFY(::poll(&pfd, 1, 10000) == 1);
        n = ::read(line_->fd(), buffer, sizeof buffer);
    } while (n > 0 && ++attempts < 10000);
    QVERIFY2(n == 0 || (n < 0 && errno == EIO), qPrintable(QString("read gave %1").arg(n)));
}

void InstrumentSimulatorTest::waitingSimulatorLeavesTheProcessorAlone_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<qsizetype>("rawBytes");
    QTest::addColumn<bool>("withholdEndFrame");

    // The application stopped reading (frozen, or killed with the line still open): more
    // is waiting than the line takes, and then more than the simulator builds frames for.
    QTest::newRow("line full") << QByteArray() << qsizetype(256 * 1024) << false;
    QTest::newRow("line full during a run")
        << start_single_packet(1.0f, 5000, 1000) << qsizetype(2 * 1024 * 1024) << false;
    QTest::newRow("run over, end frame withheld")
        << start_single_packet(1.0f, 10, 1) << qsizetype(0) << true;
}

void InstrumentSimulatorTest::waitingSimulatorLeavesTheProcessorAlone()
{
    QFETCH(QByteArray, start);
    QFETCH(qsizetype, rawBytes);
    QFETCH(bool, withholdEndFrame);

    sim_->set_withhold_end_frame(withholdEndFrame);
    if (!start.isEmpty()) {
        QVERIFY(line_->write(start));
        QTRY_VERIFY_WITH_TIMEOUT(sim_->run_active() && sim_->frames_sent() > 0, 10000);
    }
    if (withholdEndFrame) {
        sim_->set_speed_factor(100.0);
        QTRY_COMPARE_WITH_TIMEOUT(sim_->frames_sent(), quint64(10), 10000);
    }
    sim_->write_raw(QByteArray(rawBytes, '\x55'));
    QTest::qWait(200); // the I/O thread meets a full line

    // Waiting is sleeping: only a small share of the time (it wakes now and then to look at
    // the clock), however slow the machine; a loop that spins takes all it can get.
    const auto wall = std::chrono::milliseconds(1000);
    const auto before = process_cpu_time();
    std::this_thread::sleep_for(wall);
    const auto used = process_cpu_time() - before;
    QVERIFY2(
        used < wall / 10,
        qPrintable(QString("%1 ms of processor time in %2 ms")
                       .arg(std::chrono::duration_cast<std::chrono::milliseconds>(used).count())
                       .arg(wall.count())));
}

QTEST_GUILESS_MAIN(InstrumentSimulatorTest)
#include "tst_instrumentsimulator.moc"
