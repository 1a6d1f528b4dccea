#include "scopedworkdir.h"
#include "settingsondisk.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

constexpr int processTimeoutMs = 30000;

const QString crashPrompt = QStringLiteral(
    "prompt: Warning | The program did not exit properly last time. Please manually save the "
    "previous test data.");

// Starts the probe in the current working directory.
void startProbe(QProcess &probe, const QString &mode)
{
    probe.setProgram(QStringLiteral(MAINWINDOW_PROBE));
    probe.setArguments({mode});
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start();
}

// Runs one full start-up and clean shut-down; returns what the probe printed.
QString runCleanCycle()
{
    QProcess probe;
    startProbe(probe, QStringLiteral("cycle"));
    if (!probe.waitForFinished(processTimeoutMs)) {
        probe.kill();
        probe.waitForFinished();
        return QStringLiteral("timed out");
    }
    const QString output = QString::fromUtf8(probe.readAllStandardOutput());
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return QStringLiteral("failed: ") + output;
    return output;
}

} // namespace

class UncleanExitTest : public QObject
{
    Q_OBJECT

private slots:
    void firstStartAsksNothingAndCleanExitsKeepItThatWay();
    void killedProcessIsReportedAtTheNextStart();
};

void UncleanExitTest::firstStartAsksNothingAndCleanExitsKeepItThatWay()
{
    ScopedWorkDir dir;
    QVERIFY(!QFile::exists(QStringLiteral("config.ini")));

    QCOMPARE(runCleanCycle(), QStringLiteral("ready\n"));
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
    QCOMPARE(runCleanCycle(), QStringLiteral("ready\n"));
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

void UncleanExitTest::killedProcessIsReportedAtTheNextStart()
{
    ScopedWorkDir dir;
    QProcess probe;
    startProbe(probe, QStringLiteral("hold"));
    QVERIFY(probe.waitForStarted(processTimeoutMs));
    QByteArray output;
    while (!output.contains("ready\n") && probe.waitForReadyRead(processTimeoutMs))
        output += probe.readAllStandardOutput();
    QCOMPARE(output, QByteArray("ready\n"));

    // The running window has already told the disk that it has not exited yet.
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
    probe.kill();
    QVERIFY(probe.waitForFinished(processTimeoutMs));
    QCOMPARE(probe.exitStatus(), QProcess::CrashExit);
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));

    QCOMPARE(runCleanCycle(), crashPrompt + QStringLiteral("\nready\n"));
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
    QCOMPARE(runCleanCycle(), QStringLiteral("ready\n"));
}

QTEST_GUILESS_MAIN(UncleanExitTest)
#include "tst_uncleanexit.moc"
