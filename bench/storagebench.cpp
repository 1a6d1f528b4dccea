// Browsing and export on big run tables: the reload of a 5 s range out of a one-hour run at
// 5000 points/s (18 million rows), from the drag to the frame that shows it, and the CSV
// export of a 10-million-row table next to the sqlite3 shell's CSV output of the same table.
//
//   bench_storage [--quick]     (--quick: a tenth of the rows)
#include "benchsupport.h"
#include "historyload.h"
#include "sampledatabase.h"
#include "voltageplot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int rate = 5000;
const QString browseTable = QStringLiteral("dataSample_20250101_00_00_00");
const QString exportTable = QStringLiteral("dataSample_20250101_01_00_00");

bool make_table(SampleDatabase &database, const QString &path, const QString &table, long rows)
{
    QElapsedTimer clock;
    clock.start();
    if (!database.create_table(table, true).ok() ||
        !bench::fill_single_channel_table(path, table, rows, rate)) {
        std::fprintf(stderr, "could not fill %s\n", qPrintable(table));
        return false;
    }
    std::printf("generated %ld rows in %.1f s\n", rows, double(clock.elapsed()) / 1000.0);
    return true;
}

// Runs the event loop until the plot has taken in the load under way; false when it has not
// within 10 s. The graph's point count tells nothing here: a load of an envelope replaces
// one of the same size.
bool wait_for_load(VoltagePlot &plot)
{
    bool loaded = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&plot, &VoltagePlot::history_loaded, &loop, [&] {
        loaded = true;
        loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(10000);
    loop.exec();
    return loaded;
}

// Drags the view three view widths further, one step after another, past what the last
// load holds (an envelope reaches a view width beyond each side), so that every step loads.
void browse(SampleDatabase &database, double runSeconds, int steps)
{
    VoltagePlot plot(&database);
    plot.resize(1092, 814);
    plot.show();
    plot.setup_graphs(true);
    plot.append_sample(runSeconds, 0.0);
    const double start = runSeconds / 2;
    const double stride = 3 * VoltagePlot::windowSeconds;
    plot.xAxis->setRange(start, start + VoltagePlot::windowSeconds);
    plot.set_browse_mode(true);

    std::vector<double> onScreen;
    std::vector<double> loadOnly;
    std::vector<double> rowsOnly;
    int unloaded = 0;
    for (int s = 1; s <= steps; ++s) {
        while (plot.is_load_rate_limited()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const double lower = start + s * stride;
        QElapsedTimer clock;
        clock.start();
        plot.xAxis->setRange(lower, lower + VoltagePlot::windowSeconds);
        if (!plot.is_loading() || !wait_for_load(plot)) {
            ++unloaded;
            continue;
        }
        // The load asked for a queued replot; draw it now, as the next frame would.
        plot.replot(QCustomPlot::rpImmediateRefresh);
        onScreen.push_back(double(clock.nsecsElapsed()) * 1e-6);
        if (s == 1) {
            std::printf("a 5 s range is shown as %s of %d points a channel\n",
                        plot.shows_envelope() ? "an envelope" : "rows", plot.graph(0)->dataCount());
        }

        // The same reads on the GUI thread, on ranges not read before: the loader's whole
        // work, and the rows of the range alone.
        history_load::Request request;
        request.table = database.current_table_name();
        request.lower = start - s * stride;
        request.upper = request.lower + VoltagePlot::windowSeconds;
        request.pixelColumns = plot.axisRect()->width();
        clock.restart();
        history_load::load(database, request);
        loadOnly.push_back(double(clock.nsecsElapsed()) * 1e-6);
        const double qLower = request.lower - VoltagePlot::windowSeconds;
        clock.restart();
        const RangeColumns rows = database.read_time_range(database.current_table_name(), qLower,
                                                           qLower + VoltagePlot::windowSeconds);
        rowsOnly.push_back(double(clock.nsecsElapsed()) * 1e-6);
        if (s == 1) {
            std::printf("a 5 s range holds %lld rows\n", static_cast<long long>(rows.times.size()));
        }
    }
    if (unloaded > 0) {
        std::printf("%d of %d steps loaded nothing within 10 s\n", unloaded, steps);
    }
    if (onScreen.empty()) {
        return;
    }
    std::printf("browse reload, on screen:      median %.1f ms, 95th percentile %.1f ms (%zu "
                "loads)\n",
                bench::median(onScreen), bench::percentile(onScreen, 0.95), onScreen.size());
    std::printf("history_load::load alone:      median %.1f ms\n", bench::median(loadOnly));
    std::printf("read_time_range alone:         median %.1f ms\n", bench::median(rowsOnly));
}

double run_shell_export(const QString &dbPath, const QString &table, const QString &out)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty()) {
        std::printf("sqlite3 shell not found\n");
        return 0.0;
    }
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(shell, {QStringLiteral("-cmd"), QStringLiteral(".headers on"),
                          QStringLiteral("-cmd"), QStringLiteral(".mode csv"),
                          QStringLiteral("-cmd"), QStringLiteral(".output ") + out, dbPath,
                          QStringLiteral("SELECT * FROM \"%1\";").arg(table)});
    process.waitForFinished(-1);
    return double(clock.nsecsElapsed()) * 1e-9;
}

void export_csv(SampleDatabase &database, const QString &dbPath, const QString &dir, long rows)
{
    std::vector<double> ours;
    std::vector<double> shell;
    for (int repeat = 0; repeat < 3; ++repeat) {
        const QString out = dir + QStringLiteral("/export.csv");
        QElapsedTimer clock;
        clock.start();
        if (!database.export_table(out, exportTable, 1)) {
            std::fprintf(stderr, "export failed\n");
            return;
        }
        ours.push_back(double(rows) / (double(clock.nsecsElapsed()) * 1e-9));
        const qint64 ourSize = QFileInfo(out).size();
        QFile::remove(out);
        shell.push_back(double(rows) / run_shell_export(dbPath, exportTable, out));
        if (repeat == 0) {
            std::printf("file sizes: ours %lld bytes, shell %lld bytes\n",
                        static_cast<long long>(ourSize),
                        static_cast<long long>(QFileInfo(out).size()));
        }
        QFile::remove(out);
    }
    std::printf("CSV export (export_table): %.0f rows/s (median of 3)\n", bench::median(ours));
    std::printf("sqlite3 shell .mode csv:   %.0f rows/s (median of 3)\n", bench::median(shell));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = bench::quick(argc, argv);
    const long browseRows = quick ? 1800000 : 18000000;
    const long exportRows = quick ? 1000000 : 10000000;
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("big.db"));
    SampleDatabase database(dbPath);
    if (!database.open_database().ok()) {
        return 1;
    }

    std::printf("== browse: %ld rows at %d points/s\n", browseRows, rate);
    if (!make_table(database, dbPath, browseTable, browseRows)) {
        return 1;
    }
    browse(database, double(browseRows) / rate, quick ? 5 : 15);

    std::printf("== CSV export: %ld rows\n", exportRows);
    if (!make_table(database, dbPath, exportTable, exportRows)) {
        return 1;
    }
    export_csv(database, dbPath, dir.path(), exportRows);
    return 0;
}
