// End to end without a window: simulator -> pseudo-terminal -> serial manager
// (cutting) -> decoding thread -> save thread -> SQLite, at rising frame rates,
// and the save path alone against a bare prepared-insert loop.
//
//   bench_pipeline [--quick] [--rate=N]
//     --quick: 5 s per rate instead of 60 s; --rate: only that frame rate, end to end only
//   bench_pipeline --save-path [--quick]   the save path against the bare loop only
#include "benchsupport.h"
#include "dataprocess.h"
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "instrumentsimulator.h"
#include "protocol.h"
#include "runtablesink.h"
#include "sampledatabase.h"
#include "serialmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

constexpr int multiRate = 150; // the instrument's fastest multi-channel class
constexpr int batchRows = 501;

struct RunResult
{
    quint64 framesSent = 0;
    qint64 stored = 0;
    quint64 dropped = 0;
    bool ended = false;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
};

RunResult record_run(const QString &dir, double framesPerSecond, int seconds)
{
    RunResult result;
    InstrumentSimulator simulator;
    const double speed = framesPerSecond / multiRate;
    simulator.set_speed_factor(speed);
    if (!simulator.start()) {
        std::fprintf(stderr, "simulator did not start\n");
        return result;
    }
    DataQueues queues;
    SerialManager serial(&queues);
    SampleDatabase database(dir + QStringLiteral("/run.db"));
    if (!serial.open_port(simulator.port_name()) || !database.open_database().ok() ||
        !database.create_table(QStringLiteral("dataSample_20250101_00_00_00"), false).ok()) {
        std::fprintf(stderr, "port or database could not be opened\n");
        return result;
    }
    serial.set_reading(true);
    DataProcess decoder(false, multiRate, &queues, nullptr);
    RunTableSink store(&database, QStringLiteral("dataSample_20250101_00_00_00"));
    DataSaveDisplay saver(&queues, &store);
    QEventLoop loop;
    QObject::connect(&decoder, &DataProcess::stop_sample_data, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    QTimer::singleShot(seconds * 1000 + 20000, &loop, &QEventLoop::quit); // never hang
    decoder.start(QThread::HighPriority);
    saver.start(QThread::HighPriority);

    const int runSeconds = int(std::lround(seconds * speed));
    const double cpuBefore = bench::process_cpu_seconds();
    QElapsedTimer clock;
    clock.start();
    serial.write_data(start_multi_command(1.0f, -1.0f, 0.0f, 0.0f, multiRate, runSeconds));
    loop.exec();
    serial.set_reading(false);
    saver.finish();
    result.seconds = double(clock.nsecsElapsed()) * 1e-9;
    result.cpuSeconds = bench::process_cpu_seconds() - cpuBefore;
    result.ended = decoder.isFinished();
    result.framesSent = simulator.frames_sent();
    result.stored = saver.taken_count();
    result.dropped = queues.dropped_frames() + queues.dropped_records();
    return result;
}

double calling_thread_cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Records pushed by a producer thread as fast as the queue takes them, stored by the
// save thread; returns rows per second, and the CPU time of the save thread and the
// producer.
double save_path_rows_per_second(const QString &dir, int rows, double &cpuSeconds,
                                 double &producerCpuSeconds)
{
    DataQueues queues;
    SampleDatabase database(dir + QStringLiteral("/save.db"));
    if (!database.open_database().ok() ||
        !database.create_table(QStringLiteral("dataSample_20250101_00_00_01"), false).ok()) {
        return 0.0;
    }
    // Computed before the clock, as the bare loop's values are; the producer only pushes.
    QList<QList<double>> values(rows, QList<double>(16));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 16; ++c) {
            values[r][c] = std::sin(r * 0.01 + c) * 3000.0;
        }
    }
    RunTableSink store(&database, QStringLiteral("dataSample_20250101_00_00_01"));
    DataSaveDisplay saver(&queues, &store);
    QElapsedTimer clock;
    clock.start();
    const double producerStart = calling_thread_cpu_seconds();
    saver.start();
    for (int r = 0; r < rows; ++r) {
        while (queues.record_count() >= 8000) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        queues.push_samples(double(r) / multiRate, values.at(r));
    }
    queues.push_sample(-1.0, -1.0);
    producerCpuSeconds = calling_thread_cpu_seconds() - producerStart;
    // Its last reading before it ends misses at most the final transaction.
    cpuSeconds = 0.0;
    while (!saver.wait(2)) {
        cpuSeconds = std::max(cpuSeconds, bench::thread_cpu_seconds("DataSaveDisplay"));
    }
    saver.finish();
    const double seconds = double(clock.nsecsElapsed()) * 1e-9;
    if (saver.taken_count() != rows || queues.dropped_records() != 0) {
        std::fprintf(stderr, "save path lost rows: %d of %d\n", saver.taken_count(), rows);
    }
    return rows / seconds;
}

void save_path_figures(const QTemporaryDir &dir, bool quick)
{
    std::printf("== save path (16 channels, %d rows per transaction)\n", batchRows);
    const int rows = quick ? 200000 : 1000000;
    std::vector<double> bare;
    std::vector<double> saved;
    std::vector<double> bareCpu;
    std::vector<double> savedCpu;
    std::vector<double> producerCpu;
    for (int repeat = 0; repeat < 3; ++repeat) {
        double cpu = 0.0;
        bare.push_back(bench::bare_insert_rows_per_second(dir.filePath("bare.db"), rows, false,
                                                          batchRows, &cpu));
        bareCpu.push_back(cpu * 1e6 / rows);
        double producer = 0.0;
        saved.push_back(save_path_rows_per_second(dir.path(), rows, cpu, producer));
        savedCpu.push_back(cpu * 1e6 / rows);
        producerCpu.push_back(producer * 1e6 / rows);
        QFile::remove(dir.filePath("save.db"));
        QFile::remove(dir.filePath("save.db-wal"));
        QFile::remove(dir.filePath("save.db-shm"));
    }
    const double bareMedian = bench::median(bare);
    const double savedMedian = bench::median(saved);
    std::printf("bare sqlite3 prepared insert: %.0f rows/s (median of 3)\n", bareMedian);
    std::printf("save thread -> SampleDatabase: %.0f rows/s (median of 3), %.2f of bare\n",
                savedMedian, savedMedian / bareMedian);
    std::printf("CPU per row: bare loop %.2f us, save thread %.2f us, producer pushing the "
                "records %.2f us (medians)\n",
                bench::median(bareCpu), bench::median(savedCpu), bench::median(producerCpu));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = bench::quick(argc, argv);
    const int seconds = quick ? 5 : 60;
    QTemporaryDir dir;
    std::vector<double> rates{5000.0, 10000.0, 20000.0, 40000.0, 80000.0, 160000.0};
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--rate="))) {
            rates = {argument.mid(7).toDouble()};
        }
    }
    if (rates.size() > 1) {
        save_path_figures(dir, quick);
    }
    if (arguments.contains(QStringLiteral("--save-path"))) {
        return 0;
    }

    std::printf("== end to end, multi-channel, %d s per rate\n", seconds);
    std::printf("%10s %10s %10s %8s %6s %9s\n", "frames/s", "sent", "stored", "dropped", "ended",
                "cpu%");
    double best = 0.0;
    for (const double rate : rates) {
        const RunResult r = record_run(dir.path(), rate, seconds);
        QFile::remove(dir.filePath("run.db"));
        const bool clean = r.ended && r.dropped == 0 && quint64(r.stored) == r.framesSent;
        std::printf("%10.0f %10llu %10lld %8llu %6s %8.0f%%\n", rate,
                    static_cast<unsigned long long>(r.framesSent), static_cast<long long>(r.stored),
                    static_cast<unsigned long long>(r.dropped), r.ended ? "yes" : "no",
                    100.0 * r.cpuSeconds / std::max(r.seconds, 1e-9));
        std::fflush(stdout);
        if (!clean) {
            break;
        }
        best = rate;
    }
    std::printf("highest rate sustained with zero drops: %.0f frames/s (%.0f samples/s)\n", best,
                best * 16);
    return 0;
}
