#include "marklines.h"
#include "voltageplot.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

QList<double> channel_values(double base)
{
    QList<double> values;
    for (int i = 0; i < VoltagePlot::channelCount; ++i)
        values.append(base + i);
    return values;
}

QList<double> keys_of(const QCPGraph *graph)
{
    QList<double> keys;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        keys.append(it->key);
    return keys;
}

} // namespace

// The live side of the plot: scrolling, vertical auto-range, pruning and the
// points handed over by the decoding thread. No database is involved.
class TestVoltagePlotLive : public QObject
{
    Q_OBJECT

private slots:
    void multiChannelGraphsTakeThePaletteAndTheStoredVisibility();
    void verticalRangeKeepsAMarginOfADecade_data();
    void verticalRangeKeepsAMarginOfADecade();
    void verticalRangeHoldsTheWindowsTrueExtremes();
    void viewScrollsAndPrunesOnceTheWindowIsFull_data();
    void viewScrollsAndPrunesOnceTheWindowIsFull();
    void viewPrunesWhileChannelOneIsHidden();
    void liveModeClampsTheTimeAxis_data();
    void liveModeClampsTheTimeAxis();
    void hiddenChannelGetsNoLivePointsAndKeepsItsValue();
    void singleChannelGraphTakesPointsEvenWhenHidden();
    void samplesOfTheWrongModeAreDroppedSafely();
    void appendsFromAnotherThreadWhileTheViewRefreshes();
    void clickOnAPointShowsItsChannelTimeAndValue();
    void tickLabelsReadAsTheirTicks_data();
    void tickLabelsReadAsTheirTicks();
    void refreshRedrawsOnlyWhenThePictureWouldChange();
    void marksWithoutTextAreNumberedInTimeOrderAndGoWithTheRun();
};

void TestVoltagePlotLive::multiChannelGraphsTakeThePaletteAndTheStoredVisibility()
{
    const QList<QColor> expected = {{255, 0, 0},   {0, 255, 0},    {0, 0, 255},    {255, 102, 0},
                                    {255, 0, 255}, {0, 255, 255},  {128, 0, 0},    {0, 128, 0},
                                    {0, 0, 128},   {128, 128, 0},  {128, 0, 128},  {0, 128, 128},
                                    {165, 42, 42}, {210, 105, 30}, {95, 158, 160}, {211, 105, 211}};
    VoltagePlot plot(nullptr);
    QCOMPARE(plot.channel_colors(), expected);

    // Only channel 4 stored as hidden; entries missing from the list count as shown.
    plot.setup_graphs(false, {true, true, true, true, false});
    QCOMPARE(plot.graphCount(), 16);
    for (int i = 0; i < 16; ++i) {
        QCOMPARE(plot.graph(i)->pen().color(), expected.at(i));
        QCOMPARE(plot.graph(i)->visible(), i != 4);
    }

    plot.setup_graphs(true, {false});
    QCOMPARE(plot.graphCount(), 1);
    QCOMPARE(plot.graph(0)->pen().color(), expected.at(0));
    QVERIFY(plot.graph(0)->visible());
}

void TestVoltagePlotLive::verticalRangeKeepsAMarginOfADecade_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");

    QTest::newRow("no samples") << QList<double>{} << -6.0 << 6.0;
    QTest::newRow("25 and 0") << QList<double>{0, 25} << -10.0 << 35.0;
    QTest::newRow("250 and 0") << QList<double>{250, 0} << -100.0 << 350.0;
    QTest::newRow("narrow negative span") << QList<double>{-3, -7} << -8.0 << -2.0;
    QTest::newRow("span of exactly ten") << QList<double>{10, 0} << -1.0 << 11.0;
}

void TestVoltagePlotLive::verticalRangeKeepsAMarginOfADecade()
{
    QFETCH(QList<double>, values);
    QFETCH(double, lower);
    QFETCH(double, upper);

    VoltagePlot plot(nullptr);
    plot.setup_graphs(true);
    double time = 0.0;
    for (double value : values)
        plot.append_sample(time += 0.1, value);
    plot.refresh_view();

    QCOMPARE(plot.yAxis->range().lower, lower);
    QCOMPARE(plot.yAxis->range().upper, upper);
    QCOMPARE(plot.xAxis->range().lower, 0.0);
    QCOMPARE(plot.xAxis->range().upper, 5.0);
}

// A random walk drifts, turns and stalls; after every sample the extremes must equal those
// of a scan over the samples the view shows (lastTime - 5 s .. lastTime), and the vertical
// range must hold them.
void TestVoltagePlotLive::verticalRangeHoldsTheWindowsTrueExtremes()
{
    VoltagePlot plot(nullptr);
    plot.setup_graphs(false);
    plot.set_browse_mode(false);
    QVERIFY(!plot.window_maximum().has_value());

    QRandomGenerator random(15);
    QList<VoltagePlot::Extreme> shown; // channel 2, the only one drawn
    for (int channel = 0; channel < VoltagePlot::channelCount; ++channel)
        plot.set_channel_visible(channel, channel == 2);
    double value = 0.0;
    for (int n = 0; n < 3000; ++n) {
        const double time = n / 100.0;
        value += random.bounded(2.0) - (n / 500 % 2 == 0 ? 1.2 : 0.8); // falls, then rises
        QList<double> values = channel_values(1000.0);                 // hidden: must not count
        values[2] = value;
        plot.append_samples(time, values);
        shown.append({time, value});
        while (shown.first().first < time - VoltagePlot::windowSeconds)
            shown.removeFirst();
        const auto byValue = [](const auto &a, const auto &b) {
            return a.second < b.second;
        };
        const auto [low, high] = std::minmax_element(shown.cbegin(), shown.cend(), byValue);
        QCOMPARE(plot.window_maximum()->second, high->second);
        QCOMPARE(plot.window_minimum()->second, low->second);
        if (n % 97 == 0) {
            plot.refresh_view();
            QVERIFY(plot.yAxis->range().lower < low->second);
            QVERIFY(plot.yAxis->range().upper > high->second);
        }
    }

    // Hidden channels do not count; a new run starts without extremes, and at time 0 (where
    // a mark before its first sample goes).
    plot.set_channel_visible(2, false);
    QVERIFY(!plot.window_maximum().has_value());
    QCOMPARE(plot.last_time(), 29.99);
    plot.setup_graphs(true);
    QVERIFY(!plot.window_minimum().has_value());
    QCOMPARE(plot.last_time(), 0.0);
}

void TestVoltagePlotLive::viewScrollsAndPrunesOnceTheWindowIsFull_data()
{
    QTest::addColumn<QList<double>>("times");
    QTest::addColumn<double>("xLower");
    QTest::addColumn<double>("xUpper");
    QTest::addColumn<double>("firstKept");

    QList<double> toThree;
    QList<double> toTwelve;
    for (int i = 0; i <= 24; ++i) {
        toTwelve.append(i * 0.5);
        if (i <= 6)
            toThree.append(i * 0.5);
    }
    QTest::newRow("3 s: fixed window") << toThree << 0.0 << 5.0 << 0.0;
    QTest::newRow("12 s: scrolled and pruned") << toTwelve << 7.0 << 12.0 << 7.0;
    // Pruning waits until the first graph holds more than five points.
    QTest::newRow("12 s, few points: kept") << QList<double>{1, 2, 12} << 7.0 << 12.0 << 1.0;
}

void TestVoltagePlotLive::viewScrollsAndPrunesOnceTheWindowIsFull()
{
    QFETCH(QList<double>, times);
    QFETCH(double, xLower);
    QFETCH(double, xUpper);
    QFETCH(double, firstKept);

    VoltagePlot plot(nullptr);
    plot.setup_graphs(false);
    plot.set_browse_mode(false);
    for (double time : times)
        plot.append_samples(time, channel_values(time));
    // Hidden graphs are pruned too.
    plot.set_channel_visible(9, false);
    plot.refresh_view();

    QCOMPARE(plot.xAxis->range().lower, xLower);
    QCOMPARE(plot.xAxis->range().upper, xUpper);
    for (int i = 0; i < 16; ++i) {
        const QList<double> keys = keys_of(plot.graph(i));
        QVERIFY2(!keys.isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(keys.first(), firstKept);
        QCOMPARE(keys.last(), times.last());
    }
}

// A hidden channel 1 gets no live points; the other graphs must still be held to the window
// instead of growing for the whole run.
void TestVoltagePlotLive::viewPrunesWhileChannelOneIsHidden()
{
    VoltagePlot plot(nullptr);
    plot.setup_graphs(false);
    plot.set_browse_mode(false);
    plot.set_channel_visible(0, false);
    for (int i = 0; i <= 24; ++i)
        plot.append_samples(i * 0.5, channel_values(i));
    plot.refresh_view();

    QVERIFY(keys_of(plot.graph(0)).isEmpty());
    for (int i = 1; i < 16; ++i) {
        const QList<double> keys = keys_of(plot.graph(i));
        QVERIFY2(!keys.isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(keys.first(), 7.0);
        QCOMPARE(keys.last(), 12.0);
    }
}

void TestVoltagePlotLive::liveModeClampsTheTimeAxis_data()
{
    QTest::addColumn<bool>("browsing");
    QTest::addColumn<double>("lastTime");
    QTest::addColumn<QCPRange>("requested");
    QTest::addColumn<QCPRange>("expected");

    QTest::newRow("negative start raised, end lifted to window")
        << false << 2.0 << QCPRange(-3, 4) << QCPRange(0, 5);
    QTest::newRow("end beyond last sample pulled back")
        << false << 12.0 << QCPRange(-1, 20) << QCPRange(0, 12);
    QTest::newRow("range inside the data kept")
        << false << 12.0 << QCPRange(3, 8) << QCPRange(3, 8);
    QTest::newRow("browsing leaves the range alone")
        << true << 2.0 << QCPRange(-3, 4) << QCPRange(-3, 4);
}

void TestVoltagePlotLive::liveModeClampsTheTimeAxis()
{
    QFETCH(bool, browsing);
    QFETCH(double, lastTime);
    QFETCH(QCPRange, requested);
    QFETCH(QCPRange, expected);

    // Without a database a browse load has nothing to read from.
    VoltagePlot plot(nullptr);
    plot.setup_graphs(true);
    plot.append_sample(lastTime, 1.0);
    plot.set_browse_mode(browsing);
    plot.xAxis->setRange(requested);
    QCOMPARE(plot.xAxis->range().lower, expected.lower);
    QCOMPARE(plot.xAxis->range().upper, expected.upper);
}

void TestVoltagePlotLive::hiddenChannelGetsNoLivePointsAndKeepsItsValue()
{
    VoltagePlot plot(nullptr);
    plot.setup_graphs(false);
    QList<double> first = channel_values(0);
    first[3] = 7.0;
    plot.append_samples(0.1, first);

    plot.set_channel_visible(3, false);
    QList<double> second = channel_values(0);
    second[3] = 99.0; // would become the maximum if it counted
    plot.append_samples(0.2, second);
    plot.refresh_view();

    QCOMPARE(keys_of(plot.graph(3)), (QList<double>{0.1}));
    QCOMPARE(keys_of(plot.graph(4)), (QList<double>{0.1, 0.2}));
    QCOMPARE(plot.channel_value(3), 7.0);
    QCOMPARE(plot.channel_value(4), 4.0);
    QCOMPARE(plot.window_maximum()->second, 15.0);
    QCOMPARE(plot.last_time(), 0.2);
}

void TestVoltagePlotLive::singleChannelGraphTakesPointsEvenWhenHidden()
{
    VoltagePlot plot(nullptr);
    plot.setup_graphs(true);
    plot.set_channel_visible(0, false);
    plot.set_channel_visible(5, false); // no such graph in single-channel mode
    QCOMPARE(plot.graphCount(), 1);
    QVERIFY(!plot.graph(0)->visible());

    plot.append_sample(0.5, 12.5);
    plot.refresh_view();
    QCOMPARE(keys_of(plot.graph(0)), (QList<double>{0.5}));
    QCOMPARE(plot.channel_value(0), 12.5);
}

void TestVoltagePlotLive::samplesOfTheWrongModeAreDroppedSafely()
{
    VoltagePlot plot(nullptr);
    // Before any run there are no graphs to draw into.
    plot.append_sample(0.1, 3.0);
    plot.append_samples(0.2, channel_values(1));
    plot.refresh_view();
    QCOMPARE(plot.graphCount(), 0);
    QCOMPARE(plot.channel_value(0), 3.0);

    // A multi-channel sample in single-channel mode feeds only the one graph.
    plot.setup_graphs(true);
    plot.append_samples(0.3, channel_values(20));
    plot.refresh_view();
    QCOMPARE(keys_of(plot.graph(0)), (QList<double>{0.3}));
    QCOMPARE(plot.channel_value(0), 20.0);
    QCOMPARE(plot.channel_value(1), 0.0);
    QCOMPARE(plot.channel_value(16), 0.0);
    QCOMPARE(plot.channel_value(-1), 0.0);
}

void TestVoltagePlotLive::appendsFromAnotherThreadWhileTheViewRefreshes()
{
    constexpr int sampleCount = 20000;
    constexpr double rate = 1000.0;
    VoltagePlot plot(nullptr);
    plot.resize(800, 600);
    plot.show();
    plot.setup_graphs(false);
    plot.set_browse_mode(false);

    // The decoder waits for a refresh every 200 samples, so appends and the
    // GUI thread's moves into the graphs are sure to interleave.
    std::atomic<bool> finished{false};
    std::atomic<int> refreshes{0};
    std::thread decoder([&] {
        for (int n = 0; n < sampleCount; ++n) {
            plot.append_samples(n / rate, channel_values(n));
            if (n % 200 == 0) {
                const int seen = refreshes;
                while (refreshes == seen)
                    std::this_thread::yield();
            }
        }
        finished = true;
    });
    while (!finished) {
        plot.refresh_view();
        QCoreApplication::processEvents();
        ++refreshes;
    }
    decoder.join();
    plot.refresh_view();
    QVERIFY(refreshes >= sampleCount / 200);

    // Every point of the last five seconds arrived once, in order, with its value.
    const double last = (sampleCount - 1) / rate;
    QCOMPARE(plot.last_time(), last);
    int firstKept = 0;
    while (firstKept / rate < last - VoltagePlot::windowSeconds)
        ++firstKept;
    QVERIFY(firstKept > 0);
    for (int i = 0; i < 16; ++i) {
        const QCPGraph *graph = plot.graph(i);
        QCOMPARE(graph->dataCount(), sampleCount - firstKept);
        int n = firstKept;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it, ++n) {
            QCOMPARE(it->key, n / rate);
            QCOMPARE(it->value, double(n + i));
        }
    }
    QCOMPARE(plot.channel_value(15), double(sampleCount - 1 + 15));
    QCOMPARE(plot.xAxis->range().upper, last);
}

void TestVoltagePlotLive::clickOnAPointShowsItsChannelTimeAndValue()
{
    VoltagePlot plot(nullptr);
    plot.resize(800, 600);
    plot.setup_graphs(false);
    plot.set_browse_mode(true);
    plot.graph(2)->addData(12.7, 123.4);
    plot.xAxis->setRange(10, 15);
    plot.yAxis->setRange(100, 150);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    plot.replot();

    const QPoint point(qRound(plot.xAxis->coordToPixel(12.7)),
                       qRound(plot.yAxis->coordToPixel(123.4)));
    QTest::mouseClick(&plot, Qt::LeftButton, Qt::NoModifier, point);

    QCPItemText *label = plot.value_label();
    QVERIFY(label->visible());
    QCOMPARE(label->text(), QString("CH3: 12.7, 123.4 mV"));
    QCOMPARE(label->brush().color(), QColor(0, 0, 255));
    QCOMPARE(label->brush().style(), Qt::SolidPattern);
    QCOMPARE(label->color(), QColor(Qt::white));
    // A quarter tick step up and to the right of the point.
    const QVector<double> xTicks = plot.xAxis->tickVector();
    const QVector<double> yTicks = plot.yAxis->tickVector();
    QVERIFY(xTicks.size() >= 2 && yTicks.size() >= 2);
    QCOMPARE(label->position->coords(), QPointF(12.7 + 0.25 * (xTicks[1] - xTicks[0]),
                                                123.4 + 0.25 * (yTicks[1] - yTicks[0])));

    QTest::mouseClick(&plot, Qt::RightButton, Qt::NoModifier, point);
    QVERIFY(!label->visible());

    // Leaving browse mode hides a label shown meanwhile.
    QTest::mouseClick(&plot, Qt::LeftButton, Qt::NoModifier, point);
    QVERIFY(label->visible());
    plot.set_browse_mode(false);
    QVERIFY(!label->visible());
}

void TestVoltagePlotLive::tickLabelsReadAsTheirTicks_data()
{
    QTest::addColumn<bool>("timeAxis");
    QTest::addColumn<QCPRange>("range");
    QTest::addColumn<int>("decimals");

    QTest::newRow("time 2.0 .. 2.6 s") << true << QCPRange(2.0, 2.6) << 1;
    QTest::newRow("time 12.0 .. 12.6 s") << true << QCPRange(12.0, 12.6) << 1;
    QTest::newRow("time 30 .. 40 s") << true << QCPRange(30, 40) << 0;
    QTest::newRow("time 25 .. 37.5 s, steps of 2.5") << true << QCPRange(25, 37.5) << 1;
    QTest::newRow("time 0.1 .. 0.15 s") << true << QCPRange(0.1, 0.15) << 2;
    QTest::newRow("time, live window") << true << QCPRange(7, 12) << 0;
    // The voltage axis keeps its one decimal where the step needs none.
    QTest::newRow("voltage -6 .. 6 mV") << false << QCPRange(-6, 6) << 1;
    QTest::newRow("voltage -100 .. 350 mV") << false << QCPRange(-100, 350) << 1;
    QTest::newRow("voltage 0.03 .. 0.07 mV") << false << QCPRange(0.03, 0.07) << 3;
    QTest::newRow("voltage 0 .. 0.25 mV, still steps of 0.1") << false << QCPRange(0, 0.25) << 1;
    QTest::newRow("voltage 1.1 .. 1.25 mV") << false << QCPRange(1.1, 1.25) << 2;
}

// Every label is its tick's true value, written with the decimals its step needs.
void TestVoltagePlotLive::tickLabelsReadAsTheirTicks()
{
    QFETCH(bool, timeAxis);
    QFETCH(QCPRange, range);
    QFETCH(int, decimals);

    VoltagePlot plot(nullptr);
    plot.resize(800, 600);
    plot.set_browse_mode(true); // the live view would clamp the time axis
    QCPAxis *axis = timeAxis ? plot.xAxis : plot.yAxis;
    axis->setRange(range);
    plot.replot();

    const QVector<double> ticks = axis->tickVector();
    const QVector<QString> labels = axis->tickVectorLabels();
    QCOMPARE(labels.size(), ticks.size());
    QVERIFY2(ticks.size() >= 3, qPrintable(QString::number(ticks.size())));
    for (int i = 0; i < ticks.size(); ++i) {
        const QString &label = labels.at(i);
        bool ok = false;
        const double read = label.toDouble(&ok);
        QVERIFY2(ok, qPrintable(label));
        QVERIFY2(std::abs(read - ticks.at(i)) <= 1e-9 * std::max(1.0, std::abs(ticks.at(i))),
                 qPrintable(QStringLiteral("%1 for %2").arg(label).arg(ticks.at(i))));
        const qsizetype point = label.indexOf(QLatin1Char('.'));
        QCOMPARE(point < 0 ? 0 : label.size() - point - 1, qsizetype(decimals));
    }
}

void TestVoltagePlotLive::refreshRedrawsOnlyWhenThePictureWouldChange()
{
    VoltagePlot plot(nullptr);
    plot.resize(800, 600);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    QSignalSpy drawn(&plot, &QCustomPlot::afterReplot);
    const auto refreshAndCount = [&] {
        drawn.clear();
        plot.refresh_view();
        QCoreApplication::processEvents(); // a queued replot runs here
        return drawn.size();
    };

    plot.setup_graphs(true);
    for (int i = 0; i <= 700; ++i)
        plot.append_sample(i * 0.01, i % 7);
    QCOMPARE(refreshAndCount(), 1);
    // No frames arrive: the display ticks on without drawing.
    QCOMPARE(refreshAndCount(), 0);
    QCOMPARE(refreshAndCount(), 0);

    // A sample that moves neither range is still drawn.
    plot.append_sample(7.005, 3);
    QCOMPARE(refreshAndCount(), 1);
    QCOMPARE(refreshAndCount(), 0);

    // A mark added while live costs no frame of its own: the next tick draws it. (Gap bands
    // go the same way; a full-height translucent band is filled by Qt's own worker threads,
    // whose hand-overs the thread checker of this suite cannot see.)
    plot.mark_lines()->add({3.0, QStringLiteral("valve")});
    drawn.clear();
    QCoreApplication::processEvents();
    QCOMPARE(drawn.size(), 0);
    QCOMPARE(refreshAndCount(), 1);
    QCOMPARE(refreshAndCount(), 0);

    // A range dragged while paused goes back at once when the run continues.
    plot.set_browse_mode(true);
    plot.xAxis->setRange(1, 2);
    plot.set_browse_mode(false);
    QCOMPARE(refreshAndCount(), 1);
    QCOMPARE(plot.xAxis->range(), QCPRange(7.005 - VoltagePlot::windowSeconds, 7.005));

    // Leaving browse mode hides the value label; the next tick draws that.
    plot.set_browse_mode(true);
    plot.value_label()->setVisible(true);
    plot.replot();
    plot.set_browse_mode(false);
    QCOMPARE(refreshAndCount(), 1);
    QCOMPARE(refreshAndCount(), 0);

    // A new run starts with a drawn, empty plot.
    plot.setup_graphs(false);
    QCOMPARE(refreshAndCount(), 1);
}

// A mark added while browsing may lie before those of the run; a mark without text is labelled
// with its place among the run's marks in time order, as they are listed.
void TestVoltagePlotLive::marksWithoutTextAreNumberedInTimeOrderAndGoWithTheRun()
{
    VoltagePlot plot(nullptr);
    plot.setup_graphs(true);
    MarkLines *marks = plot.mark_lines();
    const int otherItems = plot.itemCount(); // the value label and the cursors
    marks->add({5.0, QString()});
    marks->add({3.0, QStringLiteral("valve")});
    marks->add({2.0, QString()});
    QCOMPARE(marks->count(), 3);
    const QList<std::pair<double, QString>> drawn{
        {5.0, QStringLiteral("3")}, {3.0, QStringLiteral("valve")}, {2.0, QStringLiteral("1")}};
    for (int i = 0; i < marks->count(); ++i)
        QCOMPARE(std::pair(marks->time(i), marks->label(i)), drawn[i]);
    plot.setup_graphs(false);
    QCOMPARE(marks->count(), 0);
    QCOMPARE(plot.itemCount(), otherItems);
}

QTEST_MAIN(TestVoltagePlotLive)
#include "tst_voltageplotlive.moc"
