// The verdict on a run's end and everything that tells of it: for every kind of end, the
// status bar's line, the window's warnings, the recorder's lines and exit status and the
// facts' outcome are what the operator and the scripts have always been given.
#include "dataqueues.h"
#include "exitcode.h"
#include "mainwindow.h"
#include "runconclusion.h"
#include "runsession.h"
#include "runstatusbar.h"
#include "runverdict.h"
#include "sampledatabase.h"
#include "serialmanager.h"

#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(RunOutcome)
Q_DECLARE_METATYPE(RunReport::StopCause)

namespace {
const QString table = QStringLiteral("run_1");
const QString databaseFile = QStringLiteral("telvane.db");
const QString factsSummary = QStringLiteral("facts summary");

QStringList recorder_lines(const RunReport &report)
{
    QStringList lines;
    for (const RunConclusion::Line &line :
         RunConclusion::lines(report, databaseFile, RunConclusion::onRequest, factsSummary)) {
        lines.append((line.error ? QStringLiteral("error: ") : QStringLiteral("note: ")) +
                     line.text);
    }
    return lines;
}
} // namespace

class RunVerdictTest : public QObject
{
    Q_OBJECT

private slots:
    void everyEndIsToldAsBefore_data();
    void everyEndIsToldAsBefore();
};

void RunVerdictTest::everyEndIsToldAsBefore_data()
{
    QTest::addColumn<RunOutcome>("outcome");
    QTest::addColumn<RunReport::StopCause>("stopBy");
    QTest::addColumn<bool>("stopAsked");
    QTest::addColumn<bool>("overran");
    QTest::addColumn<QString>("storageError");
    QTest::addColumn<bool>("tableLost");
    QTest::addColumn<qint64>("taken");
    QTest::addColumn<qint64>("committed");
    QTest::addColumn<quint64>("dropped");
    QTest::addColumn<int>("gaps");
    QTest::addColumn<QString>("factsOutcome");
    QTest::addColumn<QString>("statusLine");
    QTest::addColumn<bool>("statusProblem");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QStringList>("recorderLines");
    QTest::addColumn<int>("exitCode");

    using Cause = RunReport::StopCause;
    const QString noError;
    const QStringList noWarnings;
    const QString summary = QStringLiteral("note: ") + factsSummary;
    const QString unconfirmedWarning =
        QStringLiteral("The instrument did not confirm the stop within 5 s. The run was ended "
                       "without it; the %1 samples received are kept.");
    const QString overranLine =
        QStringLiteral("error: the instrument did not end the run within 5 s after its "
                       "collection time; it was asked to stop");

    QTest::newRow("completed")
        << RunOutcome::Completed << Cause::None << false << false << noError << false
        << qint64(10000) << qint64(10000) << quint64(0) << 0 << "completed"
        << "The run ended by itself after its collection time: 10000 rows stored." << false
        << noWarnings
        << QStringList{"note: Recorded: 10000 samples stored in run_1 of telvane.db", summary}
        << int(ExitOk);
    // Pauses are gaps too; they are no fault.
    QTest::newRow("completed with gaps of pauses")
        << RunOutcome::Completed << Cause::None << false << false << noError << false
        << qint64(10000) << qint64(10000) << quint64(0) << 2 << "completed"
        << "The run ended by itself after its collection time: 10000 rows stored." << false
        << noWarnings
        << QStringList{"note: Recorded: 10000 samples stored in run_1 of telvane.db", summary}
        << int(ExitOk);
    QTest::newRow("completed with gaps of drops")
        << RunOutcome::Completed << Cause::None << false << false << noError << false
        << qint64(9990) << qint64(9990) << quint64(1) << 1 << "completed"
        << "The run ended by itself after its collection time: 9990 rows stored." << false
        << noWarnings
        << QStringList{"note: Recorded: 9990 samples stored in run_1 of telvane.db", summary,
                       "error: 1 frames or samples were dropped because a queue was full"}
        << int(ExitIncomplete);
    QTest::newRow("ended short by the instrument")
        << RunOutcome::Completed << Cause::None << false << false << noError << false
        << qint64(6000) << qint64(6000) << quint64(0) << 0 << "completed"
        << "The run ended by itself after its collection time: 6000 rows stored." << false
        << noWarnings
        << QStringList{"error: incomplete: 6000 of 10000 samples stored in run_1", summary}
        << int(ExitIncomplete);
    QTest::newRow("stopped by the operator")
        << RunOutcome::Completed << Cause::Operator << true << false << noError << false
        << qint64(4000) << qint64(4000) << quint64(0) << 0 << "stopped"
        << "Run stopped: 4000 rows stored." << false << noWarnings
        << QStringList{"note: Recorded: 4000 samples stored in run_1 of telvane.db, stopped on "
                       "request after 10.4 s",
                       summary}
        << int(ExitOk);
    QTest::newRow("stopped by a signal")
        << RunOutcome::Completed << Cause::Signal << true << false << noError << false
        << qint64(4000) << qint64(4000) << quint64(0) << 1 << "stopped"
        << "Run stopped: 4000 rows stored." << false << noWarnings
        << QStringList{"note: Recorded: 4000 samples stored in run_1 of telvane.db, stopped on "
                       "request after 10.4 s",
                       summary}
        << int(ExitOk);
    QTest::newRow("ended by the window closing")
        << RunOutcome::EndedByOwner << Cause::None << false << false << noError << false
        << qint64(3000) << qint64(3000) << quint64(0) << 0 << "stopped"
        << "Run ended: 3000 rows stored." << false << noWarnings
        << QStringList{"error: incomplete: 3000 of 10000 samples stored in run_1", summary}
        << int(ExitIncomplete);
    QTest::newRow("stopped after an overrun")
        << RunOutcome::Completed << Cause::Overrun << true << true << noError << false
        << qint64(10000) << qint64(10000) << quint64(0) << 0 << "stopped"
        << "The instrument did not end the run after its collection time; it was stopped with "
           "10000 rows stored."
        << true << noWarnings
        << QStringList{overranLine, "error: stopped: 10000 samples stored in run_1", summary}
        << int(ExitIncomplete);
    QTest::newRow("stop unconfirmed")
        << RunOutcome::StopUnconfirmed << Cause::Operator << true << false << noError << false
        << qint64(5000) << qint64(5000) << quint64(0) << 0 << "stop not confirmed"
        << "Stopped without the instrument's confirmation: 5000 rows stored." << true
        << QStringList{unconfirmedWarning.arg(5000)}
        << QStringList{"error: the instrument did not confirm the stop within 5 s; 5000 "
                       "samples stored in run_1",
                       summary}
        << int(ExitIncomplete);
    QTest::newRow("stop unconfirmed, rows short of taken")
        << RunOutcome::StopUnconfirmed << Cause::Signal << true << false << noError << false
        << qint64(5000) << qint64(4990) << quint64(0) << 0 << "stop not confirmed"
        << "Stopped without the instrument's confirmation: 4990 rows stored. Only 4990 of its "
           "5000 samples could be stored."
        << true
        << QStringList{unconfirmedWarning.arg(4990),
                       "Only 4990 of the 5000 samples of this run could be stored in the "
                       "database. The disk may be full."}
        << QStringList{"error: the instrument did not confirm the stop within 5 s; 4990 "
                       "samples stored in run_1",
                       summary, "error: only 4990 of 5000 samples reached the database"}
        << int(ExitIncomplete);
    QTest::newRow("port lost")
        << RunOutcome::PortLost << Cause::None << false << false << noError << false << qint64(6000)
        << qint64(6000) << quint64(0) << 1 << "port lost"
        << "The serial port was lost during the run: 6000 rows stored." << true << noWarnings
        << QStringList{"error: serial port lost during the run; 6000 samples stored in run_1",
                       summary}
        << int(ExitPortLost);
    QTest::newRow("port lost after an overrun")
        << RunOutcome::PortLost << Cause::Overrun << true << true << noError << false
        << qint64(10000) << qint64(10000) << quint64(0) << 1 << "port lost"
        << "The serial port was lost during the run: 10000 rows stored." << true << noWarnings
        << QStringList{overranLine,
                       "error: serial port lost during the run; 10000 samples stored in run_1",
                       summary}
        << int(ExitPortLost);
    QTest::newRow("storage failed")
        << RunOutcome::StorageFailed << Cause::StorageFailure << true << false
        << "database or disk is full" << false << qint64(8000) << qint64(7000) << quint64(0) << 0
        << "storage failed"
        << "Samples could not be stored (database or disk is full); the run was stopped with "
           "7000 of 8000 rows stored."
        << true
        << QStringList{"The samples could not be stored in the database (database or disk is "
                       "full), so the run was stopped. 7000 of its 8000 samples are kept."}
        << QStringList{"error: storing the samples failed (database or disk is full), so the "
                       "run was stopped; only 7000 of 8000 samples reached the database in run_1",
                       summary}
        << int(ExitFailure);
    QTest::newRow("table lost")
        << RunOutcome::StorageFailed << Cause::StorageFailure << true << false
        << "no such table: run_1" << true << qint64(8000) << qint64(0) << quint64(0) << 0
        << "storage failed"
        << "Samples could not be stored (no such table: run_1); the run was stopped and its "
           "table is gone from the database."
        << true
        << QStringList{"The samples could not be stored in the database (no such table: run_1), "
                       "so the run was stopped. Its table run_1 is gone from the database: none "
                       "of its 8000 samples are kept."}
        << QStringList{"error: storing the samples failed (no such table: run_1), so the run "
                       "was stopped; the table run_1 is gone from the database and none of the "
                       "8000 samples are kept",
                       summary}
        << int(ExitFailure);
    QTest::newRow("rows short of taken")
        << RunOutcome::Completed << Cause::None << false << false << noError << false
        << qint64(10000) << qint64(9990) << quint64(0) << 0 << "completed"
        << "The run ended by itself after its collection time: 9990 rows stored. Only 9990 of "
           "its 10000 samples could be stored."
        << true
        << QStringList{"Only 9990 of the 10000 samples of this run could be stored in the "
                       "database. The disk may be full."}
        << QStringList{"note: Recorded: 9990 samples stored in run_1 of telvane.db", summary,
                       "error: only 9990 of 10000 samples reached the database"}
        << int(ExitFailure);
    // The first problem's exit status sticks: the drops come before the rows.
    QTest::newRow("rows short of taken, with dropped samples")
        << RunOutcome::Completed << Cause::None << false << false << noError << false
        << qint64(10000) << qint64(9990) << quint64(5) << 1 << "completed"
        << "The run ended by itself after its collection time: 9990 rows stored. Only 9990 of "
           "its 10000 samples could be stored."
        << true
        << QStringList{"Only 9990 of the 10000 samples of this run could be stored in the "
                       "database. The disk may be full."}
        << QStringList{"note: Recorded: 9990 samples stored in run_1 of telvane.db", summary,
                       "error: 5 frames or samples were dropped because a queue was full",
                       "error: only 9990 of 10000 samples reached the database"}
        << int(ExitIncomplete);
}

void RunVerdictTest::everyEndIsToldAsBefore()
{
    QFETCH(RunOutcome, outcome);
    QFETCH(RunReport::StopCause, stopBy);
    QFETCH(bool, stopAsked);
    QFETCH(bool, overran);
    QFETCH(QString, storageError);
    QFETCH(bool, tableLost);
    QFETCH(qint64, taken);
    QFETCH(qint64, committed);
    QFETCH(quint64, dropped);
    QFETCH(int, gaps);

    RunReport figures;
    figures.outcome = outcome;
    figures.stopBy = stopBy;
    figures.stopAsked = stopAsked;
    figures.overran = overran;
    figures.storageError = storageError;
    figures.tableLost = tableLost;
    figures.table = table;
    figures.takenCount = taken;
    figures.committedCount = committed;
    figures.droppedCount = dropped;
    figures.gapCount = gaps;
    // 1000 samples/s for 10 s, sixteen samples a frame: the last frame may come short.
    figures.expectedSamples = 10000;
    figures.fewestCompleteSamples = 9985;
    figures.elapsedMs = 10400;
    figures.stopWaitSeconds = int(RunSession::stopConfirmLimit.count() / 1000);
    const RunReport report = RunVerdict::judge(figures);

    QTEST(report.factsOutcome, "factsOutcome");

    // The status bar of a real window's run, offscreen.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DataQueues queues;
    SerialManager serial(&queues);
    SampleDatabase database(dir.filePath(QStringLiteral("verdict.db")));
    RunSession session(&serial, &queues, &database, nullptr);
    QStatusBar bar;
    RunStatusBar status(&bar, &session);
    status.run_ended(report);
    QTEST(status.note(), "statusLine");
    const auto *note = bar.findChild<QLabel *>(QStringLiteral("runNote"));
    QVERIFY(note != nullptr);
    QTEST(!note->styleSheet().isEmpty(), "statusProblem");

    QTEST(MainWindow::end_warnings(report), "warnings");
    QTEST(recorder_lines(report), "recorderLines");
    QTEST(RunConclusion::exit_code(report), "exitCode");
}

QTEST_MAIN(RunVerdictTest)
#include "tst_runverdict.moc"
