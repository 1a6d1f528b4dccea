// Replot time of the live plot in its worst cases, drawn as a run draws them:
// one channel of 25,000 points and sixteen channels of 750 points, each point
// a disc of size 3, in a 1092 x 814 widget shown on the (offscreen) screen and
// painted to it in every replot.
//
//   bench_plot [--quick]
#include "benchsupport.h"
#include "voltageplot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <cmath>
#include <cstdio>

namespace {

double signal(int channel, int index)
{
    return 2000.0 * std::sin(index * 0.013 + channel) + 40.0 * std::sin(index * 0.9);
}

void fill_single(VoltagePlot &plot)
{
    plot.setup_graphs(true);
    constexpr int rate = 5000;
    for (int i = 0; i < 25000; ++i) {
        plot.append_sample(double(i) / rate, signal(0, i));
    }
}

void fill_multi(VoltagePlot &plot)
{
    plot.setup_graphs(false);
    constexpr int rate = 150;
    QList<double> values(VoltagePlot::channelCount);
    for (int i = 0; i < 750; ++i) {
        for (int c = 0; c < VoltagePlot::channelCount; ++c) {
            values[c] = signal(c, i);
        }
        plot.append_samples(double(i) / rate, values);
    }
}

void measure(const char *name, VoltagePlot &plot, int repeats)
{
    plot.refresh_view();
    plot.replot(QCustomPlot::rpImmediateRefresh); // warm caches
    std::vector<double> ms;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer clock;
        clock.start();
        plot.replot(QCustomPlot::rpImmediateRefresh);
        ms.push_back(double(clock.nsecsElapsed()) * 1e-6);
    }
    std::printf("%-28s median %6.2f ms   95th percentile %6.2f ms   (%d replots)\n", name,
                bench::median(ms), bench::percentile(ms, 0.95), repeats);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repeats = bench::quick(argc, argv) ? 30 : 200;
    VoltagePlot plot(nullptr);
    plot.resize(1092, 814);
    plot.show();
    // Only a window on the (offscreen) screen is painted: every replot below draws the
    // layers, paints them onto the widget and flushes it, as the window's frames do.
    QElapsedTimer exposure;
    exposure.start();
    while ((!plot.windowHandle() || !plot.windowHandle()->isExposed()) &&
           exposure.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    fill_single(plot);
    measure("25,000 points, 1 channel", plot, repeats);
    fill_multi(plot);
    measure("16 x 750 points", plot, repeats);
    return 0;
}
