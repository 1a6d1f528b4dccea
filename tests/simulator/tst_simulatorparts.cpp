// The simulator's pieces that need no terminal: reading command packets out of
// a byte stream, reading start commands, pacing a run, the waveform.
#include "commandreader.h"
#include "framekit.h"
#include "instrumentsimulator.h"
#include "simulatedrun.h"

#include <QtTest>

#include <cmath>

class SimulatorPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void commandPacketsAreFoundInAnyByteStream_data();
    void commandPacketsAreFoundInAnyByteStream();
    void commandSplitAtEveryOffsetIsFoundOnce();
    void startCommandsAreRead_data();
    void startCommandsAreRead();
    void framesFallDueWithTheRunClock();
    void waveformIsDeterministicPerChannelAndPattern();
    void rampFollowsTheRunClockInEveryFrameLayout_data();
    void rampFollowsTheRunClockInEveryFrameLayout();
};

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

void SimulatorPartsTest::commandPacketsAreFoundInAnyByteStream_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<QByteArray>>("expected");

    const QByteArray status = command_packet(0x05);
    const QByteArray stop = command_packet(0x03);
    const QByteArray start = start_single_packet(1.5f, 5000, 100);

    QTest::newRow("one packet") << QList<QByteArray>{status} << QList<QByteArray>{status};
    QTest::newRow("back to back") << QList<QByteArray>{start + stop + status}
                                  << QList<QByteArray>{start, stop, status};
    QTest::newRow("junk before and after")
        << QList<QByteArray>{hex("0001ff0d0a7f") + stop + hex("ff05")} << QList<QByteArray>{stop};
    QTest::newRow("stray start byte right before a packet")
        << QList<QByteArray>{hex("ff") + status} << QList<QByteArray>{status};
    QTest::newRow("bad end bytes are not a packet")
        << QList<QByteArray>{status.left(24) + hex("0d0b") + stop} << QList<QByteArray>{stop};
    QTest::newRow("packet over three reads")
        << QList<QByteArray>{hex("1f") + start.left(3), start.mid(3, 20), start.mid(23)}
        << QList<QByteArray>{start};
}

void SimulatorPartsTest::commandPacketsAreFoundInAnyByteStream()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<QByteArray>, expected);
    CommandReader reader;
    QList<QByteArray> found;
    for (const QByteArray &piece : pieces) {
        found += reader.feed(piece);
    }
    QCOMPARE(found, expected);
    QVERIFY(reader.pending_size() < CommandReader::packet_size);
}

void SimulatorPartsTest::commandSplitAtEveryOffsetIsFoundOnce()
{
    const QByteArray stream =
        hex("aa1f") + start_multi_packet(1, -1, 0, 2.5f, 150, 10000) + command_packet(0x15);
    for (int cut = 0; cut <= stream.size(); ++cut) {
        CommandReader reader;
        QList<QByteArray> found = reader.feed(stream.left(cut));
        found += reader.feed(stream.mid(cut));
        QCOMPARE(found.size(), 2);
        QCOMPARE(quint8(found[0][1]), quint8(0x02));
        QCOMPARE(quint8(found[1][1]), quint8(0x15));
    }
}

void SimulatorPartsTest::startCommandsAreRead_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("multi");
    QTest::addColumn<QList<float>>("excitation");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<int>("samplesPerFrame");

    // The two start packets written out byte by byte.
    QTest::newRow("single, 1.5 V, 5000/s, 100 s")
        << hex("ff01"
               "0000c03f"
               "000000000000000000000000"
               "1388"
               "0064"
               "0000"
               "0d0a")
        << false << QList<float>{1.5f} << 5000 << 100 << quint64(31250) << 16;
    QTest::newRow("multi, 150/s, 10000 s")
        << hex("ff020000803f000080bf00000000000020400096271000000d0a") << true
        << QList<float>{1.0f, -1.0f, 0.0f, 2.5f} << 150 << 10000 << quint64(1500000) << 1;
    QTest::newRow("single at 1000/s rounds up to whole frames")
        << start_single_packet(-2.0f, 1000, 1) << false << QList<float>{-2.0f} << 1000 << 1
        << quint64(63) << 16;
    QTest::newRow("single at 101/s is fast")
        << start_single_packet(0, 101, 16) << false << QList<float>{0.0f} << 101 << 16
        << quint64(101) << 16;
    QTest::newRow("single at 100/s is one sample per frame")
        << start_single_packet(0, 100, 3) << false << QList<float>{0.0f} << 100 << 3 << quint64(300)
        << 1;
    QTest::newRow("zero rate gives an empty run")
        << start_single_packet(0, 0, 5) << false << QList<float>{0.0f} << 0 << 5 << quint64(0) << 1;
}

void SimulatorPartsTest::startCommandsAreRead()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, multi);
    QFETCH(QList<float>, excitation);
    QFETCH(int, rate);
    QFETCH(int, seconds);
    QFETCH(quint64, frames);
    QFETCH(int, samplesPerFrame);

    QCOMPARE(packet.size(), 26);
    const std::optional<SimulatedRun> run = SimulatedRun::from_command(packet, 1);
    QVERIFY(run.has_value());
    QCOMPARE(run->mode() == SimulatedRun::Mode::Multi, multi);
    QCOMPARE(run->excitation(), excitation);
    QCOMPARE(run->rate(), rate);
    QCOMPARE(run->seconds(), seconds);
    QCOMPARE(run->total_frames(), frames);
    QCOMPARE(run->samples_per_frame(), samplesPerFrame);
}

void SimulatorPartsTest::framesFallDueWithTheRunClock()
{
    SimulatedRun run(SimulatedRun::Mode::Multi, {0, 0, 0, 0}, 40, 2, 1);
    QCOMPARE(run.total_frames(), quint64(80));
    QCOMPARE(run.frames_due(false), quint64(0));
    QVERIFY(std::abs(run.seconds_to_next_frame() - 0.025) < 1e-9);

    run.advance(0.51);
    QCOMPARE(run.frames_due(false), quint64(20));
    for (int i = 0; i < 20; ++i) {
        run.take_frame();
    }
    QVERIFY(std::abs(run.seconds_to_next_frame() - 0.015) < 1e-9);
    QVERIFY(!run.all_frames_taken());

    run.advance(100.0); // long past the end: never more than the run holds
    QCOMPARE(run.frames_due(false), quint64(80));
    while (run.frames_taken() < run.frames_due(false)) {
        run.take_frame();
    }
    QVERIFY(run.all_frames_taken());
}

void SimulatorPartsTest::waveformIsDeterministicPerChannelAndPattern()
{
    for (int channel = 0; channel < 16; ++channel) {
        float low = 0.0f;
        float high = 0.0f;
        bool differsFromNeighbour = false;
        bool differsByPattern = false;
        for (quint64 i = 0; i < 2000; ++i) {
            const float v = InstrumentSimulator::sample_volts(channel, i, 7);
            QCOMPARE(InstrumentSimulator::sample_volts(channel, i, 7), v);
            QVERIFY(std::isfinite(v));
            low = std::min(low, v);
            high = std::max(high, v);
            differsFromNeighbour |=
                v != InstrumentSimulator::sample_volts((channel + 1) % 16, i, 7);
            differsByPattern |= v != InstrumentSimulator::sample_volts(channel, i, 8);
        }
        QVERIFY(low >= -5.0f && high <= 5.0f);
        QVERIFY2(high - low > 0.5f, "a sine, not a constant");
        QVERIFY(differsFromNeighbour);
        QVERIFY(differsByPattern);
    }
}

void SimulatorPartsTest::rampFollowsTheRunClockInEveryFrameLayout_data()
{
    QTest::addColumn<bool>("multi");
    QTest::addColumn<int>("rate");

    QTest::newRow("single channel, one sample a frame") << false << 100;
    QTest::newRow("single channel, sixteen samples a frame") << false << 1600;
    QTest::newRow("multi-channel") << true << 100;
}

void SimulatorPartsTest::rampFollowsTheRunClockInEveryFrameLayout()
{
    QFETCH(bool, multi);
    QFETCH(int, rate);
    constexpr double slope = -0.01; // volts per second
    constexpr int seconds = 3;

    SimulatedRun run(multi ? SimulatedRun::Mode::Multi : SimulatedRun::Mode::Single, {0, 0, 0, 0},
                     rate, seconds, 1);
    run.set_ramp(slope);
    run.advance(seconds);
    const int perFrame = run.samples_per_frame();
    quint64 sample = 0;
    while (!run.all_frames_taken()) {
        const QByteArray frame = run.take_frame();
        for (int slot = 0; slot < 16; ++slot) {
            // A sample's time is its index over the rate, whatever frame carries it.
            const quint64 index = multi ? sample : sample + quint64(slot);
            const int channel = multi ? slot : 0;
            if (!multi && slot >= perFrame)
                break;
            const double expected =
                SimulatedRun::rampStartVolts + 0.01 * channel + slope * double(index) / rate;
            QVERIFY2(std::abs(slot_volts(frame, slot) - expected) < 1e-6,
                     qPrintable(QStringLiteral("sample %1 slot %2").arg(index).arg(slot)));
        }
        sample += quint64(perFrame);
    }
    QCOMPARE(sample, quint64(rate * seconds));
}

QTEST_GUILESS_MAIN(SimulatorPartsTest)
#include "tst_simulatorparts.moc"
