#include "dataqueues.h"
#include "datasavedisplay.h"
#include "envcount.h"
#include "historyload.h"
#include "residentmemory.h"
#include "runenvelope.h"
#include "runtablesink.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "sqlrows.h"
#include "voltageplot.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#ifndef TELVANE_LONG_RUN_ROWS
#define TELVANE_LONG_RUN_ROWS 5000000
#endif

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

double max_value(const QCPGraph *graph)
{
    double top = -1e300;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        top = std::max(top, it->value);
    return top;
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
    void aQuickSecondMoveIsLoadedWhenTheRateLimitEnds();
    void rowsPastAThousandSecondsAtLoadSeamsLoadOnce();
    void longRunZoomedOutShowsAnEnvelopeOfBoundedSize_data();
    void longRunZoomedOutShowsAnEnvelopeOfBoundedSize();
    void verticalZoomStartsNoLoad();
    void nothingLoadsBeforeTheRunHasSamples();
    void historyOfAPreviousRunIsNotAddedToANewOne();
    void destroyingThePlotDuringALoadIsSafe();
    void draggingACursorMovesItWithoutPanningTheView();
    void cursorsAreDrawnOverEveryChannel();
    void aStoredRunOpensFittedAndTheWheelZoomsTimeWithinIt_data();
    void aStoredRunOpensFittedAndTheWheelZoomsTimeWithinIt();

private:
    // A run table with one row every half second from 0 to 40 s, value 10 x time
    // (plus the channel index in multi-channel tables).
    void create_run(bool singleChannel, double lastTime = 40.0);
    // Browse mode over 20..25 s after a run whose last sample was at 40 s.
    void browse_from_twenty_to_twenty_five(bool singleChannel);
    // Browse mode over the given range after a single-channel run that ended at lastTime.
    void browse_after_run(double lastTime, QCPRange view);

    std::unique_ptr<ScopedWorkDir> workDir;
    std::unique_ptr<SampleDatabase> database;
    std::unique_ptr<VoltagePlot> plot;
};

void TestVoltagePlotBrowse::init()
{
    workDir = std::make_unique<ScopedWorkDir>();
    database = std::make_unique<SampleDatabase>();
    QVERIFY(database->open_database().ok());
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
    QVERIFY(database->create_table("dataSample_20240105_14_03_59", singleChannel).ok());
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

void TestVoltagePlotBrowse::browse_after_run(double lastTime, QCPRange view)
{
    plot->setup_graphs(true);
    plot->set_browse_mode(false);
    plot->append_sample(lastTime, 0);
    plot->xAxis->setRange(view);
    plot->set_browse_mode(true);
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

    QCOMPARE(history_load::ranges_to_load(loaded.lower, loaded.upper, wanted.lower, wanted.upper),
             queries);
}

void TestVoltagePlotBrowse::zoomOutFromTwentyToThirtyFiveFillsTheGraphsOnce()
{
    browse_from_twenty_to_twenty_five(true);
    LoadCounter counter;
    QSignalSpy loaded(plot.get(), &VoltagePlot::history_loaded);

    plot->xAxis->setRange(10, 35);
    QCOMPARE(counter.launches(), 1);
    QCOMPARE(plot->loaded_range(), QCPRange(10, 35));

    // Nothing from 20 to 25, ends included, is read again, and the live point at
    // 40 s stays; all of it is in the graphs when the plot says the load is in.
    const QList<double> expected =
        half_seconds(10, 19.5) + half_seconds(25.5, 35) + QList<double>{40};
    QVERIFY(loaded.wait(10000));
    QCOMPARE(keys_of(plot->graph(0)), expected);
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
    const QList<double> expected = half_seconds(25.5, 30) + QList<double>{40};
    for (int i = 0; i < 16; ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(keys_of(plot->graph(i)), expected, 10000);
        QCOMPARE(plot->graph(i)->data()->constBegin()->value, 255.0 + i);
    }
}

void TestVoltagePlotBrowse::aQuickSecondMoveIsLoadedWhenTheRateLimitEnds()
{
    create_run(true);
    browse_after_run(40, QCPRange(35, 40));
    LoadCounter counter;

    // The end of a quick drag: the second move comes within the rate limit of the first.
    plot->xAxis->setRange(6, 11);
    QVERIFY(plot->is_load_rate_limited());
    plot->xAxis->setRange(0.5, 5.5);
    QCOMPARE(counter.launches(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(keys_of(plot->graph(0)).mid(0, 11) == half_seconds(0.5, 5.5), 30000);
    QCOMPARE(counter.launches(), 2);
    QCOMPARE(plot->loaded_range(), QCPRange(0.5, 40));
    // Each row once: the second load joins the first without overlap.
    QCOMPARE(keys_of(plot->graph(0)), half_seconds(0.5, 34.5) + QList<double>{40});
}

void TestVoltagePlotBrowse::rowsPastAThousandSecondsAtLoadSeamsLoadOnce()
{
    // A row every millisecond from 1234 to 1240 s.
    QVERIFY(database->create_table("dataSample_20240105_14_03_59", true).ok());
    QList<SampleRow> rows;
    for (int i = 0; i <= 6000; ++i)
        rows.append(SampleRow{1234 + i / 1000.0, double(i)});
    QCOMPARE(database->insert_samples(rows).rows, 6001);
    // Bounds with more than six significant digits, so that each load has a seam there.
    const QList<QCPRange> views = {QCPRange(1236.0004567, 1236.5),
                                   QCPRange(1235.7654321, 1236.9876543),
                                   QCPRange(1235.5432109, 1237.2345678)};
    browse_after_run(1240, views.at(0));
    for (const QCPRange &view : views.mid(1)) {
        plot->xAxis->setRange(view);
        QTRY_VERIFY_WITH_TIMEOUT(
            !plot->is_load_rate_limited() && !plot->graph(0)->data()->isEmpty() &&
                plot->graph(0)->data()->constBegin()->key <= view.lower + 0.001,
            30000);
    }
    QVERIFY(!plot->shows_envelope());

    QList<double> expected;
    for (const SampleRow &row : rows) {
        const double t = row.at(0);
        if ((t >= views.last().lower && t < views.first().lower) ||
            (t > views.first().upper && t <= views.last().upper))
            expected.append(t);
    }
    expected.append(1240); // the live sample
    QTRY_COMPARE_WITH_TIMEOUT(keys_of(plot->graph(0)), expected, 30000);
}

void TestVoltagePlotBrowse::longRunZoomedOutShowsAnEnvelopeOfBoundedSize_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("withEnvelope");
    // Sanitizer builds run fewer rows (see tests/plot/CMakeLists.txt).
    const int longRun = env_count("TELVANE_LONG_RUN_ROWS", TELVANE_LONG_RUN_ROWS);
    QTest::newRow("long run") << longRun << true;
    QTest::newRow("table of an older version, no envelope") << std::min(longRun, 500000) << false;
}

// A run stored through the save thread at 5000 samples per second, a one-sample spike in
// its middle, zoomed out to its whole length and back in.
void TestVoltagePlotBrowse::longRunZoomedOutShowsAnEnvelopeOfBoundedSize()
{
    QFETCH(int, rows);
    QFETCH(bool, withEnvelope);
    const QString table = QStringLiteral("dataSample_20240105_14_03_59");
    QVERIFY(database->create_table(table, true).ok());
    constexpr double rate = 5000.0;
    const int spikeAt = rows / 2 + 17;
    {
        DataQueues queues;
        RunTableSink store(database.get(), table);
        DataSaveDisplay saver(&queues, &store);
        saver.start();
        constexpr int chunk = 2048;
        std::vector<double> times(chunk);
        std::vector<double> values(chunk);
        for (int sent = 0; sent < rows;) {
            if (queues.record_count() > chunk) {
                QThread::usleep(200); // the queue drops what it has no room for
                continue;
            }
            const int count = std::min(chunk, rows - sent);
            for (int i = 0; i < count; ++i) {
                const int n = sent + i;
                times[i] = n / rate;
                values[i] = n == spikeAt ? 5000.0 : (n % 1000) * 0.1;
            }
            queues.push_sample_series(times.data(), values.data(), count);
            sent += count;
        }
        queues.push_sample(-1.0, -1.0);
        saver.finish();
        QCOMPARE(saver.committed_count(), rows);
    }
    if (!withEnvelope)
        QVERIFY(
            sql_rows::run(database->connection_handle(),
                          QStringLiteral("DROP TABLE \"%1\"").arg(RunEnvelope::table_name(table))));

    const double lastTime = (rows - 1) / rate;
    browse_after_run(lastTime, QCPRange(lastTime - 5, lastTime));
    const qint64 residentBefore = resident_kib();
    QElapsedTimer shown;
    shown.start();
    plot->xAxis->setRange(0, lastTime);
    QTRY_VERIFY_WITH_TIMEOUT(plot->shows_envelope() && plot->loaded_range().lower <= 0 &&
                                 plot->loaded_range().upper >= lastTime,
                             120000);
    QVERIFY2(plot->graph(0)->dataCount() <= 50000,
             qPrintable(QString::number(plot->graph(0)->dataCount())));
    QVERIFY(plot->graph(0)->dataCount() >= plot->axisRect()->width());
    QCOMPARE(max_value(plot->graph(0)), 5000.0);
    const qint64 grownKib = resident_kib() - residentBefore;
    // For the record only; how long it took is not checked.
    qInfo("%d rows zoomed out: envelope of %d points shown after %lld ms, %lld KiB more resident",
          rows, plot->graph(0)->dataCount(), shown.elapsed(), grownKib);
    QVERIFY2(grownKib < 100 * 1024, qPrintable(QStringLiteral("%1 KiB more").arg(grownKib)));

    // Zoomed in far enough, the graph holds the rows themselves again.
    const double spikeTime = spikeAt / rate;
    plot->xAxis->setRange(spikeTime - 0.0501, spikeTime + 0.0501);
    QTRY_VERIFY_WITH_TIMEOUT(!plot->shows_envelope() && plot->loaded_range().contains(spikeTime),
                             120000);
    const QList<double> keys = keys_of(plot->graph(0));
    QCOMPARE(keys.size(), 501);
    QCOMPARE(keys.first(), (spikeAt - 250) / rate);
    QCOMPARE(max_value(plot->graph(0)), 5000.0);
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
    QSignalSpy loaded(plot.get(), &VoltagePlot::history_loaded);
    plot->xAxis->setRange(10, 35);
    // The next run is set up before that load's rows reach the GUI thread.
    plot->setup_graphs(true);
    plot->append_sample(40, 400);

    // Loads run in order, so once a load of the new run has delivered its
    // rows, the old one's have been handled too.
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_load_rate_limited(), 10000);
    plot->xAxis->setRange(0, 6);
    QTRY_VERIFY_WITH_TIMEOUT(!plot->graph(0)->data()->isEmpty(), 10000);
    QCOMPARE(keys_of(plot->graph(0)), half_seconds(0, 9.5));
    QCOMPARE(loaded.count(), 1); // the dropped load is not reported as loaded
}

void TestVoltagePlotBrowse::destroyingThePlotDuringALoadIsSafe()
{
    browse_from_twenty_to_twenty_five(false);
    plot->xAxis->setRange(-1000, 1000);
    plot.reset(); // waits for the running load; its rows are dropped
    QVERIFY(database->table_exists("dataSample_20240105_14_03_59"));
}

// A press on a cursor drags the cursor, not the view; a press elsewhere pans as before. The
// cursors exist only while browsing.
void TestVoltagePlotBrowse::draggingACursorMovesItWithoutPanningTheView()
{
    plot->resize(800, 600);
    plot->setup_graphs(true);
    PlotCursors *cursors = plot->cursors();
    cursors->place(PlotCursors::A, 4.0);
    QVERIFY(!cursors->time(PlotCursors::A)); // live: no cursors
    plot->set_browse_mode(true);
    plot->xAxis->setRange(0, 10);
    plot->replot();
    const int y = plot->height() / 2;
    const auto at = [&](double time) {
        return QPoint(int(plot->xAxis->coordToPixel(time)), y);
    };
    QTest::mouseClick(plot.get(), Qt::LeftButton, Qt::ShiftModifier, at(4.0));
    QTest::mouseClick(plot.get(), Qt::LeftButton, Qt::ControlModifier, at(6.0));
    QVERIFY(cursors->is_placed());
    QVERIFY(std::abs(*cursors->time(PlotCursors::B) - 6.0) < 0.05);
    cursors->place(PlotCursors::A, 4.0);
    cursors->place(PlotCursors::B, 6.0);

    const QPoint onA(int(plot->xAxis->coordToPixel(4.0)), y);
    const QPoint later(int(plot->xAxis->coordToPixel(5.0)), y);
    QTest::mousePress(plot.get(), Qt::LeftButton, {}, onA);
    QMouseEvent move(QEvent::MouseMove, later, plot->mapToGlobal(later), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(plot.get(), &move);
    QTest::mouseRelease(plot.get(), Qt::LeftButton, {}, later);
    QVERIFY(std::abs(*cursors->time(PlotCursors::A) - 5.0) < 0.05);
    QCOMPARE(plot->xAxis->range(), QCPRange(0, 10));
    QCOMPARE(cursors->from(), *cursors->time(PlotCursors::A));
    QCOMPARE(cursors->to(), 6.0);

    // Elsewhere the press pans the view, and the cursors stay where they are in time.
    const QPoint empty(int(plot->xAxis->coordToPixel(8.0)), y);
    const QPoint left(int(plot->xAxis->coordToPixel(7.0)), y);
    QTest::mousePress(plot.get(), Qt::LeftButton, {}, empty);
    QMouseEvent pan(QEvent::MouseMove, left, plot->mapToGlobal(left), Qt::NoButton, Qt::LeftButton,
                    {});
    QApplication::sendEvent(plot.get(), &pan);
    QTest::mouseRelease(plot.get(), Qt::LeftButton, {}, left);
    QVERIFY(plot->xAxis->range().lower > 0.5);
    QCOMPARE(cursors->to(), 6.0);

    QTest::mouseClick(plot.get(), Qt::RightButton, Qt::ShiftModifier, at(5.0));
    QVERIFY(!cursors->time(PlotCursors::A) && !cursors->time(PlotCursors::B));
    cursors->place(PlotCursors::A, 4.0);
    plot->set_browse_mode(false);
    QVERIFY(!cursors->time(PlotCursors::A));
}

// Sixteen channels' strokes cover much of the plot; the cursors' lines stay visible over them.
void TestVoltagePlotBrowse::cursorsAreDrawnOverEveryChannel()
{
    plot->resize(800, 600);
    plot->setup_graphs(false);
    plot->set_browse_mode(true);
    plot->xAxis->setRange(0, 10);
    plot->yAxis->setRange(-5, 5);
    for (int channel = 0; channel < plot->graphCount(); ++channel)
        plot->graph(channel)->setData({0.0, 10.0}, {0.0, 0.0});
    plot->cursors()->place(PlotCursors::A, 4.0);
    const QImage image = plot->toPixmap().toImage();
    // Where the solid line of A crosses the channels it looks more like itself above them
    // than like the channel beside it (its edges are antialiased over what lies beneath).
    const int x = int(std::lround(plot->xAxis->coordToPixel(4.0)));
    const int y = int(std::lround(plot->yAxis->coordToPixel(0.0)));
    const auto distance = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b));
    };
    const QRgb crossing = image.pixel(x, y);
    QVERIFY2(distance(crossing, image.pixel(x, y - 2)) < distance(crossing, image.pixel(x - 3, y)),
             qPrintable(QColor(crossing).name()));
}

void TestVoltagePlotBrowse::aStoredRunOpensFittedAndTheWheelZoomsTimeWithinIt_data()
{
    QTest::addColumn<bool>("singleChannel");
    QTest::addColumn<double>("amplitude");
    QTest::newRow("16 channels, +-3000 mV") << false << 3000.0;
    QTest::newRow("one channel, +-3000 mV") << true << 3000.0;
    QTest::newRow("one channel, +-0.2 mV") << true << 0.2;
}

// A stored run opens with both axes fitted to it; the wheel zooms the time axis only and never
// past the run, Ctrl+wheel the voltage axis; a double click shows the whole run again.
void TestVoltagePlotBrowse::aStoredRunOpensFittedAndTheWheelZoomsTimeWithinIt()
{
    QFETCH(bool, singleChannel);
    QFETCH(double, amplitude);
    const QString table = QStringLiteral("dataSample_20240105_14_03_59");
    QVERIFY(database->create_table(table, singleChannel).ok());
    QList<SampleRow> rows;
    for (double t : half_seconds(10, 50)) {
        SampleRow row{t};
        for (int i = 0; i < (singleChannel ? 1 : 16); ++i)
            row.append(amplitude * std::sin(t + i));
        rows.append(row);
    }
    QCOMPARE(database->insert_samples(rows).rows, int(rows.size()));
    plot->resize(800, 600);
    plot->show_stored_run(database.get(), table, singleChannel, {}, 10, 50);
    QCOMPARE(plot->xAxis->range(), QCPRange(10, 50));
    const QCPRange fitted = plot->yAxis->range();
    QVERIFY2(fitted.lower < -0.99 * amplitude && fitted.upper > 0.99 * amplitude &&
                 fitted.size() < 4 * amplitude + 2,
             qPrintable(QStringLiteral("%1..%2").arg(fitted.lower).arg(fitted.upper)));
    plot->replot();

    const QPoint middle = plot->axisRect()->rect().center();
    const auto wheel = [&](int notches, Qt::KeyboardModifiers modifiers) {
        for (int n = 0; n < std::abs(notches); ++n) {
            QWheelEvent event(middle, plot->mapToGlobal(middle), QPoint(),
                              QPoint(0, notches > 0 ? 120 : -120), Qt::NoButton, modifiers,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(plot.get(), &event);
        }
    };
    wheel(-10, {});
    QCOMPARE(plot->xAxis->range(), QCPRange(10, 50));
    QCOMPARE(plot->yAxis->range(), fitted);
    wheel(5, {});
    QVERIFY(plot->xAxis->range().size() < 30);
    plot->xAxis->setRange(0, 12);
    QCOMPARE(plot->xAxis->range().lower, 10.0);
    QCOMPARE(plot->yAxis->range(), fitted);
    wheel(3, Qt::ControlModifier);
    QVERIFY(plot->yAxis->range().size() < fitted.size());
    QTest::mouseDClick(plot.get(), Qt::LeftButton, {}, middle);
    QCOMPARE(plot->xAxis->range(), QCPRange(10, 50));
    QCOMPARE(plot->yAxis->range(), fitted);
}

QTEST_MAIN(TestVoltagePlotBrowse)
#include "tst_voltageplotbrowse.moc"
