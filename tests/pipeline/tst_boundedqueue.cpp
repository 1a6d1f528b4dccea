#include "boundedqueue.h"
#include "samplerow.h"

#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Counts constructions and destructions, and notices an object destroyed twice
// or used after destruction.
class Counted
{
public:
    static inline std::atomic<int> live{0};
    static inline std::atomic<int> misuse{0};

    explicit Counted(int value = 0) noexcept
        : value_(value)
    {
        live.fetch_add(1);
    }
    Counted(const Counted &other) noexcept
        : value_(other.checked_value())
    {
        live.fetch_add(1);
    }
    Counted(Counted &&other) noexcept
        : value_(other.checked_value())
    {
        live.fetch_add(1);
    }
    Counted &operator=(const Counted &other) noexcept
    {
        value_ = other.checked_value();
        return *this;
    }
    Counted &operator=(Counted &&other) noexcept
    {
        value_ = other.checked_value();
        return *this;
    }
    ~Counted()
    {
        if (alive_ != aliveMark) {
            misuse.fetch_add(1);
        }
        alive_ = 0;
        live.fetch_sub(1);
    }

    int value() const { return checked_value(); }

private:
    static constexpr quint32 aliveMark = 0xA11CE5;

    int checked_value() const
    {
        if (alive_ != aliveMark) {
            misuse.fetch_add(1);
        }
        return value_;
    }

    quint32 alive_ = aliveMark;
    int value_ = 0;
};

} // namespace

// The lock-free bounded queue on its own.
class BoundedQueueTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void capacityIsRoundedUpToAPowerOfTwo_data();
    void capacityIsRoundedUpToAPowerOfTwo();
    void fullQueueRejectsWithoutTakingTheValue();
    void emptyQueueLeavesTheOutputUntouched();
    void elementsComeOutInOrderOverManyLaps();
    void aCellIsReusedOneLapLater();
    void everyElementIsDestroyedExactlyOnce();
    void manyProducersAndConsumersDeliverEveryElementOnce();
};

void BoundedQueueTest::init()
{
    Counted::live = 0;
    Counted::misuse = 0;
}

void BoundedQueueTest::capacityIsRoundedUpToAPowerOfTwo_data()
{
    QTest::addColumn<qulonglong>("requested");
    QTest::addColumn<qulonglong>("capacity");
    QTest::newRow("0") << 0ULL << 1ULL;
    QTest::newRow("1") << 1ULL << 1ULL;
    QTest::newRow("2") << 2ULL << 2ULL;
    QTest::newRow("3") << 3ULL << 4ULL;
    QTest::newRow("4096") << 4096ULL << 4096ULL;
    QTest::newRow("4097") << 4097ULL << 8192ULL;
    QTest::newRow("5000") << 5000ULL << 8192ULL;
}

void BoundedQueueTest::capacityIsRoundedUpToAPowerOfTwo()
{
    QFETCH(qulonglong, requested);
    QFETCH(qulonglong, capacity);
    BoundedQueue<int> queue(requested);
    QCOMPARE(qulonglong(queue.capacity()), capacity);

    // The capacity is real: exactly that many values fit.
    for (qulonglong i = 0; i < capacity; ++i) {
        QVERIFY(queue.try_push(int(i)));
    }
    QVERIFY(!queue.try_push(-1));
    QCOMPARE(qulonglong(queue.size()), capacity);
}

void BoundedQueueTest::fullQueueRejectsWithoutTakingTheValue()
{
    BoundedQueue<QByteArray> queue(3);
    for (int i = 0; i < 4; ++i) {
        QVERIFY(queue.try_push(QByteArray::number(i)));
    }
    QByteArray extra("not stored");
    QVERIFY(!queue.try_push(std::move(extra)));
    QCOMPARE(extra, QByteArray("not stored"));
    QCOMPARE(queue.size(), std::size_t(4));

    QByteArray out;
    QVERIFY(queue.try_pop(out));
    QCOMPARE(out, QByteArray("0"));
    QVERIFY(queue.try_push(std::move(extra)));
}

void BoundedQueueTest::emptyQueueLeavesTheOutputUntouched()
{
    BoundedQueue<SampleRow> queue(4);
    SampleRow out{1.0, 2.0};
    QVERIFY(!queue.try_pop(out));
    QCOMPARE(out, (SampleRow{1.0, 2.0}));

    QVERIFY(queue.try_push(SampleRow{3.0}));
    QVERIFY(queue.try_pop(out));
    QCOMPARE(out, SampleRow{3.0});
    QVERIFY(!queue.try_pop(out));
    QCOMPARE(out, SampleRow{3.0});
    QCOMPARE(queue.size(), std::size_t(0));
}

void BoundedQueueTest::elementsComeOutInOrderOverManyLaps()
{
    BoundedQueue<int> queue(8);
    int next = 0;
    int expected = 0;
    // Uneven bursts keep the two positions at every distance from each other.
    for (int round = 0; round < 500; ++round) {
        const int pushes = round % 9;
        for (int i = 0; i < pushes && queue.try_push(next); ++i) {
            ++next;
        }
        const int pops = (round * 7) % 9;
        int out = -1;
        for (int i = 0; i < pops && queue.try_pop(out); ++i) {
            QCOMPARE(out, expected);
            ++expected;
        }
        QCOMPARE(int(queue.size()), next - expected);
    }
    QVERIFY(next > 8 * 50);
}

void BoundedQueueTest::aCellIsReusedOneLapLater()
{
    BoundedQueue<QByteArray> queue(4096);
    QCOMPARE(queue.write_turn(0), quint64(0));
    QCOMPARE(queue.read_turn(0), ~quint64(0));

    QByteArray out;
    for (int i = 0; i < 4096; ++i) {
        QVERIFY(queue.try_push(QByteArray::number(i)));
    }
    QCOMPARE(queue.read_turn(0), quint64(0));
    for (int i = 0; i < 4096; ++i) {
        QVERIFY(queue.try_pop(out));
    }
    QCOMPARE(queue.write_turn(0), quint64(4096));

    QVERIFY(queue.try_push(QByteArray("second lap")));
    QCOMPARE(queue.read_turn(4096), quint64(4096));
    QCOMPARE(queue.write_turn(1), quint64(4097));
    QVERIFY(queue.try_pop(out));
    QCOMPARE(out, QByteArray("second lap"));
    QCOMPARE(queue.write_turn(0), quint64(8192));
}

void BoundedQueueTest::everyElementIsDestroyedExactlyOnce()
{
    {
        BoundedQueue<Counted> queue(8);
        for (int i = 0; i < 8; ++i) {
            QVERIFY(queue.try_push(Counted(i)));
        }
        const Counted rejected(99);
        QVERIFY(!queue.try_push(rejected));
        QCOMPARE(Counted::live.load(), 9);

        Counted out;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(queue.try_pop(out));
            QCOMPARE(out.value(), i);
        }
        QCOMPARE(Counted::live.load(), 7); // five stored, the output and the rejected one
        for (int i = 8; i < 11; ++i) {
            QVERIFY(queue.try_push(Counted(i))); // cells of the first lap again
        }
        QCOMPARE(Counted::live.load(), 10);
    }
    QCOMPARE(Counted::live.load(), 0);
    QCOMPARE(Counted::misuse.load(), 0);
}

void BoundedQueueTest::manyProducersAndConsumersDeliverEveryElementOnce()
{
    constexpr int producers = 3;
    constexpr int consumers = 3;
    constexpr int perProducer = 100000;
    // Small, so producers often find it full and consumers often find it empty.
    BoundedQueue<SampleRow> queue(64);
    std::atomic<int> delivered{0};
    std::vector<std::vector<SampleRow>> received(consumers);
    std::vector<std::thread> threads;

    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&queue, p] {
            for (int i = 0; i < perProducer; ++i) {
                SampleRow row{double(p), double(i)};
                while (!queue.try_push(std::move(row))) {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (int c = 0; c < consumers; ++c) {
        threads.emplace_back([&queue, &delivered, &mine = received[c]] {
            SampleRow row;
            while (delivered.load() < producers * perProducer) {
                if (queue.try_pop(row)) {
                    mine.push_back(std::move(row));
                    delivered.fetch_add(1);
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }

    std::vector<std::vector<int>> seen(producers, std::vector<int>(perProducer, 0));
    for (const std::vector<SampleRow> &rows : received) {
        std::vector<int> last(producers, -1);
        for (const SampleRow &row : rows) {
            QCOMPARE(row.size(), 2);
            const int p = int(row[0]);
            const int i = int(row[1]);
            // One consumer sees each producer's elements in the order pushed.
            QVERIFY2(i > last[p], "elements of one producer overtook each other");
            last[p] = i;
            ++seen[p][i];
        }
    }
    for (int p = 0; p < producers; ++p) {
        for (int i = 0; i < perProducer; ++i) {
            QVERIFY2(seen[p][i] == 1,
                     qPrintable(QStringLiteral("producer %1 element %2 seen %3 times")
                                    .arg(p)
                                    .arg(i)
                                    .arg(seen[p][i])));
        }
    }
    QCOMPARE(queue.size(), std::size_t(0));
}

QTEST_GUILESS_MAIN(BoundedQueueTest)
#include "tst_boundedqueue.moc"
