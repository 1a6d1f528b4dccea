#include "framecutter.h"
#include "frames.h"
#include "framesink.h"
#include "protocol.h"

#include <QtTest>

namespace {

class CollectingSink : public FrameSink
{
public:
    void push_serial(const QByteArray &frameText) override { texts.append(frameText); }
    QList<QByteArray> texts;
};

} // namespace

// Cutting frames out of byte batches fed from memory.
class FrameCutterTest : public QObject
{
    Q_OBJECT

private slots:
    void backToBackFramesComeOutInOrder();
    void junkBeforeAndAfterAFrameIsSkipped();
    void runFramesArePassedOnAndOthersDropped_data();
    void runFramesArePassedOnAndOthersDropped();
    void aStrayStartBeforeAFrameDoesNotHideIt_data();
    void aStrayStartBeforeAFrameDoesNotHideIt();
    void wrongEndBytesAreNotAFrame_data();
    void wrongEndBytesAreNotAFrame();
    void frameSplitAtEveryOffsetArrivesOnce();
    void falseStartHeldBackDoesNotHideTheNextFrame();
    void heldBackBytesStayBelowOneFrame();
    void resetDropsTheUnfinishedTail();
    void longNoisyStreamDeliversEveryFrameOnceInOrder();
};

void FrameCutterTest::backToBackFramesComeOutInOrder()
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    const QByteArray a = frames::make(0x81, 1);
    const QByteArray b = frames::make(0x81, 2);
    const QByteArray c = frames::make(0x81, 3);

    cutter.feed(a + b + c);

    QCOMPARE(sink.texts, (QList<QByteArray>{frames::text(a), frames::text(b), frames::text(c)}));
    QCOMPARE(cutter.pending_bytes(), 0);
}

void FrameCutterTest::junkBeforeAndAfterAFrameIsSkipped()
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    QRandomGenerator random(7);
    const QByteArray frame = frames::make(0x82, 4);

    cutter.feed(frames::junk(random, 50) + frame + frames::junk(random, 300));

    QCOMPARE(sink.texts, QList<QByteArray>{frames::text(frame)});
    QCOMPARE(cutter.pending_bytes(), 0);
}

void FrameCutterTest::runFramesArePassedOnAndOthersDropped_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("passedOn");
    QTest::newRow("0x81 data") << 0x81 << true;
    QTest::newRow("0x82 data") << 0x82 << true;
    QTest::newRow("0x83 stop reply") << 0x83 << true;
    QTest::newRow("0xF0 run over") << 0xF0 << true;
    QTest::newRow("0x85 status reply") << 0x85 << false;
    QTest::newRow("0x00 unknown") << 0x00 << false;
    QTest::newRow("0x84 unknown") << 0x84 << false;
    QTest::newRow("0xFF unknown") << 0xFF << false;
}

void FrameCutterTest::runFramesArePassedOnAndOthersDropped()
{
    QFETCH(int, type);
    QFETCH(bool, passedOn);
    CollectingSink sink;
    FrameCutter cutter(&sink);
    const QByteArray frame = frames::make(quint8(type), 5);
    const QByteArray after = frames::make(0x81, 6);

    cutter.feed(frame + after);

    QList<QByteArray> expected;
    if (passedOn) {
        expected.append(frames::text(frame));
    }
    expected.append(frames::text(after));
    QCOMPARE(sink.texts, expected);
}

void FrameCutterTest::aStrayStartBeforeAFrameDoesNotHideIt_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("low half F") << QByteArray::fromHex("1F");
    QTest::newRow("two low halves F") << QByteArray::fromHex("0F1F");
    QTest::newRow("start byte") << QByteArray::fromHex("FF");
    QTest::newRow("two start bytes") << QByteArray::fromHex("FFFF");
    QTest::newRow("start byte and end bytes") << QByteArray::fromHex("FF0D0A");
}

void FrameCutterTest::aStrayStartBeforeAFrameDoesNotHideIt()
{
    QFETCH(QByteArray, prefix);
    CollectingSink sink;
    FrameCutter cutter(&sink);
    const QByteArray frame = frames::make(0x81, 8);

    cutter.feed(prefix + frame);

    QCOMPARE(sink.texts, QList<QByteArray>{frames::text(frame)});
}

void FrameCutterTest::wrongEndBytesAreNotAFrame_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("0D 0B") << QByteArray::fromHex("0D0B");
    QTest::newRow("0A 0D") << QByteArray::fromHex("0A0D");
    QTest::newRow("00 0A") << QByteArray::fromHex("000A");
}

void FrameCutterTest::wrongEndBytesAreNotAFrame()
{
    QFETCH(QByteArray, end);
    CollectingSink sink;
    FrameCutter cutter(&sink);
    QByteArray bad = frames::make(0x81, 9);
    bad.replace(frameSize - 2, 2, end);
    bad.replace(2, frameSize - 4, QByteArray(frameSize - 4, '\x11')); // no start byte inside
    const QByteArray good = frames::make(0x81, 10);

    cutter.feed(bad + good);

    QCOMPARE(sink.texts, QList<QByteArray>{frames::text(good)});
}

void FrameCutterTest::frameSplitAtEveryOffsetArrivesOnce()
{
    const QByteArray before = frames::make(0x81, 11);
    const QByteArray frame = frames::make(0x82, 12);
    const QByteArray stream = before + frame;
    for (int offset = 0; offset < frameSize; ++offset) {
        CollectingSink sink;
        FrameCutter cutter(&sink);
        const qsizetype cut = frameSize + offset;

        cutter.feed(QByteArrayView(stream).first(cut));
        cutter.feed(QByteArrayView(stream).sliced(cut));

        QCOMPARE(sink.texts, (QList<QByteArray>{frames::text(before), frames::text(frame)}));
        QCOMPARE(cutter.pending_bytes(), 0);
    }
}

void FrameCutterTest::falseStartHeldBackDoesNotHideTheNextFrame()
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    const QByteArray frame = frames::make(0x81, 16);

    cutter.feed(QByteArray::fromHex("00FF1234"));
    QCOMPARE(cutter.pending_bytes(), 3);
    cutter.feed(frame);

    QCOMPARE(sink.texts, QList<QByteArray>{frames::text(frame)});
    QCOMPARE(cutter.pending_bytes(), 0);
}

void FrameCutterTest::heldBackBytesStayBelowOneFrame()
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    QRandomGenerator random(17);

    cutter.feed(frames::junk(random, 500));
    QCOMPARE(cutter.pending_bytes(), 0);

    // A start byte every 50 bytes: at most the last 71 bytes can still become a frame.
    QByteArray starts = frames::junk(random, 1000);
    for (int i = 0; i < starts.size(); i += 50) {
        starts[i] = packetStart;
    }
    cutter.feed(starts);
    QVERIFY(cutter.pending_bytes() < frameSize);

    const QByteArray frame = frames::make(0x81, 18);
    cutter.feed(frame.first(frameSize - 1));
    QVERIFY(cutter.pending_bytes() < frameSize);
    QVERIFY(sink.texts.isEmpty());
}

void FrameCutterTest::resetDropsTheUnfinishedTail()
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    QByteArray frame = frames::make(0x81, 19);
    frame.replace(2, frameSize - 4, QByteArray(frameSize - 4, '\x22')); // no start byte inside
    const QByteArray next = frames::make(0x82, 20);

    cutter.feed(frame.first(40));
    QCOMPARE(cutter.pending_bytes(), 40);
    cutter.reset();
    QCOMPARE(cutter.pending_bytes(), 0);
    cutter.feed(frame.sliced(40) + next);

    QCOMPARE(sink.texts, QList<QByteArray>{frames::text(next)});
}

void FrameCutterTest::longNoisyStreamDeliversEveryFrameOnceInOrder()
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    QRandomGenerator random(21);
    QByteArray stream;
    QList<QByteArray> expected;
    for (quint32 i = 0; i < 20000; ++i) {
        const int noise = random.bounded(4);
        if (noise == 1) {
            stream += frames::junk(random, random.bounded(1, 200));
        } else if (noise == 2) {
            stream += QByteArray::fromHex("1FFF"); // stray start right before the frame
        } else if (noise == 3) {
            stream += frames::make(0x85, i); // a status reply in the middle of a run
        }
        const quint8 type = (i % 2 == 0) ? 0x81 : 0x82;
        const QByteArray frame = frames::make(type, 100000 + i);
        stream += frame;
        expected.append(frames::text(frame));
    }

    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype length = qMin<qsizetype>(random.bounded(1, 5000), stream.size() - at);
        cutter.feed(QByteArrayView(stream).sliced(at, length));
        at += length;
    }

    QCOMPARE(sink.texts.size(), expected.size());
    QCOMPARE(sink.texts, expected);
}

QTEST_GUILESS_MAIN(FrameCutterTest)
#include "tst_framecutter.moc"
