// The window killed (SIGKILL) at random moments of a run, then started again in the same
// directory: the database must pass its integrity check, the recovery prompt must appear,
// and the recovered CSV must hold every row committed before the kill. A slow run killed
// early must have committed all but about its last second.
//   TELVANE_KILL_MOMENTS  how many kills (default 3)
//   TELVANE_FAULT_PATTERN    pattern of the moments (default 1)
#include "envcount.h"
#include "instrumentsimulator.h"
#include "processoutput.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "waveformtable.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>

namespace {
constexpr int rate = 3200;
constexpr int processTimeoutMs = 30000;
QString crashPrompt(const QString &table, qint64 samples)
{
    return QStringLiteral("box: Warning | The program did not exit properly last time. The run "
                          "%1 (%2 samples) has not been exported. Please manually save the "
                          "previous test data.")
        .arg(table)
        .arg(samples);
}

QStringList csv_lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Starts the window in a process of its own, recording a single-channel run from the
// simulator; returns what it said, "running" last when the run started.
QByteArray start_recording(QProcess &probe, const InstrumentSimulator &simulator,
                           int pointsPerSecond)
{
    return start_and_read_until(probe, QStringLiteral(RUN_PROBE),
                                {QStringLiteral("record"), simulator.port_name(),
                                 QString::number(pointsPerSecond), QStringLiteral("30")},
                                "running\n", processTimeoutMs);
}
} // namespace

class KilledRunTest : public QObject
{
    Q_OBJECT

private slots:
    void killedRunIsIntactAndRecoverable();
    void slowRunKilledEarlyKeepsAllButAboutTheLastSecond();
};

void KilledRunTest::killedRunIsIntactAndRecoverable()
{
    const int count = env_count("TELVANE_KILL_MOMENTS", 3);
    bool ok = false;
    const int patternValue = qEnvironmentVariableIntValue("TELVANE_FAULT_PATTERN", &ok);
    QRandomGenerator random(ok ? quint32(patternValue) : 1u);
    qint64 recoveredTotal = 0;

    for (int i = 0; i < count; ++i) {
        const int delayMs = random.bounded(2000);
        const QString where = QStringLiteral("kill %1 after %2 ms").arg(i).arg(delayMs);
        ScopedWorkDir dir;
        const quint32 pattern = quint32(200 + i);
        InstrumentSimulator simulator(pattern);
        QVERIFY(simulator.start());

        QProcess probe;
        const QByteArray said = start_recording(probe, simulator, rate);
        QVERIFY2(said.endsWith("running\n"), said.constData());
        QTest::qWait(delayMs);
        probe.kill();
        QVERIFY(probe.waitForFinished(processTimeoutMs));
        QCOMPARE(probe.exitStatus(), QProcess::CrashExit);

        QCOMPARE(WaveformTable::integrity_check(QStringLiteral("Quorlen.db")),
                 QStringLiteral("ok"));
        const QString table = settingOnDisk(QStringLiteral("last_table_name"));
        WaveformTable committed(QStringLiteral("Quorlen.db"), table);
        const QString failure = committed.compare(true, rate, pattern);
        QVERIFY2(failure.isEmpty(), qPrintable(where + QStringLiteral(": ") + failure));

        const QString csv = dir.file(QStringLiteral("recovered.csv"));
        QProcess recovery;
        recovery.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        recovery.start(QStringLiteral(RUN_PROBE), {QStringLiteral("recover"), csv});
        QVERIFY(recovery.waitForFinished(processTimeoutMs));
        QCOMPARE(recovery.exitCode(), 0);
        const QString prompts = QString::fromUtf8(recovery.readAllStandardOutput());
        if (committed.rows() == 0) {
            // Killed before the first commit: nothing to save, so the next start asks nothing.
            QCOMPARE(prompts, QString());
            QVERIFY(!QFile::exists(csv));
            continue;
        }
        QCOMPARE(prompts, crashPrompt(table, committed.rows()) + '\n');

        const QStringList lines = csv_lines(csv);
        QVERIFY2(lines.size() == committed.rows() + 1,
                 qPrintable(where + QStringLiteral(": %1 CSV lines, %2 rows committed")
                                        .arg(lines.size())
                                        .arg(committed.rows())));
        QCOMPARE(lines.first(), QStringLiteral("id,time,Vol"));
        const qint64 last = committed.rows() - 1;
        const QStringList fields = lines.last().split(QLatin1Char(','));
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields.at(0), QString::number(last + 1));
        // The stored time is a running sum; four decimals of it, not of k / rate.
        QVERIFY(std::abs(fields.at(1).toDouble() - double(last) / rate) < 0.00006);
        QCOMPARE(fields.at(2),
                 QString::number(WaveformTable::millivolts(0, quint64(last), pattern), 'f', 4));
        recoveredTotal += committed.rows();
    }
    qInfo("killed run: %d kills, %lld committed rows recovered", count, recoveredTotal);
}

// 100 points a second fill no batch of 501 for five seconds.
void KilledRunTest::slowRunKilledEarlyKeepsAllButAboutTheLastSecond()
{
    constexpr int slowRate = 100;
    // The kill comes three seconds into the run by the simulator's clock; rows older than a
    // second are committed, and the rest of the margin absorbs a busy machine's delays.
    constexpr quint64 sentBeforeKill = 300;
    constexpr qint64 committedAtLeast = 150;
    ScopedWorkDir dir;
    const quint32 pattern = 300;
    InstrumentSimulator simulator(pattern);
    QVERIFY(simulator.start());
    QProcess probe;
    const QByteArray said = start_recording(probe, simulator, slowRate);
    QVERIFY2(said.endsWith("running\n"), said.constData());
    QTRY_VERIFY_WITH_TIMEOUT(simulator.samples_sent() >= sentBeforeKill, processTimeoutMs);
    probe.kill();
    QVERIFY(probe.waitForFinished(processTimeoutMs));

    WaveformTable committed(QStringLiteral("Quorlen.db"),
                            settingOnDisk(QStringLiteral("last_table_name")));
    const QString failure = committed.compare(true, slowRate, pattern);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(committed.rows() >= committedAtLeast,
             qPrintable(QStringLiteral("%1 rows committed of %2 sent")
                            .arg(committed.rows())
                            .arg(simulator.samples_sent())));
}

QTEST_GUILESS_MAIN(KilledRunTest)
#include "tst_killedrun.moc"
