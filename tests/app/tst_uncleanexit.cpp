#include "processoutput.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

constexpr int processTimeoutMs = 30000;

// Runs one full start-up and clean shut-down; returns what the probe printed.
QString runCleanCycle()
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QStringLiteral(MAINWINDOW_PROBE), {QStringLiteral("cycle")});
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
    void processKilledBeforeAnyRunIsNotReportedAtTheNextStart();
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

void UncleanExitTest::processKilledBeforeAnyRunIsNotReportedAtTheNextStart()
{
    ScopedWorkDir dir;
    QProcess probe;
    const QByteArray output =
        start_and_read_until(probe, QStringLiteral(MAINWINDOW_PROBE), {QStringLiteral("hold")},
                             "ready\n", processTimeoutMs);
    QCOMPARE(output, QByteArray("ready\n"));

    // The running window has already told the disk that it has not exited yet.
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
    probe.kill();
    QVERIFY(probe.waitForFinished(processTimeoutMs));
    QCOMPARE(probe.exitStatus(), QProcess::CrashExit);
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));

    // Nothing was recorded, so there is nothing to save and nothing to ask.
    QCOMPARE(runCleanCycle(), QStringLiteral("ready\n"));
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

QTEST_GUILESS_MAIN(UncleanExitTest)
#include "tst_uncleanexit.moc"
