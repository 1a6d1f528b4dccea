// The whole window with the simulated instrument, driven by object name as an
// operator would: CPU while nothing arrives, memory over a long fast run, and
// the time from process start to the window on screen.
//
//   bench_window idle               CPU of the process: connected; in a run without frames
//   bench_window memory [--quick]   resident set over a 30-minute run at 5000 points/s,
//                                   replayed 4 times faster (--quick: 3 minutes)
//   bench_window startup            process start to window shown, 15 starts
//   bench_window replot [--quick]   replot time of the plot in the window during a run (one
//                                   channel at 5000 points/s, 16 at 150), and the same plot
//                                   redrawn after the run with one feature changed at a time
//   bench_window stalls [--quick] [--cold]
//                                   longest wait of the GUI thread (gaps of a 1 ms heartbeat)
//                                   around a status check, the start, pause, continue, end and
//                                   close of a run at 5000 points/s and the recovery of a long
//                                   run left behind, each beside what the old way waited
//                                   (measured); --cold: 75 s left alone before the start, the
//                                   continue and the stop
#include "benchsupport.h"
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "sampledatabase.h"
#include "settingsstore.h"
#include "voltageplot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

qint64 monotonic_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Runs the event loop for the given time, sleeping while there is nothing to do.
// The window redraws its live plot on a timer of this period.
constexpr int displayPaceMs = 30;

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Answers every message box with its default button, as an operator clicking Ok.
// The button the close question is answered with; other boxes are answered Ok.
QMessageBox::StandardButton closeAnswer = QMessageBox::Ok;

void answer_message_boxes(QObject *parent)
{
    auto *timer = new QTimer(parent);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            // Clicked, not done(): the static QMessageBox functions answer the clicked button.
            if (QAbstractButton *button = box->button(closeAnswer)) {
                button->click();
            } else {
                box->done(QMessageBox::Ok);
            }
        }
    });
    timer->start(20);
}

void click(MainWindow &window, const char *name)
{
    if (auto *button = window.findChild<QAbstractButton *>(QLatin1String(name))) {
        button->click();
    } else {
        std::fprintf(stderr, "no button %s\n", name);
    }
}

// Clicks as the operator's click arrives: from the event loop, which the click's own
// consequences (a relayout, a queued redraw) then follow in a later pass.
void post_click(MainWindow &window, const char *name)
{
    if (auto *button = window.findChild<QAbstractButton *>(QLatin1String(name))) {
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    } else {
        std::fprintf(stderr, "no button %s\n", name);
    }
}

// Sets the controls for a run as an operator would, one action at a time.
void choose_run(MainWindow &window, bool singleChannel, const char *preset, int rate, int seconds)
{
    constexpr int betweenActionsMs = 100;
    post_click(window, singleChannel ? "SignalChannel" : "MultiChannel");
    spin(betweenActionsMs);
    post_click(window, preset);
    spin(betweenActionsMs);
    window.findChild<QSpinBox *>(QStringLiteral("spinBox_sampleSpeed"))->setValue(rate);
    window.findChild<QSpinBox *>(QStringLiteral("spinBox_sampleTime"))->setValue(seconds);
    spin(betweenActionsMs);
}

bool start_run(MainWindow &window, bool singleChannel, const char *preset, int rate, int seconds)
{
    choose_run(window, singleChannel, preset, rate, seconds);
    click(window, "SampleStart");
    return window.is_acquiring();
}

// A window connected to a simulated instrument, in a working directory of its own.
struct Bench
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    std::unique_ptr<InstrumentSimulator> instrument = std::make_unique<InstrumentSimulator>();
    std::unique_ptr<MainWindow> window;

    bool connect()
    {
        QDir::setCurrent(dir.path());
        if (!instrument->start()) {
            return false;
        }
        window = std::make_unique<MainWindow>();
        window->resize(1092, 814);
        window->show();
        answer_message_boxes(window.get());
        window->set_extra_ports({instrument->port_name()});
        window->findChild<QComboBox *>(QStringLiteral("PortComboBox"))->setCurrentIndex(0);
        click(*window, "connect");
        spin(200);
        return true;
    }
    ~Bench()
    {
        window.reset();
        instrument.reset();
        QDir::setCurrent(previousDir);
    }
};

double cpu_percent_over(int ms)
{
    const double before = bench::process_cpu_seconds();
    spin(ms);
    return 100.0 * (bench::process_cpu_seconds() - before) / (ms / 1000.0);
}

int idle()
{
    Bench b;
    if (!b.connect()) {
        return 1;
    }
    constexpr int measureMs = 10000;
    std::printf("connected, no run:           %.2f %% of one core\n", cpu_percent_over(measureMs));
    {
        // The reference: the port list read through the system every second on the GUI
        // thread, as the port watcher did before it waited for device notifications.
        QTimer listing;
        QObject::connect(&listing, &QTimer::timeout, [] { QSerialPortInfo::availablePorts(); });
        listing.start(1000);
        std::printf("  the same with the ports listed every second on the GUI thread (before): "
                    "%.2f %% of one core\n",
                    cpu_percent_over(measureMs));
    }
    // The instrument says nothing for the whole measurement: a live run without frames.
    b.instrument->stall(3 * measureMs);
    if (!start_run(*b.window, false, "radioButton_fast", 150, 600)) {
        std::fprintf(stderr, "the run did not start\n");
        return 1;
    }
    spin(500);
    std::printf("run without incoming frames: %.2f %% of one core (whole process, %d s)\n",
                cpu_percent_over(measureMs), measureMs / 1000);
    click(*b.window, "SampleStop");
    spin(500);
    return 0;
}

int memory(bool quick)
{
    Bench b;
    // Faster replays outrun the save thread on a busy two-core machine and drop samples.
    constexpr double speed = 4.0;
    const int runSeconds = quick ? 180 : 1800;
    b.instrument->set_speed_factor(speed);
    if (!b.connect() || !start_run(*b.window, true, "radioButton_fast", 5000, runSeconds)) {
        std::fprintf(stderr, "the run did not start\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    long afterFirstMinuteMin = -1;
    long afterFirstMinuteMax = -1;
    long peak = 0;
    std::printf("%10s %12s\n", "run s", "RSS MiB");
    while (b.window->is_acquiring() && clock.elapsed() < runSeconds * 1000 / speed + 30000) {
        spin(1000);
        const long rss = bench::resident_kib();
        const double runTime = double(clock.elapsed()) / 1000.0 * speed;
        peak = std::max(peak, rss);
        if (runTime >= 60.0) {
            afterFirstMinuteMin =
                afterFirstMinuteMin < 0 ? rss : std::min(afterFirstMinuteMin, rss);
            afterFirstMinuteMax = std::max(afterFirstMinuteMax, rss);
        }
        if (int(runTime) % 120 < int(speed)) {
            std::printf("%10.0f %12.1f\n", runTime, rss / 1024.0);
            std::fflush(stdout);
        }
    }
    const long long stored =
        b.window->database()->row_count(b.window->database()->current_table_name());
    std::printf("samples sent %llu, stored %lld; resident set after the first minute %.1f..%.1f "
                "MiB (spread "
                "%.1f MiB), peak %.1f MiB\n",
                static_cast<unsigned long long>(b.instrument->samples_sent()), stored,
                afterFirstMinuteMin / 1024.0, afterFirstMinuteMax / 1024.0,
                (afterFirstMinuteMax - afterFirstMinuteMin) / 1024.0, peak / 1024.0);
    return 0;
}

qint64 thread_cpu_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Wall and GUI-thread CPU time of every replot of plot while it is connected, and the
// paint events other widgets of its window get within those replots (a replot that paints
// at once flushes everything of the window that waits to be painted).
struct ReplotClock : QObject
{
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
    qint64 otherPaints = 0;
    qint64 wallStart = 0;
    qint64 cpuStart = 0;
    bool inReplot = false;
    VoltagePlot *plot;
    QMetaObject::Connection before;
    QMetaObject::Connection after;

    explicit ReplotClock(VoltagePlot *watched)
        : plot(watched)
    {
        before = QObject::connect(plot, &QCustomPlot::beforeReplot, [this] {
            inReplot = true;
            wallStart = monotonic_ns();
            cpuStart = thread_cpu_ns();
        });
        after = QObject::connect(plot, &QCustomPlot::afterReplot, [this] {
            wallMs.push_back(double(monotonic_ns() - wallStart) * 1e-6);
            cpuMs.push_back(double(thread_cpu_ns() - cpuStart) * 1e-6);
            inReplot = false;
        });
        qApp->installEventFilter(this);
    }
    ~ReplotClock() override
    {
        qApp->removeEventFilter(this);
        QObject::disconnect(before);
        QObject::disconnect(after);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (inReplot && event->type() == QEvent::Paint && watched != plot)
            ++otherPaints;
        return false;
    }
};

// Redraws the plot as it stands repeats times; median wall and GUI-thread CPU time in
// milliseconds (the CPU time is what the drawing itself costs on a busy machine).
struct Redraw
{
    double wallMs;
    double cpuMs;
};

// With paceMs, the event loop runs (idle) that long before each redraw, as between the frames
// of a run; otherwise the redraws follow each other at once.
Redraw redraw_ms(VoltagePlot *plot, int repeats, int paceMs = 0)
{
    plot->replot(QCustomPlot::rpImmediateRefresh);
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int r = 0; r < repeats; ++r) {
        if (paceMs > 0)
            spin(paceMs);
        const qint64 start = monotonic_ns();
        const qint64 cpuStart = thread_cpu_ns();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        cpu.push_back(double(thread_cpu_ns() - cpuStart) * 1e-6);
        wall.push_back(double(monotonic_ns() - start) * 1e-6);
    }
    return {bench::median(wall), bench::median(cpu)};
}

// The plot left by the run redrawn with one thing changed at a time, each undone after.
void replot_breakdown(VoltagePlot *plot, int repeats)
{
    const QSize windowSize = plot->size();
    QList<QCPGraph *> graphs;
    for (int g = 0; g < plot->graphCount(); ++g) {
        graphs.append(plot->graph(g));
    }
    const auto row = [](const char *what, Redraw ms) {
        std::printf("    %-58s %6.2f ms wall, %6.2f ms CPU\n", what, ms.wallMs, ms.cpuMs);
    };
    row("as drawn in the run", redraw_ms(plot, repeats));
    for (QCPGraph *graph : graphs) {
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    }
    row("no scatter discs", redraw_ms(plot, repeats));
    for (QCPGraph *graph : graphs) {
        graph->setLineStyle(QCPGraph::lsNone);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 3));
    }
    row("discs only, no line", redraw_ms(plot, repeats));
    for (QCPGraph *graph : graphs) {
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setAntialiased(false);
        graph->setAntialiasedScatters(false);
    }
    row("graphs not antialiased", redraw_ms(plot, repeats));
    for (QCPGraph *graph : graphs) {
        graph->setAntialiased(true);
        graph->setAntialiasedScatters(true);
        graph->setVisible(false);
    }
    row("graphs hidden (axes, grid, labels only)", redraw_ms(plot, repeats));
    for (QCPGraph *graph : graphs) {
        graph->setVisible(true);
    }
    plot->resize(1092, 814);
    row("widget resized to 1092 x 814 (the bare bench's size)", redraw_ms(plot, repeats));
    plot->resize(windowSize);
    // The bare bench's waveform (a slow swing with small ripple) on the same keys instead
    // of the instrument's 50 Hz sine: a pixel column then spans a few pixels, not the
    // whole height.
    QList<QSharedPointer<QCPGraphDataContainer>> kept;
    for (int g = 0; g < graphs.size(); ++g) {
        auto data = QSharedPointer<QCPGraphDataContainer>::create(*graphs[g]->data());
        kept.append(graphs[g]->data());
        int i = 0;
        for (auto it = data->begin(); it != data->end(); ++it, ++i) {
            it->value = 2000.0 * std::sin(i * 0.013 + g) + 40.0 * std::sin(i * 0.9);
        }
        graphs[g]->setData(data);
    }
    plot->yAxis->rescale();
    row("the bare bench's waveform on the same keys", redraw_ms(plot, repeats));
}

// Waits until the widget's window is on the (offscreen) screen, so that a repaint
// really paints and flushes it.
void wait_until_exposed(QWidget *widget)
{
    QElapsedTimer clock;
    clock.start();
    while ((!widget->windowHandle() || !widget->windowHandle()->isExposed()) &&
           clock.elapsed() < 5000) {
        spin(10);
    }
}

// The reference: a bare VoltagePlot of its own, shown at the same size, holding the same
// points over the same ranges, redrawn and painted to the screen on its own, back to back
// and at the display's pace.
std::pair<Redraw, Redraw> bare_plot_on_the_same_data(VoltagePlot *plot, bool singleChannel,
                                                     int repeats)
{
    VoltagePlot bare(nullptr);
    bare.resize(plot->size());
    bare.setup_graphs(singleChannel);
    bare.set_browse_mode(true); // a live plot would pull its range back to its own samples
    bare.show();
    wait_until_exposed(&bare);
    for (int g = 0; g < plot->graphCount() && g < bare.graphCount(); ++g) {
        bare.graph(g)->setData(
            QSharedPointer<QCPGraphDataContainer>::create(*plot->graph(g)->data()));
        bare.graph(g)->setVisible(plot->graph(g)->visible());
    }
    bare.xAxis->setRange(plot->xAxis->range());
    bare.yAxis->setRange(plot->yAxis->range());
    const Redraw backToBack = redraw_ms(&bare, repeats);
    return {backToBack, redraw_ms(&bare, repeats, displayPaceMs)};
}

void live_replot(bool singleChannel, int rate, bool quick)
{
    Bench b;
    const int seconds = quick ? 10 : 30;
    if (!b.connect() ||
        !start_run(*b.window, singleChannel, "radioButton_fast", rate, seconds + 30)) {
        std::fprintf(stderr, "the run did not start\n");
        return;
    }
    VoltagePlot *plot = b.window->plot();
    // Each replot paints to the screen at once, so that its time includes the copy of the
    // picture onto the window (otherwise done after afterReplot, in the next paint event).
    plot->setPlottingHint(QCP::phImmediateRefresh, true);
    spin(int(VoltagePlot::windowSeconds * 1000) + 1000); // the live window fills up
    std::vector<double> wall;
    std::vector<double> cpu;
    qint64 otherPaints = 0;
    {
        ReplotClock clock(plot);
        spin(seconds * 1000);
        wall = clock.wallMs;
        cpu = clock.cpuMs;
        otherPaints = clock.otherPaints;
    }
    qint64 points = 0;
    for (int g = 0; g < plot->graphCount(); ++g) {
        points += plot->graph(g)->dataCount();
    }
    std::printf("  %s at %d points/s, plot %d x %d in the window, %lld points held:\n",
                singleChannel ? "1 channel" : "16 channels", rate, plot->width(), plot->height(),
                static_cast<long long>(points));
    std::printf("    replot during the run: median %.2f ms, 95th percentile %.2f ms (%zu replots); "
                "GUI thread CPU in it: median %.2f ms\n",
                bench::median(wall), bench::percentile(wall, 0.95), wall.size(),
                bench::median(cpu));
    std::printf("    other widgets painted within those replots: %.1f per replot\n",
                wall.empty() ? 0.0 : double(otherPaints) / double(wall.size()));
    click(*b.window, "SampleStop");
    spin(1000);
    const int repeats = quick ? 20 : 60;
    const auto [bare, barePaced] = bare_plot_on_the_same_data(plot, singleChannel, repeats);
    std::printf("    bare plot on the same data, same size, painted to the screen: %.2f ms wall, "
                "%.2f ms CPU; the run's replot is %.2f times that (wall), %.2f (CPU)\n",
                bare.wallMs, bare.cpuMs, bench::median(wall) / bare.wallMs,
                bench::median(cpu) / bare.cpuMs);
    std::printf("    the same, one redraw every %d ms as the window's display: %.2f ms wall, "
                "%.2f ms CPU; the run's replot is %.2f times that (wall), %.2f (CPU)\n",
                displayPaceMs, barePaced.wallMs, barePaced.cpuMs,
                bench::median(wall) / barePaced.wallMs, bench::median(cpu) / barePaced.cpuMs);
    std::printf("    after the run, same plot, redrawn on its own:\n");
    replot_breakdown(plot, repeats);
    std::fflush(stdout);
}

int replot(bool quick)
{
    live_replot(true, 5000, quick);
    live_replot(false, 150, quick);
    return 0;
}

// The child: what the application's main does, then reports when the window has painted.
int show_once()
{
    MainWindow window;
    struct FirstPaint : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && !reported) {
                reported = true;
                std::printf("%lld\n", static_cast<long long>(monotonic_ns()));
                std::fflush(stdout);
                QTimer::singleShot(0, qApp, [] { QApplication::activeWindow()->close(); });
            }
            return false;
        }
        bool reported = false;
    } firstPaint;
    window.installEventFilter(&firstPaint);
    window.show();
    qApp->installNativeEventFilter(&window);
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit);
    return qApp->exec();
}

int startup(const char *self)
{
    QTemporaryDir dir;
    std::vector<double> ms;
    constexpr int starts = 15;
    for (int i = 0; i <= starts; ++i) {
        QProcess child;
        child.setWorkingDirectory(dir.path());
        const qint64 launched = monotonic_ns();
        child.start(QString::fromLocal8Bit(self), {QStringLiteral("show-once")});
        child.waitForFinished(20000);
        const qint64 shown = child.readAllStandardOutput().trimmed().toLongLong();
        if (shown <= 0) {
            std::fprintf(stderr, "start %d did not report\n", i);
            continue;
        }
        if (i > 0) { // the first start also creates the database and the settings
            ms.push_back(double(shown - launched) * 1e-6);
        }
    }
    std::printf("process start to window shown: median %.0f ms, 95th percentile %.0f ms (%zu "
                "starts)\n",
                bench::median(ms), bench::percentile(ms, 0.95), ms.size());
    return 0;
}

// Ticks on the GUI thread every millisecond; the longest gap between two ticks is the
// longest the thread did not get back to its event loop.
struct Heartbeat
{
    QTimer timer;
    qint64 last = 0;
    qint64 longestNs = 0;
    qint64 countFrom = 0; // gaps that end before this do not count

    Heartbeat()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = monotonic_ns();
            if (last != 0 && now >= countFrom) {
                longestNs = std::max(longestNs, now - std::max(last, countFrom));
            }
            last = now;
        });
        timer.start();
    }
    void reset(qint64 from = monotonic_ns())
    {
        longestNs = 0;
        countFrom = from;
    }
    double longest_ms() const { return double(longestNs) * 1e-6; }
};

// Waits (running the event loop) until done() or limitMs; milliseconds waited.
template <typename Done> double wait_until(Done done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        spin(5);
    }
    return double(clock.nsecsElapsed()) * 1e-6;
}

double gui_count_ms(SampleDatabase *database, const QString &table)
{
    const qint64 start = monotonic_ns();
    database->row_count(table);
    return double(monotonic_ns() - start) * 1e-6;
}

// With `cold`, the operator leaves the window alone for coldMs before the start, the continue
// and the stop: long enough for a kernel that pages out what was not touched for a minute
// (as on the machines these figures come from) to drop the code those moments run.
int stalls(bool quick, bool cold)
{
    constexpr int statusReplyMs = 100; // an instrument slow to answer
    constexpr int coldMs = 75000;
    const auto waitIfCold = [cold] {
        if (cold) {
            spin(coldMs);
        }
    };
    const long extraRows = quick ? 2000000 : 20000000;
    Heartbeat beat;
    const auto report = [&beat](const char *moment, const QString &reference) {
        std::printf("  %-44s longest GUI stall %7.1f ms%s\n", moment, beat.longest_ms(),
                    qPrintable(reference));
        std::fflush(stdout);
    };
    QString leftTable;
    QString dir;
    {
        Bench b;
        if (!b.connect()) {
            return 1;
        }
        dir = b.dir.path();
        b.dir.setAutoRemove(false);
        spin(500);
        beat.reset();
        spin(1000);
        report("connected, nothing happening (1 s)", QString());

        // The window asks the instrument for its status every two minutes and after each run.
        b.instrument->set_status_reply_delay(std::chrono::milliseconds(statusReplyMs));
        beat.reset();
        QMetaObject::invokeMethod(b.window.get(), "check_lower_computer_status",
                                  Qt::QueuedConnection);
        spin(statusReplyMs + 500);
        report("status check, answered after 100 ms",
               QStringLiteral(" (the window waited for the answer before)"));
        b.instrument->set_status_reply_delay(std::chrono::milliseconds(0));

        beat.reset();
        choose_run(*b.window, true, "radioButton_fast", 5000, 600);
        report("choosing its mode, rate and time (3 actions)", QString());
        waitIfCold();
        beat.reset();
        post_click(*b.window, "SampleStart");
        spin(50);
        if (!b.window->is_acquiring()) {
            std::fprintf(stderr, "the run did not start\n");
            return 1;
        }
        spin(950);
        report("start of a run at 5000 points/s (1 s)", QString());
        spin(1000);
        beat.reset();
        spin(1000);
        report("the run going on, no operator action (1 s)", QString());
        beat.reset();
        post_click(*b.window, "SamplePause");
        spin(1000);
        report("pause (1 s)", QString());
        waitIfCold();
        beat.reset();
        post_click(*b.window, "SamplePause");
        spin(1000);
        report("continue (1 s)", QString());
        spin(2000);

        waitIfCold();
        beat.reset();
        post_click(*b.window, "SampleStop");
        MainWindow *window = b.window.get();
        const double endMs = wait_until([window] { return !window->is_acquiring(); }, 20000);
        spin(300);
        report("stop to the run's end", QStringLiteral(" (the end took %1 ms; the threads "
                                                       "were joined on the GUI thread before)")
                                            .arg(endMs, 0, 'f', 0));

        // A long run: rows added to its table stand in for hours of recording.
        const QString table = window->database()->current_table_name();
        const QString file = b.dir.filePath(QString::fromLatin1(SampleDatabase::defaultFileName));
        if (!bench::fill_single_channel_table(file, table, extraRows, 5000)) {
            std::fprintf(stderr, "could not fill %s\n", qPrintable(table));
            return 1;
        }
        const double countMs = gui_count_ms(window->database(), table);
        beat.reset();
        window->close(); // the question is answered Ok, which keeps the window open
        spin(300);
        report("close with the unexported run asking first",
               QStringLiteral(" (COUNT(*) of its %1 rows: %2 ms)")
                   .arg(extraRows)
                   .arg(countMs, 0, 'f', 0));
        window->database()->drop_tables({table});

        click(*window, "SampleStart");
        spin(1000);
        closeAnswer = QMessageBox::Discard;
        beat.reset();
        const qint64 closeStart = monotonic_ns();
        window->close();
        const double closeMs = double(monotonic_ns() - closeStart) * 1e-6;
        spin(300);
        closeAnswer = QMessageBox::Ok;
        report("close during a run, the run discarded",
               QStringLiteral(" (the close took %1 ms, the question answered after about 20 ms; "
                              "the threads were joined on the GUI thread before)")
                   .arg(closeMs, 0, 'f', 0));
        b.window.reset();

        // A run left behind by a crash, recovered at the next start.
        SampleDatabase database(file);
        database.open_database();
        const Result<QString> made = database.create_run_table(QDateTime::currentDateTime(), true);
        leftTable = made.ok() ? made.value() : QString();
        if (leftTable.isEmpty() ||
            !bench::fill_single_channel_table(file, leftTable, extraRows, 5000)) {
            std::fprintf(stderr, "could not leave a run behind\n");
            return 1;
        }
        write_setting(QStringLiteral("NormalExit"), false);
        write_setting(QStringLiteral("last_table_name"), leftTable);
        b.instrument.reset();
    }
    QDir::setCurrent(dir);
    QTemporaryDir out;
    qint64 savedAt = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            // Clicked, not done(): the static QMessageBox functions answer the clicked button.
            QAbstractButton *save = box->button(QMessageBox::Save);
            if (save != nullptr) {
                save->click();
            } else {
                box->done(QMessageBox::Ok);
            }
        } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            if (auto *name = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
                name->setText(out.filePath(QStringLiteral("recovered")));
            }
            savedAt = monotonic_ns();
            beat.reset(savedAt);
            static_cast<QDialog *>(files)->accept();
        }
    });
    answer.start(20);
    {
        const qint64 start = monotonic_ns();
        beat.reset(start);
        auto window = std::make_unique<MainWindow>();
        spin(50); // a tick after a constructor that never returned to the event loop
        const double exportMs = double(monotonic_ns() - std::max(start, savedAt)) * 1e-6;
        answer.stop();
        if (savedAt == 0) {
            std::fprintf(stderr, "no recovery prompt came\n");
        }
        report("crash recovery of a run left behind",
               QStringLiteral(" (its %1 rows written in %2 ms, on the GUI thread before)")
                   .arg(extraRows)
                   .arg(exportMs, 0, 'f', 0));
        window.reset();
    }
    QDir::setCurrent(QDir::tempPath());
    QDir(dir).removeRecursively();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    const char *mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "idle") == 0) {
        return idle();
    }
    if (std::strcmp(mode, "memory") == 0) {
        return memory(bench::quick(argc, argv));
    }
    if (std::strcmp(mode, "startup") == 0) {
        return startup(argv[0]);
    }
    if (std::strcmp(mode, "replot") == 0) {
        return replot(bench::quick(argc, argv));
    }
    if (std::strcmp(mode, "stalls") == 0) {
        const bool cold = std::any_of(
            argv + 2, argv + argc, [](const char *arg) { return std::strcmp(arg, "--cold") == 0; });
        return stalls(bench::quick(argc, argv), cold);
    }
    if (std::strcmp(mode, "show-once") == 0) {
        return show_once();
    }
    std::fprintf(stderr,
                 "usage: bench_window idle | memory [--quick] | startup | replot [--quick] | "
                 "stalls [--quick] [--cold]\n");
    return 2;
}
