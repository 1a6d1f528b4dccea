// Zooming out over a long run in browse mode: a run table filled through the save path
// (save thread, record queue, SampleDatabase, as a run fills it), a VoltagePlot offscreen
// after the run, its x range set to the whole run. Printed per case: time to the first
// complete frame, the longest stall of the GUI thread, points held by the graphs, peak
// resident memory, the cost of single wheel notches afterwards, and where a redraw goes.
// Next to it the row-by-row way the plot loaded before the envelope: read_time_range over
// the whole run and addData into the graphs.
// Every case runs in a process of its own, so each peak is its own.
//
//   bench_zoom [--quick] [--rows=N[,N...]] [--channels=1|16|both] [--no-row-by-row]
//       --quick: 5 million rows only; default 5 and 50 million rows, 1 and 16 channels
//       --no-row-by-row: leaves out the row-by-row way (it takes long and much memory)
//   bench_zoom case <db> <rows> <channels> plot|rows   (one case; run_all starts these)
//
// Filled run files are kept in zoomcache/ next to the executable; later runs reuse them
// when they hold the run's envelope table, as the save path writes it today.
#include "benchsupport.h"
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "runenvelope.h"
#include "runtablesink.h"
#include "sampledatabase.h"
#include "voltageplot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QTimer>

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int singleRate = 5000;     // the instrument's fastest single-channel rate
constexpr int multiRate = 150;       // and multi-channel
constexpr double notchFactor = 0.85; // QCustomPlot's range zoom factor per wheel step
constexpr int notches = 3;
constexpr int plotWidth = 1092;
constexpr int plotHeight = 814;
// A state counts as settled once nothing has been drawn differently for this long.
constexpr qint64 quietNs = 3'000'000'000;
constexpr qint64 giveUpNs = 900'000'000'000;

const QString table = QStringLiteral("dataSample_20250101_00_00_00");

qint64 now_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int rate_of(int channels)
{
    return channels == 1 ? singleRate : multiRate;
}

// A slow swing, a little ripple, and one spike of one sample in the middle of the run.
double signal(long row, long rows, int channel, int rate)
{
    const double t = double(row) / rate;
    double v = 2000.0 * std::sin(2.0 * pi * t / 600.0 + channel) + 40.0 * std::sin(row * 0.9);
    if (row == rows / 2) {
        v += 5000.0;
    }
    return v;
}

// A "Name:  value kB" field of a /proc file, in kibibytes.
long proc_kib(const char *file, const char *field)
{
    QFile status{QString::fromLatin1(file)};
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field)) {
            return line.mid(int(std::strlen(field)) + 1).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

// Whether the file at path holds the run table and the envelope table the save path writes
// beside it; a file filled by an older save path has no envelope and is filled again.
bool has_envelope(const QString &path)
{
    sqlite3 *db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    bool found = false;
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        const QByteArray sql =
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN ('%1', '%2')")
                .arg(table, RunEnvelope::table_name(table))
                .toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            found = sqlite3_column_int(statement, 0) == 2;
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return found;
}

// Fills a new database file with one run through the save thread, then moves it to path.
bool fill(const QString &path, long rows, int channels)
{
    const QString part = path + QStringLiteral(".part");
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile::remove(part + suffix);
    }
    const int rate = rate_of(channels);
    QElapsedTimer clock;
    clock.start();
    int committed = 0;
    {
        SampleDatabase database(part);
        if (!database.open_database().ok() || !database.create_table(table, channels == 1).ok()) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(part));
            return false;
        }
        DataQueues queues;
        RunTableSink store(&database, table);
        DataSaveDisplay saver(&queues, &store);
        saver.start();
        constexpr int chunk = 1000;
        std::vector<double> times(chunk);
        std::vector<double> values(chunk);
        QList<double> row(channels);
        for (long r = 0; r < rows;) {
            while (queues.record_count() > DataQueues::baseCapacity) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (channels == 1) {
                const int n = int(std::min<long>(chunk, rows - r));
                for (int i = 0; i < n; ++i) {
                    times[i] = double(r + i) / rate;
                    values[i] = signal(r + i, rows, 0, rate);
                }
                queues.push_sample_series(times.data(), values.data(), n);
                r += n;
            } else {
                for (int c = 0; c < channels; ++c) {
                    row[c] = signal(r, rows, c, rate);
                }
                queues.push_samples(double(r) / rate, row);
                ++r;
            }
        }
        queues.push_sample(-1.0, -1.0);
        saver.finish();
        committed = saver.committed_count();
    }
    if (committed != rows) {
        std::fprintf(stderr, "fill stored %d of %ld rows\n", committed, rows);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        return false;
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    std::printf("filled %ld rows x %d channels through the save thread in %.0f s (%.0f rows/s), "
                "%.2f GB\n",
                rows, channels, seconds, double(rows) / seconds,
                double(QFileInfo(path).size()) / 1e9);
    std::fflush(stdout);
    return true;
}

// Records the gaps between the ticks of a 1 ms timer on the GUI thread.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 t = now_ns();
            longestNs_ = std::max(longestNs_, t - lastNs_);
            lastNs_ = t;
        });
        reset();
        timer_.start(1);
    }
    void reset()
    {
        lastNs_ = now_ns();
        longestNs_ = 0;
    }
    double longest_ms() const { return double(longestNs_) * 1e-6; }

private:
    QTimer timer_;
    qint64 lastNs_ = 0;
    qint64 longestNs_ = 0;
};

// Records the longest replot (beforeReplot to afterReplot), the part of a stall that is
// drawing rather than taking in a load.
class ReplotMeter
{
public:
    explicit ReplotMeter(QCustomPlot &plot)
    {
        QObject::connect(&plot, &QCustomPlot::beforeReplot, &plot, [this] { startNs_ = now_ns(); });
        QObject::connect(&plot, &QCustomPlot::afterReplot, &plot,
                         [this] { longestNs_ = std::max(longestNs_, now_ns() - startNs_); });
    }
    void reset() { longestNs_ = 0; }
    double longest_ms() const { return double(longestNs_) * 1e-6; }

private:
    qint64 startNs_ = 0;
    qint64 longestNs_ = 0;
};

qint64 points_held(const QCustomPlot &plot)
{
    qint64 sum = 0;
    for (int g = 0; g < plot.graphCount(); ++g) {
        sum += plot.graph(g)->dataCount();
    }
    return sum;
}

// What a frame showed: the points and where the first graph's data begins and ends.
struct Drawn
{
    qint64 points = 0;
    double firstKey = 0.0;
    double lastKey = 0.0;
    bool operator==(const Drawn &o) const
    {
        return points == o.points && firstKey == o.firstKey && lastKey == o.lastKey;
    }
};

Drawn drawn(const QCustomPlot &plot)
{
    Drawn d;
    d.points = points_held(plot);
    if (plot.graphCount() > 0 && !plot.graph(0)->data()->isEmpty()) {
        d.firstKey = plot.graph(0)->data()->constBegin()->key;
        d.lastKey = (plot.graph(0)->data()->constEnd() - 1)->key;
    }
    return d;
}

// Watches the frames the plot draws after an action, through the public interface only.
class FrameWatch
{
public:
    FrameWatch(VoltagePlot &plot, double runEnd)
        : plot_(plot)
        , runEnd_(runEnd)
    {
        QObject::connect(&plot, &QCustomPlot::afterReplot, &plot, [this] {
            frames_.push_back({now_ns(), drawn(plot_)});
        });
    }

    // Runs the event loop until a frame has shown points across the whole view (as far as
    // the run goes), no load is held back and the picture has not changed for a while;
    // returns the time from start to the first frame that showed the final picture, in
    // milliseconds (negative: never settled).
    double settle(qint64 startNs)
    {
        double ms = -1.0;
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (now_ns() - startNs > giveUpNs) {
                loop.quit();
            }
            if (frames_.empty() || plot_.is_load_rate_limited() ||
                !covers_view(frames_.back().what)) {
                return;
            }
            const qint64 lastChange = last_change_ns();
            if (frames_.back().what == drawn(plot_) && now_ns() - lastChange >= quietNs) {
                ms = double(lastChange - startNs) * 1e-6;
                loop.quit();
            }
        });
        poll.start(20);
        loop.exec();
        frames_.clear();
        return ms;
    }

private:
    struct Frame
    {
        qint64 ns;
        Drawn what;
    };

    bool covers_view(const Drawn &what) const
    {
        const QCPRange view = plot_.xAxis->range();
        // Within two pixel columns of either end.
        const double slack = 2.0 * view.size() / std::max(1, plot_.axisRect()->width());
        return what.points > 0 && what.firstKey <= std::max(view.lower, 0.0) + slack &&
               what.lastKey >= std::min(view.upper, runEnd_) - slack;
    }

    // The first frame that showed what the last one shows.
    qint64 last_change_ns() const
    {
        std::size_t first = frames_.size() - 1;
        while (first > 0 && frames_[first - 1].what == frames_.back().what) {
            --first;
        }
        return frames_[first].ns;
    }

    VoltagePlot &plot_;
    const double runEnd_;
    std::vector<Frame> frames_;
};

// The plot as it stands after a run: the last five seconds drawn live, then browse mode.
void end_of_run(VoltagePlot &plot, long rows, int channels)
{
    const int rate = rate_of(channels);
    plot.setup_graphs(channels == 1);
    const long tail = std::min<long>(rows, long(VoltagePlot::windowSeconds * rate));
    QList<double> values(channels);
    for (long r = rows - tail; r < rows; ++r) {
        if (channels == 1) {
            plot.append_sample(double(r) / rate, signal(r, rows, 0, rate));
        } else {
            for (int c = 0; c < channels; ++c) {
                values[c] = signal(r, rows, c, rate);
            }
            plot.append_samples(double(r) / rate, values);
        }
    }
    plot.refresh_view();
    plot.replot(QCustomPlot::rpImmediateRefresh);
    plot.set_browse_mode(true);
    QCoreApplication::processEvents();
}

// Median wall time of a redraw of the plot as it stands, of 20.
double redraw_ms(QCustomPlot &plot)
{
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        const qint64 start = now_ns();
        plot.replot(QCustomPlot::rpImmediateRefresh);
        ms.push_back(double(now_ns() - start) * 1e-6);
    }
    return bench::median(ms);
}

// Where a redraw of the envelope goes: the same plot redrawn with one thing changed.
void redraw_breakdown(VoltagePlot &plot)
{
    const double asDrawn = redraw_ms(plot);
    const QCPScatterStyle discs = plot.graph(0)->scatterStyle();
    for (int g = 0; g < plot.graphCount(); ++g)
        plot.graph(g)->setScatterStyle(QCPScatterStyle::ssNone);
    const double lineOnly = redraw_ms(plot);
    for (int g = 0; g < plot.graphCount(); ++g)
        plot.graph(g)->setLineStyle(QCPGraph::lsNone);
    const double neither = redraw_ms(plot);
    for (int g = 0; g < plot.graphCount(); ++g) {
        plot.graph(g)->setLineStyle(QCPGraph::lsLine);
        plot.graph(g)->setScatterStyle(discs);
        plot.graph(g)->setAntialiased(false);
    }
    const double aliased = redraw_ms(plot);
    for (int g = 0; g < plot.graphCount(); ++g)
        plot.graph(g)->setAntialiased(true);
    std::printf("  redraw as it stands %.1f ms (median of 20): line only %.1f ms, without line "
                "and discs %.1f ms, not antialiased %.1f ms\n",
                asDrawn, lineOnly, neither, aliased);
}

void print_memory(long hwmBeforeKib)
{
    const long hwm = proc_kib("/proc/self/status", "VmHWM:");
    std::printf("  peak resident %.0f MiB (%.0f MiB above the plot before zooming), resident "
                "now %.0f MiB\n",
                hwm / 1024.0, (hwm - hwmBeforeKib) / 1024.0,
                proc_kib("/proc/self/status", "VmRSS:") / 1024.0);
}

int plot_case(SampleDatabase &database, long rows, int channels)
{
    VoltagePlot plot(nullptr);
    plot.set_database(&database, table);
    plot.resize(plotWidth, plotHeight);
    plot.show();
    end_of_run(plot, rows, channels);
    const double runEnd = double(rows - 1) / rate_of(channels);
    const long hwmBefore = proc_kib("/proc/self/status", "VmHWM:");
    FrameWatch watch(plot, runEnd);
    StallMeter stalls;
    ReplotMeter replots(plot);

    qint64 start = now_ns();
    plot.xAxis->setRange(0.0, runEnd);
    plot.replot(QCustomPlot::rpQueuedReplot); // as a drag or wheel step asks for one
    const double firstFrame = watch.settle(start);
    std::printf("  whole run in view: first complete frame %.0f ms, longest GUI stall %.0f ms "
                "(longest replot %.0f ms), %lld points held\n",
                firstFrame, stalls.longest_ms(), replots.longest_ms(),
                static_cast<long long>(points_held(plot)));
    print_memory(hwmBefore);

    std::vector<double> notchMs;
    stalls.reset();
    replots.reset();
    for (int n = 0; n < 2 * notches; ++n) {
        const double factor = n < notches ? notchFactor : 1.0 / notchFactor;
        start = now_ns();
        plot.xAxis->scaleRange(factor, plot.xAxis->range().center());
        plot.replot(QCustomPlot::rpQueuedReplot);
        notchMs.push_back(watch.settle(start));
    }
    std::printf("  wheel notches (%d in, %d out), to the settled frame:", notches, notches);
    for (const double ms : notchMs) {
        std::printf(" %.0f", ms);
    }
    std::printf(" ms; median %.0f ms, longest GUI stall %.0f ms (longest replot %.0f ms), %lld "
                "points held\n",
                bench::median(notchMs), stalls.longest_ms(), replots.longest_ms(),
                static_cast<long long>(points_held(plot)));
    print_memory(hwmBefore);
    redraw_breakdown(plot);
    return firstFrame < 0 ? 1 : 0;
}

// The row-by-row way to show a whole run: every row read and merged into the graphs at once.
int rows_case(SampleDatabase &database, long rows, int channels)
{
    VoltagePlot plot(nullptr);
    plot.resize(plotWidth, plotHeight);
    plot.show();
    plot.setup_graphs(channels == 1);
    plot.set_browse_mode(true);
    QCoreApplication::processEvents();
    const double runEnd = double(rows - 1) / rate_of(channels);
    const long hwmBefore = proc_kib("/proc/self/status", "VmHWM:");

    QElapsedTimer clock;
    clock.start();
    const RangeColumns columns = database.read_time_range(table, 0.0, runEnd);
    const double readMs = double(clock.nsecsElapsed()) * 1e-6;
    clock.restart();
    for (int g = 0; g < columns.values.size() && g < plot.graphCount(); ++g) {
        plot.graph(g)->addData(columns.times, columns.values.at(g), false);
    }
    const double mergeMs = double(clock.nsecsElapsed()) * 1e-6;
    plot.xAxis->setRange(0.0, runEnd);
    clock.restart();
    plot.replot(QCustomPlot::rpImmediateRefresh);
    const double replotMs = double(clock.nsecsElapsed()) * 1e-6;
    std::printf("  read_time_range %.0f ms (%lld rows), addData %.0f ms, replot %.0f ms: %.0f ms "
                "in all, %lld points held\n",
                readMs, static_cast<long long>(columns.times.size()), mergeMs, replotMs,
                readMs + mergeMs + replotMs, static_cast<long long>(points_held(plot)));
    print_memory(hwmBefore);
    return columns.times.isEmpty() ? 1 : 0;
}

// Ends the case when it takes more memory than the machine can spare, saying so.
void start_memory_guard()
{
    const long limitKib =
        std::min(long(0.6 * double(proc_kib("/proc/meminfo", "MemAvailable:"))), 8L << 20);
    std::thread([limitKib] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const long rss = proc_kib("/proc/self/status", "VmRSS:");
            if (rss > limitKib) {
                std::printf("  gave up: resident set passed %.1f GiB (the limit this machine "
                            "can spare)\n",
                            double(rss) / (1 << 20));
                std::fflush(stdout);
                std::_Exit(3);
            }
        }
    }).detach();
}

// The run opened for review as the window opens it: the file read-only, the run described
// and selected, the plot shown over the whole run; timed from the open to the first complete
// frame.
int open_case(const QString &path, long rows, int channels)
{
    std::unique_ptr<SampleDatabase> database; // outlives the plot that reads it
    VoltagePlot plot(nullptr);
    plot.resize(plotWidth, plotHeight);
    plot.show();
    QCoreApplication::processEvents();
    const double runEnd = double(rows - 1) / rate_of(channels);
    FrameWatch watch(plot, runEnd);
    const qint64 start = now_ns();
    database = std::make_unique<SampleDatabase>(path, SampleDatabase::Access::ReadOnly);
    const Result<RunListing> run = database->open_database().ok()
                                       ? database->describe_run(table)
                                       : Result<RunListing>(Status::not_found(path));
    if (!run.ok()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    const double describedMs = double(now_ns() - start) * 1e-6;
    plot.show_stored_run(database.get(), table, channels == 1,
                         QList<bool>(channels == 1 ? 1 : 16, true), run->firstTime.value_or(0.0),
                         run->lastTime.value_or(0.0));
    const double firstFrame = watch.settle(start);
    std::printf("  opened for review: first complete frame of the whole run %.0f ms after the "
                "open (file opened and run described in %.0f ms)\n",
                firstFrame, describedMs);
    return firstFrame < 0 ? 1 : 0;
}

int run_case(const QString &path, long rows, int channels, const char *kind)
{
    start_memory_guard();
    if (std::strcmp(kind, "open") == 0) {
        return open_case(path, rows, channels);
    }
    SampleDatabase database(path);
    // The run table exists: it is read by name, as a run on review is.
    if (!database.open_database().ok() || !database.table_exists(table)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    return std::strcmp(kind, "plot") == 0 ? plot_case(database, rows, channels)
                                          : rows_case(database, rows, channels);
}

void spawn_case(const QString &self, const QString &path, long rows, int channels, const char *kind)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    child.start(self, {QStringLiteral("case"), path, QString::number(rows),
                       QString::number(channels), QLatin1String(kind)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        std::printf("  (case failed: exit %d)\n", child.exitCode());
    }
    std::fflush(stdout);
}

int run_all(const QString &self, bool quick, const QStringList &arguments)
{
    std::vector<long> rowCounts =
        quick ? std::vector<long>{5000000} : std::vector<long>{5000000, 50000000};
    std::vector<int> channelCounts{1, 16};
    bool rowByRow = true;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--rows="))) {
            rowCounts.clear();
            for (const QString &n : argument.mid(7).split(QLatin1Char(','))) {
                rowCounts.push_back(n.toLong());
            }
        } else if (argument == QLatin1String("--channels=1")) {
            channelCounts = {1};
        } else if (argument == QLatin1String("--channels=16")) {
            channelCounts = {16};
        } else if (argument == QLatin1String("--no-row-by-row")) {
            rowByRow = false;
        }
    }
    const QString cache = QCoreApplication::applicationDirPath() + QStringLiteral("/zoomcache");
    QDir().mkpath(cache);
    for (const int channels : channelCounts) {
        for (const long rows : rowCounts) {
            const QString path = cache + QStringLiteral("/run_%1_%2ch.db").arg(rows).arg(channels);
            std::printf("== %ld rows x %d channel%s at %d points/s (%.0f s of run)\n", rows,
                        channels, channels == 1 ? "" : "s", rate_of(channels),
                        double(rows) / rate_of(channels));
            std::fflush(stdout);
            // Row, index and time entries: about 30 bytes a row plus 9 a voltage; the
            // envelope about 2 bytes a row plus 1 a voltage.
            const double needGb = double(rows) * (32.0 + 10.0 * channels) / 1e9;
            if (!has_envelope(path)) {
                for (const QString &suffix :
                     {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
                    QFile::remove(path + suffix);
                }
                const double freeGb = double(QStorageInfo(cache).bytesAvailable()) / 1e9;
                if (needGb > freeGb - 5.0) {
                    std::printf("  skipped: about %.1f GB needed, %.1f GB free\n", needGb, freeGb);
                    continue;
                }
                if (!fill(path, rows, channels)) {
                    continue;
                }
            }
            std::printf("-- the run opened for review\n");
            std::fflush(stdout);
            spawn_case(self, path, rows, channels, "open");
            std::printf("-- plot in browse mode, x range set to the whole run\n");
            std::fflush(stdout);
            spawn_case(self, path, rows, channels, "plot");
            if (!rowByRow) {
                continue;
            }
            // The row-by-row way holds the rows three times over at its peak (read, handed
            // over, graphs of 16-byte points).
            const double wantGb = double(rows) * channels * 8.0 * 4.0 / 1e9 + 0.2;
            const double memGb = double(proc_kib("/proc/meminfo", "MemAvailable:")) / 1e6;
            std::printf("-- row-by-row loading: read_time_range + addData + replot\n");
            if (wantGb > memGb * 0.5) {
                std::printf("  skipped: would take about %.0f GB of the %.0f GB available\n",
                            wantGb, memGb);
                continue;
            }
            std::fflush(stdout);
            spawn_case(self, path, rows, channels, "rows");
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "case") == 0) {
        return run_case(QString::fromLocal8Bit(argv[2]), std::atol(argv[3]), std::atoi(argv[4]),
                        argv[5]);
    }
    return run_all(QCoreApplication::applicationFilePath(), bench::quick(argc, argv),
                   QCoreApplication::arguments());
}
