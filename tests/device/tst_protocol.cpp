#include "protocol.h"
#include "statusreply.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

// Command packets byte for byte, slot values and the status reply.
class ProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void commandPacketsAreByteExact_data();
    void commandPacketsAreByteExact();
    void outOfRangeIntegersKeepThePacketLength();

    void slotValuesAreMillivoltsRoundedToATenth_data();
    void slotValuesAreMillivoltsRoundedToATenth();
    void nanAndInfinityPatternsPassThrough();
    void everySlotIsReadFromItsOwnCharacters();
    void slotBeyondTheTextIsNotANumber();
    void slotRoundingAgreesWithRoundfOnEveryKindOfValue();
    void allSlotsAtOnceEqualSlotBySlot();

    void statusReplyGivesBatteryAndModule_data();
    void statusReplyGivesBatteryAndModule();
};

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

void ProtocolTest::commandPacketsAreByteExact_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("single channel 1.5 V, 5000/s, 100 s")
        << start_single_command(1.5f, 5000, 100)
        << hex("FF 01 0000C03F 000000000000000000000000 1388 0064 00 00 0D0A");
    QTest::newRow("multi channel 1, -1, 0, 2.5 V, 150/s, 10000 s")
        << start_multi_command(1.0f, -1.0f, 0.0f, 2.5f, 150, 10000)
        << hex("FF 02 0000803F 000080BF 00000000 00002040 0096 2710 0000 0D0A");
    QTest::newRow("single channel -80 V, 1/s, 1 s")
        << start_single_command(-80.0f, 1, 1)
        << hex("FF 01 0000A0C2 000000000000000000000000 0001 0001 00 00 0D0A");
    QTest::newRow("stop") << stop_command()
                          << hex("FF 03 00000000000000000000000000000000000000000000 0D0A");
    QTest::newRow("status query") << status_query_command()
                                  << hex("FF 05 00000000000000000000000000000000000000000000 0D0A");
    QTest::newRow("pause") << pause_command()
                           << hex("FF 15 00000000000000000000000000000000000000000000 0D0A");
    QTest::newRow("continue") << continue_command()
                              << hex("FF 16 00000000000000000000000000000000000000000000 0D0A");
}

void ProtocolTest::commandPacketsAreByteExact()
{
    QFETCH(QByteArray, packet);
    QFETCH(QByteArray, expected);
    QCOMPARE(expected.size(), commandPacketSize);
    QCOMPARE(packet.toHex(' ').toUpper(), expected.toHex(' ').toUpper());
}

void ProtocolTest::outOfRangeIntegersKeepThePacketLength()
{
    const QByteArray high = start_single_command(0.0f, 70000, 100000);
    QCOMPARE(high.size(), commandPacketSize);
    QCOMPARE(high.mid(18, 4), hex("FFFF FFFF"));
    QCOMPARE(high.right(2), hex("0D0A"));

    const QByteArray negative = start_multi_command(0.0f, 0.0f, 0.0f, 0.0f, -5, -1);
    QCOMPARE(negative.size(), commandPacketSize);
    QCOMPARE(negative.mid(18, 4), hex("0000 0000"));
}

static QByteArray frame_text_with_slot(int slot, const QByteArray &slotHex)
{
    QByteArray text = "FF81" + QByteArray(8 * frameSlotCount, '0') + "000000000D0A";
    text.replace(4 + 8 * slot, 8, slotHex);
    return text;
}

void ProtocolTest::slotValuesAreMillivoltsRoundedToATenth_data()
{
    QTest::addColumn<QByteArray>("slotHex");
    QTest::addColumn<double>("millivolts");

    QTest::newRow("1.0 V") << QByteArray("0000803F") << 1000.0;
    QTest::newRow("0.12345 V") << QByteArray("5BD3FC3D") << 123.5;
    // -0.25 mV rounds half away from zero; the result is the float widened.
    QTest::newRow("-0.00025 V") << QByteArray("6F1283B9") << double(-0.3f);
    QTest::newRow("zero") << QByteArray("00000000") << 0.0;
    QTest::newRow("-10 V") << QByteArray("000020C1") << -10000.0;
    QTest::newRow("lower-case digits") << QByteArray("5bd3fc3d") << 123.5;
}

void ProtocolTest::slotValuesAreMillivoltsRoundedToATenth()
{
    QFETCH(QByteArray, slotHex);
    QFETCH(double, millivolts);
    for (int slot : {0, 7, 15}) {
        QCOMPARE(slot_millivolts(frame_text_with_slot(slot, slotHex), slot), millivolts);
    }
}

void ProtocolTest::nanAndInfinityPatternsPassThrough()
{
    QVERIFY(std::isnan(slot_millivolts(frame_text_with_slot(3, "0000C07F"), 3)));
    QCOMPARE(slot_millivolts(frame_text_with_slot(3, "0000807F"), 3),
             std::numeric_limits<double>::infinity());
    QCOMPARE(slot_millivolts(frame_text_with_slot(3, "000080FF"), 3),
             -std::numeric_limits<double>::infinity());
}

void ProtocolTest::everySlotIsReadFromItsOwnCharacters()
{
    QByteArray text = "FF81";
    for (int slot = 0; slot < frameSlotCount; ++slot) {
        const float volts = float(slot + 1) / 8.0f; // exact in binary
        text += QByteArray(reinterpret_cast<const char *>(&volts), 4).toHex().toUpper();
    }
    text += "FFFFFFFF0D0A";
    QCOMPARE(text.size(), frameTextSize);
    for (int slot = 0; slot < frameSlotCount; ++slot) {
        QCOMPARE(slot_millivolts(text, slot), (slot + 1) * 125.0);
    }
}

void ProtocolTest::slotBeyondTheTextIsNotANumber()
{
    QVERIFY(std::isnan(slot_millivolts(QByteArray("FF810000803F"), 1)));
    QVERIFY(std::isnan(slot_millivolts(frame_text_with_slot(0, "0000803F"), -1)));
    QVERIFY(std::isnan(slot_millivolts(QByteArray(), 0)));
}

void ProtocolTest::statusReplyGivesBatteryAndModule_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("battery");
    QTest::addColumn<int>("module");

    const auto present = int(StatusReply::Module::Present);
    const auto absent = int(StatusReply::Module::Absent);
    const auto unknown = int(StatusReply::Module::Unknown);
    const QByteArray rest(136, '0');

    QTest::newRow("75 %, module fitted") << "FF854B11" + rest << true << 75 << present;
    QTest::newRow("100 %, no module") << "FF856422" + rest << true << 100 << absent;
    QTest::newRow("other module code") << "FF853233" + rest << true << 50 << unknown;
    QTest::newRow("no reply") << QByteArray() << false << 0 << unknown;
    QTest::newRow("a data frame") << "FF814B11" + rest << false << 0 << unknown;
    QTest::newRow("status frame after other bytes")
        << "0D0AFF851E11" + rest << true << 30 << present;
    QTest::newRow("cut after the type") << QByteArray("00FF85") << true << 0 << unknown;
    QTest::newRow("cut inside the battery") << QByteArray("FF854") << true << 4 << unknown;
    QTest::newRow("cut inside the module") << QByteArray("FF854B1") << true << 75 << unknown;
    // "0F F8 5x" holds the characters FF85 across byte boundaries only.
    QTest::newRow("marker across bytes") << "0FF8514B22" + rest << false << 0 << unknown;
}

void ProtocolTest::statusReplyGivesBatteryAndModule()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(int, battery);
    QFETCH(int, module);

    const StatusReply status = StatusReply::parse(reply);
    QCOMPARE(status.is_valid(), valid);
    QCOMPARE(status.battery_percent(), battery);
    QCOMPARE(int(status.module()), module);
}

// Millivolts rounded to 0.1 mV in single precision, halves away from zero, as the
// library's roundf does it.
static double reference_millivolts(quint32 bits)
{
    float volts = 0.0f;
    std::memcpy(&volts, &bits, sizeof volts);
    return double(std::roundf(volts * 1000.0f * 10.0f) / 10.0f);
}

static bool same_double(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

static QByteArray slot_hex(quint32 bits)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = char((bits >> (8 * i)) & 0xFF);
    }
    return bytes.toHex().toUpper();
}

void ProtocolTest::slotRoundingAgreesWithRoundfOnEveryKindOfValue()
{
    QList<quint32> patterns;
    // Values whose tenth of a millivolt lies on or next to a half, both signs, zeros.
    for (int k = -2000; k <= 2000; ++k) {
        for (const float volts : {(float(k) + 0.5f) / 10000.0f, float(k) / 20000.0f}) {
            for (const int ulps : {-1, 0, 1}) {
                quint32 bits = 0;
                std::memcpy(&bits, &volts, sizeof bits);
                patterns.append(bits + quint32(ulps));
            }
        }
    }
    patterns << 0x80000000u << 0x7F800000u << 0xFF800000u << 0x7FC00000u << 0x4B000001u
             << 0xCB7FFFFFu << 0x7F7FFFFFu << 0x00000001u << 0x80000001u;
    QRandomGenerator random(7);
    for (int i = 0; i < 200000; ++i) {
        patterns.append(random.generate());
    }
    for (const quint32 bits : std::as_const(patterns)) {
        const double got = slot_millivolts(frame_text_with_slot(5, slot_hex(bits)), 5);
        QVERIFY2(same_double(got, reference_millivolts(bits)),
                 qPrintable(QStringLiteral("pattern %1: %2 instead of %3")
                                .arg(bits, 8, 16, QLatin1Char('0'))
                                .arg(got)
                                .arg(reference_millivolts(bits))));
    }
}

void ProtocolTest::allSlotsAtOnceEqualSlotBySlot()
{
    QRandomGenerator random(11);
    QByteArray text = "FF81";
    for (int slot = 0; slot < frameSlotCount; ++slot) {
        text += slot_hex(random.generate());
    }
    text += "000000000D0A";
    // Lower-case digits and a text cut inside slot 9 are read as slot by slot.
    for (const QByteArray &frame : {text, text.toLower(), text.left(4 + 8 * 9 + 3)}) {
        double values[frameSlotCount];
        slots_millivolts(frame, frameSlotCount, values);
        for (int slot = 0; slot < frameSlotCount; ++slot) {
            QVERIFY(same_double(values[slot], slot_millivolts(frame, slot)));
        }
    }
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "tst_protocol.moc"
