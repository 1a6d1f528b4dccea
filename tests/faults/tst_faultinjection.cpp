// A damaged line, end to end: the instrument simulator on a pseudo-terminal sends junk,
// split writes, bursts, a stall, frames the application must drop and frames with 0xFF
// inside their sample values, to the window (in this process) and to telvane-cli (a
// process of its own). Every intact frame must be stored once, in order, and nothing else.
#include "faultplan.h"
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "scopedworkdir.h"
#include "waveformtable.h"
#include "windowdriver.h"

#include <QDir>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
constexpr int runTimeoutMs = 30000;
constexpr int injectIntervalMs = 120;
constexpr quint32 pattern = 7;

struct LineFaults
{
    bool singleChannel = true;
    int rate = 0;
    bool junk = false;
    bool splits = false;
    bool burst = false;
    int stallMs = 0;
    int foreignSequences = 0;
    int intactFrames = 0;
};

void apply(InstrumentSimulator &simulator, const LineFaults &faults)
{
    simulator.set_junk(faults.junk);
    simulator.set_random_splits(faults.splits);
    simulator.set_burst(faults.burst);
}

// Once the run is going: turns the line faults on, stalls once, and slips the plan's
// frames in while the run lasts.
class Saboteur
{
public:
    Saboteur(InstrumentSimulator *simulator, const LineFaults &faults)
        : simulator_(simulator)
        , faults_(faults)
        , plan_(faults.foreignSequences, faults.intactFrames)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!started_ && simulator_->run_active()) {
                started_ = true;
                apply(*simulator_, faults_);
                if (faults_.stallMs > 0)
                    simulator_->stall(faults_.stallMs);
            }
            if (!plan_.step(*simulator_) && started_)
                timer_.stop();
        });
        timer_.start(injectIntervalMs);
    }
    const FaultPlan &plan() const { return plan_; }

private:
    InstrumentSimulator *simulator_ = nullptr;
    LineFaults faults_;
    FaultPlan plan_;
    bool started_ = false;
    QTimer timer_;
};

QString check_table(const QString &file, const QString &table, const LineFaults &faults,
                    const InstrumentSimulator &simulator, const FaultPlan &plan)
{
    WaveformTable stored(file, table);
    QString failure = stored.compare(faults.singleChannel, faults.rate, pattern);
    if (!failure.isEmpty())
        return failure;
    if (quint64(stored.waveform_rows()) != simulator.samples_sent())
        return QStringLiteral("%1 waveform rows stored, %2 samples sent")
            .arg(stored.waveform_rows())
            .arg(simulator.samples_sent());
    if (stored.foreign_rows() != plan.expected_rows(faults.singleChannel))
        return QStringLiteral("%1 rows from injected frames, %2 expected")
            .arg(stored.foreign_rows().size())
            .arg(plan.expected_rows(faults.singleChannel).size());
    return QString();
}
} // namespace

Q_DECLARE_METATYPE(LineFaults)

class FaultInjectionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowStoresEveryIntactFrameOnceAndNothingElse_data() { faults_data(); }
    void windowStoresEveryIntactFrameOnceAndNothingElse();
    void recorderStoresEveryIntactFrameOnceAndNothingElse_data() { faults_data(); }
    void recorderStoresEveryIntactFrameOnceAndNothingElse();

private:
    static void faults_data();
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void FaultInjectionTest::initTestCase()
{
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
}

void FaultInjectionTest::faults_data()
{
    QTest::addColumn<LineFaults>("faults");
    // 3200 points/s single-channel: 200 frames/s, so a quarter-second burst is 50 frames.
    const LineFaults clean{true, 3200};
    LineFaults f = clean;
    f.junk = true;
    QTest::newRow("junk between frames") << f;
    f = clean;
    f.splits = true;
    QTest::newRow("writes split at random offsets") << f;
    f = clean;
    f.burst = true;
    QTest::newRow("bursts of 50 frames") << f;
    f = clean;
    f.stallMs = 3000;
    QTest::newRow("a 3 s stall") << f;
    f = clean;
    f.foreignSequences = 6;
    QTest::newRow("unknown types, broken and cut-off frames") << f;
    f = clean;
    f.intactFrames = 6;
    QTest::newRow("0xFF bytes inside sample values") << f;
    f = LineFaults{true, 3200, true, true, true, 3000, 6, 6};
    QTest::newRow("everything at once") << f;
    f.singleChannel = false;
    f.rate = 150;
    QTest::newRow("everything at once, multi-channel") << f;
}

void FaultInjectionTest::windowStoresEveryIntactFrameOnceAndNothingElse()
{
    QFETCH(LineFaults, faults);
    InstrumentSimulator simulator(pattern);
    QVERIFY(simulator.start());
    // The window starts a run even when the status reply drowns in the noise.
    apply(simulator, faults);

    MainWindow window;
    WindowDriver driver(&window);
    QVERIFY2(driver.connect_to(simulator.port_name()), qPrintable(driver.boxes().join('\n')));
    driver.choose_run(faults.singleChannel, faults.rate, 2);
    driver.click("SampleStart");
    QVERIFY(window.is_acquiring());
    Saboteur saboteur(&simulator, faults);
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);

    QCOMPARE(driver.connect_text(), QStringLiteral("Disconnect"));
    QCOMPARE(driver.boxes(), QStringList{QStringLiteral("Message | Connection Success")});
    const QString failure = check_table(QStringLiteral("Quorlen.db"), WindowDriver::last_table(),
                                        faults, simulator, saboteur.plan());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void FaultInjectionTest::recorderStoresEveryIntactFrameOnceAndNothingElse()
{
    QFETCH(LineFaults, faults);
    InstrumentSimulator simulator(pattern);
    QVERIFY(simulator.start());
    // The recorder insists on a clean status reply before it starts: the line turns bad
    // once the run is going.

    const QString database = QDir::current().filePath(QStringLiteral("cli.db"));
    QProcess cli;
    cli.start(QStringLiteral(TELVANE_CLI_EXECUTABLE),
              {QStringLiteral("record"), QStringLiteral("--port"), simulator.port_name(),
               QStringLiteral("--mode"),
               faults.singleChannel ? QStringLiteral("single") : QStringLiteral("multi"),
               QStringLiteral("--rate"), QString::number(faults.rate), QStringLiteral("--time"),
               QStringLiteral("2"), QStringLiteral("--db"), database});
    QVERIFY(cli.waitForStarted(runTimeoutMs));
    Saboteur saboteur(&simulator, faults);
    QTRY_VERIFY_WITH_TIMEOUT(cli.state() == QProcess::NotRunning, runTimeoutMs);
    const QString errors = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QVERIFY2(cli.exitCode() == 0, qPrintable(errors));
    const QString table = QString::fromUtf8(cli.readAllStandardOutput()).section('\n', 0, 0);

    const QString failure = check_table(database, table, faults, simulator, saboteur.plan());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_MAIN(FaultInjectionTest)
#include "tst_faultinjection.moc"
