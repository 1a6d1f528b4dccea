#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "voltageplot.h"

#include <QtTest>

#include <memory>

namespace {

// Counts the "load_sql_data" lines the plot writes each time it launches a load.
class LoadCounter
{
public:
    LoadCounter()
    {
        launches_ = 0;
        previous_ = qInstallMessageHandler(&LoadCounter::handle);
    }
    ~LoadCounter() { qInstallMessageHandler(previous_); }
    LoadCounter(const LoadCounter &) = delete;
    LoadCounter &operator=(const LoadCounter &) = delete;

    int launches() const { return launches_; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message == QLatin1String("load_sql_data"))
            ++launches_;
        else if (previous_)
            previous_(type, context, message);
    }

    static inline std::atomic<int> launches_{0};
    static inline QtMessageHandler previous_ = nullptr;
};

QList<double> keys_of(const QCPGraph *graph)
{
    QList<double> keys;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        keys.append(it->key);
    return keys;
}

// Times from first to last (inclusive) in half-second steps.
QList<double> half_seconds(double first, double last)
{
    QList<double> times;
    for (double t = first; t <= last; t += 0.5)
        times.append(t);
    return times;
}

} // namespace

// Browsing a recorded run: the time range that comes into view is read back
// from the run's table in a real database file.
class TestVoltagePlotBrowse : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void zoomOutReadsOnlyWhatIsMissing_data();
    void zoomOutReadsOnlyWhatIsMissing();
    void zoomOutFromTwentyToThirtyFiveFillsTheGraphsOnce();
    void historyReachesHiddenChannels();
    void rangeChangesWithinTheRateLimitStartOneLoad();
    void verticalZoomStartsNoLoad();
    void nothingLoadsBeforeTheRunHasSamples();
    void historyOfAPreviousRunIsNotAddedToANewOne();
    void destroyingThePlotDuringALoadIsSafe();

private:
    // A run table with one row every half second from 0 to 40 s, value 10 x time
    // (plus the channel index in multi-channel tables).
    void create_run(bool singleChannel, double lastTime = 40.0);
    // Browse mode over 20..25 s after a run whose last sample was at 40 s.
    void browse_from_twenty_to_twenty_five(bool singleChannel);

    std::unique_ptr<ScopedWorkDir> workDir;
    std::unique_ptr<SampleDatabase> database;
    std::unique_ptr<VoltagePlot> plot;
};

void TestVoltagePlotBrowse::init()
{
    workDir = std::make_unique<ScopedWorkDir>();
    database = std::make_unique<SampleDatabase>();
    QVERIFY(database->open_database());
    plot = std::make_unique<VoltagePlot>(database.get());
}

void TestVoltagePlotBrowse::cleanup()
{
    plot.reset();
    database.reset();
    workDir.reset();
}

void TestVoltagePlotBrowse::create_run(bool singleChannel, double lastTime)
{
    QVERIFY(database->create_table("dataSample_20240105_14_03_59", singleChannel));
    QList<SampleRow> rows;
    for (double t : half_seconds(0, lastTime)) {
        SampleRow row{t};
        for (int i = 0; i < (singleChannel ? 1 : 16); ++i)
            row.append(10 * t + i);
        rows.append(row);
    }
    database->insert_samples(rows);
}

void TestVoltagePlotBrowse::browse_from_twenty_to_twenty_five(bool singleChannel)
{
    create_run(singleChannel);
    plot->setup_graphs(singleChannel);
    plot->set_browse_mode(false);
    // The live side has seen the run's last sample, so the operator may browse.
    if (singleChannel)
        plot->append_sample(40, 400);
    else
        plot->append_samples(40, QList<double>(16, 400));
    plot->xAxis->setRange(20, 25);
    plot->set_browse_mode(true);
    QCOMPARE(plot->loaded_range(), QCPRange(20, 25));
}

void TestVoltagePlotBrowse::zoomOutReadsOnlyWhatIsMissing_data()
{
    QTest::addColumn<QCPRange>("loaded");
    QTest::addColumn<QCPRange>("wanted");
    QTest::addColumn<QList<QCPRange>>("queries");

    QTest::newRow("zoom out: above first, then below")
        << QCPRange(20, 25) << QCPRange(10, 35)
        << QList<QCPRange>{QCPRange(25, 35), QCPRange(10, 20)};
    QTest::newRow("pan right") << QCPRange(20, 25) << QCPRange(22, 27)
                               << QList<QCPRange>{QCPRange(25, 27)};
    QTest::newRow("pan left") << QCPRange(20, 25) << QCPRange(18, 23)
                              << QList<QCPRange>{QCPRange(18, 20)};
    QTest::newRow("zoom in") << QCPRange(20, 25) << QCPRange(21, 24) << QList<QCPRange>{};
    // A jump past the loaded range reads the gap as well.
    QTest::newRow("jump right") << QCPRange(20, 25) << QCPRange(30, 35)
                                << QList<QCPRange>{QCPRange(25, 35)};
}

void TestVoltagePlotBrowse::zoomOutReadsOnlyWhatIsMissing()
{
    QFETCH(QCPRange, loaded);
    QFETCH(QCPRange, wanted);
    QFETCH(QList<QCPRange>, queries);

    QCOMPARE(VoltagePlot::ranges_to_load(loaded.lower, loaded.upper, wanted.lower, wanted.upper),
             queries);
}

void TestVoltagePlotBrowse::zoomOutFromTwentyToThirtyFiveFillsTheGraphsOnce()
{
    browse_from_twenty_to_twenty_five(true);
    LoadCounter counter;

    plot->xAxis->setRange(10, 35);
    QCOMPARE(counter.launches(), 1);
    QCOMPARE(plot->loaded_range(), QCPRange(10, 35));

    // Both ends of each query are included; nothing between 20 and 25 is read
    // again, and the live point at 40 s stays.
    const QList<double> expected = half_seconds(10, 20) + half_seconds(25, 35) + QList<double>{40};
    QTRY_COMPARE_WITH_TIMEOUT(keys_of(plot->graph(0)), expected, 10000);
    for (auto it = plot->graph(0)->data()->constBegin(); it != plot->graph(0)->data()->constEnd();
         ++it)
        QCOMPARE(it->value, 10 * it->key);
    QCOMPARE(plot->xAxis->range(), QCPRange(10, 35));
}

void TestVoltagePlotBrowse::historyReachesHiddenChannels()
{
    browse_from_twenty_to_twenty_five(false);
    plot->set_channel_visible(6, false);

    plot->xAxis->setRange(20, 30);
    const QList<double> expected = half_seconds(25, 30) + QList<double>{40};
    for (int i = 0; i < 16; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(keys_of(plot->graph(i)), expected, 10000);
        QCOMPARE(plot->graph(i)->data()->constBegin()->value, 250.0 + i);
    }
}

void TestVoltagePlotBrowse::rangeChangesWithinTheRateLimitStartOneLoad()
{
    browse_from_twenty_to_twenty_five(true);
    LoadCounter counter;

    plot->xAxis->setRange(20, 30);
    QVERIFY(plot->is_load_rate_limited());
    plot->xAxis->setRange(20, 35);
    QCOMPARE(counter.launches(), 1);
    QCOMPARE(plot->loaded_range(), QCPRange(20, 30));
    QTRY_COMPARE_WITH_TIMEOUT(keys_of(plot->graph(0)), half_seconds(25, 30) + QList<double>{40},
                              10000);

    // The skipped change is not made up for when the limit runs out (a load
    // launched then would restart the limit)...
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_load_rate_limited(), 10000);
    QCOMPARE(counter.launches(), 1);
    QCOMPARE(plot->loaded_range(), QCPRange(20, 30));

    // ...but the next change after it loads again. Both queries include 30 s,
    // so that row is there twice.
    plot->xAxis->setRange(20, 36);
    QCOMPARE(counter.launches(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(keys_of(plot->graph(0)),
                              half_seconds(25, 30) + half_seconds(30, 36) + QList<double>{40},
                              10000);
}

void TestVoltagePlotBrowse::verticalZoomStartsNoLoad()
{
    browse_from_twenty_to_twenty_five(true);
    LoadCounter counter;

    plot->yAxis->setRange(-1000, 1000);
    plot->yAxis->scaleRange(0.5);
    QCOMPARE(counter.launches(), 0);
    QCOMPARE(plot->loaded_range(), QCPRange(20, 25));
    QCOMPARE(plot->graph(0)->dataCount(), 1);
}

void TestVoltagePlotBrowse::nothingLoadsBeforeTheRunHasSamples()
{
    create_run(true);
    plot->setup_graphs(true);
    plot->set_browse_mode(true);
    LoadCounter counter;

    plot->xAxis->setRange(0, 40);
    QCOMPARE(counter.launches(), 0);
    QCOMPARE(plot->loaded_range(), QCPRange(0, 5));
    QCOMPARE(plot->graph(0)->dataCount(), 0);
}

void TestVoltagePlotBrowse::historyOfAPreviousRunIsNotAddedToANewOne()
{
    browse_from_twenty_to_twenty_five(true);
    plot->xAxis->setRange(10, 35);
    // The next run is set up before that load's rows reach the GUI thread.
    plot->setup_graphs(true);
    plot->append_sample(40, 400);

    // Loads run in order, so once a load of the new run has delivered its
    // rows, the old one's have been handled too.
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_load_rate_limited(), 10000);
    plot->xAxis->setRange(0, 6);
    QTRY_VERIFY_WITH_TIMEOUT(!plot->graph(0)->data()->isEmpty(), 10000);
    QCOMPARE(keys_of(plot->graph(0)), half_seconds(0, 10));
}

void TestVoltagePlotBrowse::destroyingThePlotDuringALoadIsSafe()
{
    browse_from_twenty_to_twenty_five(false);
    plot->xAxis->setRange(-1000, 1000);
    plot.reset(); // waits for the running load; its rows are dropped
    QVERIFY(database->table_exists("dataSample_20240105_14_03_59"));
}

QTEST_MAIN(TestVoltagePlotBrowse)
#include "tst_voltageplotbrowse.moc"
