#include "dialoganswers.h"
#include "mainwindow.h"
#include "modalresponder.h"
#include "posixlocks.h"
#include "processoutput.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "settingsstore.h"
#include "tablecontents.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int processTimeoutMs = 30000;
// Two full batches of the save thread, so the kill lands between committed transactions
// and the one still being filled.
constexpr int rowsBeforeKill = 1002;

const QString databaseFile = QStringLiteral("Quorlen.db");
QString crashWarning(const QString &table, int samples)
{
    return QStringLiteral("The program did not exit properly last time. The run %1 (%2 samples) "
                          "has not been exported. Please manually save the previous test data.")
        .arg(table)
        .arg(samples);
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class CrashRecoveryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedRunIsSavedRowForRowAndACleanCloseDropsIt();
    void recoveryThatCannotWriteItsFileWarnsAndKeepsTheRun();
    void secondWindowInTheFolderOfARecordingOneTouchesNothing();

private:
    // Runs the window with a simulated instrument in a process of its own and kills it with
    // SIGKILL once the run table holds rowsBeforeKill rows; table is the run's table.
    void killWindowMidRun(QString *table);

    std::unique_ptr<ScopedWorkDir> workDir_;
};

void CrashRecoveryTest::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
}

void CrashRecoveryTest::killWindowMidRun(QString *table)
{
    QProcess probe;
    const QByteArray output =
        start_and_read_until(probe, QStringLiteral(MAINWINDOW_PROBE), {QStringLiteral("run")},
                             "running\n", processTimeoutMs);
    QVERIFY2(output.contains("running\n"), output.constData());

    *table = settingOnDisk(QStringLiteral("last_table_name"));
    QVERIFY2(tablesInFile(databaseFile).contains(*table), qPrintable(*table));
    QTRY_VERIFY_WITH_TIMEOUT(rowsInTable(databaseFile, *table) >= rowsBeforeKill, processTimeoutMs);
    QCOMPARE(probe.state(), QProcess::Running);

    probe.kill();
    QVERIFY(probe.waitForFinished(processTimeoutMs));
    QCOMPARE(probe.exitStatus(), QProcess::CrashExit);
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
    // This process's settings store may have been opened before the probe wrote the file.
    settings_store()->sync();
}

void CrashRecoveryTest::killedRunIsSavedRowForRowAndACleanCloseDropsIt()
{
    QString table;
    killWindowMidRun(&table);
    if (QTest::currentTestFailed())
        return;
    // What the killed process had committed, read before the window opens the file.
    const int rows = rowsInTable(databaseFile, table);
    const QByteArray committed = tableAsCsv(databaseFile, table, 4);
    QCOMPARE(committed.count('\n'), rows + 1);

    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("recovered"));
    MessageBoxSeen prompt;
    SaveDialogSeen dialog;
    bool listed = false;
    QStringList busyLines;
    ModalResponder responder(
        {answerMessageBox(&prompt, QMessageBox::Save),
         lookAtListingThen(databaseFile, answerSaveDialog(path, &dialog), &listed),
         noteBusyDialogLines(&busyLines)});
    auto window = std::make_unique<MainWindow>();

    QCOMPARE(responder.unexpected(), 0);
    // The file is written behind the busy dialog, which tells how far it got.
    QVERIFY(!busyLines.isEmpty());
    QCOMPARE(busyLines.first(), QStringLiteral("Saving the previous test data"));
    for (const QString &line : std::as_const(busyLines).mid(1))
        QVERIFY2(line.startsWith(QStringLiteral("Saving the previous test data: ")) &&
                     line.endsWith(QStringLiteral(" rows")),
                 qPrintable(line));
    QVERIFY(listed);
    // The file dialog left the window's connection its locks on the database and the
    // write-ahead log's shared memory.
    const QStringList lockedFiles{databaseFile, databaseFile + QStringLiteral("-shm")};
    QCOMPARE(posix_locked_files(lockedFiles), lockedFiles);
    QCOMPARE(responder.seen(),
             (QStringList{QStringLiteral("QMessageBox"), QStringLiteral("QFileDialog"),
                          QStringLiteral("QDialog")}));
    QCOMPARE(prompt.title, QStringLiteral("Warning"));
    QCOMPARE(prompt.text, crashWarning(table, rows));
    QCOMPARE(prompt.buttons, QMessageBox::Save | QMessageBox::Cancel);
    QVERIFY2(!prompt.parentVisible, "the prompt comes before the window is shown");
    QCOMPARE(dialog.filters, QStringList{QStringLiteral("Data Files (*.csv)")});
    QCOMPARE(dialog.directory, QDir::current().canonicalPath());

    const QByteArray saved = fileContents(path + QStringLiteral(".csv"));
    QCOMPARE(saved, committed);
    // Every real field carries four decimals.
    static const QRegularExpression row(
        QStringLiteral("^[0-9]+,[0-9]+\\.[0-9]{4},-?[0-9]+\\.[0-9]{4}$"));
    const QList<QByteArray> lines = saved.split('\n');
    QCOMPARE(lines.first(), QByteArray("id,time,Vol"));
    for (qsizetype index = 1; index < lines.size() - 1; ++index)
        QVERIFY2(row.match(QString::fromUtf8(lines.at(index))).hasMatch(), lines.at(index));

    // The sidecar counts the saved rows and shows the killed run's facts without an end, its
    // program gone.
    const QJsonObject sidecar =
        QJsonDocument::fromJson(fileContents(path + QStringLiteral(".json"))).object();
    QCOMPARE(sidecar.value("exported").toObject().value("rows").toInteger(), qint64(rows));
    const QJsonObject facts = sidecar.value("facts").toObject();
    QCOMPARE(facts.value("complete").toBool(true), false);
    QCOMPARE(facts.value("outcome").toString(), QStringLiteral("program gone"));
    QVERIFY(!facts.contains("committed_rows"));
    QCOMPARE(facts.value("mode").toString(), QStringLiteral("single"));

    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
    window.reset();
    // The run goes with its envelope and facts tables.
    QCOMPARE(tablesInFile(databaseFile), QStringList());
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

void CrashRecoveryTest::recoveryThatCannotWriteItsFileWarnsAndKeepsTheRun()
{
    QString table;
    killWindowMidRun(&table);
    if (QTest::currentTestFailed())
        return;
    const int rows = rowsInTable(databaseFile, table);

    // Root may write anywhere, so a plain file stands in for a folder nobody can write to.
    QTemporaryDir out;
    QFile plain(out.filePath(QStringLiteral("plainfile")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    const QString path = plain.fileName() + QStringLiteral("/recovered");
    MessageBoxSeen prompt;
    MessageBoxSeen failure;
    QStringList busyLines;
    ModalResponder responder({answerMessageBox(&prompt, QMessageBox::Save), answerSaveDialog(path),
                              noteBusyDialogLines(&busyLines), answerMessageBox(&failure)});
    auto window = std::make_unique<MainWindow>();

    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(responder.seen().size(), 4);
    QCOMPARE(failure.title, QStringLiteral("Warning"));
    QCOMPARE(failure.icon, QMessageBox::Warning);
    QVERIFY2(failure.text.contains(QStringLiteral("could not be written")),
             qPrintable(failure.text));
    QVERIFY(!failure.parentVisible);
    QVERIFY(!QFile::exists(path + QStringLiteral(".csv")));
    QCOMPARE(rowsInTable(databaseFile, table), rows);

    window.reset();
    QCOMPARE(tablesInFile(databaseFile), QStringList());
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

// A window records in a process of its own; a second one started in its folder says which
// process holds the folder and closes without a crash prompt, a setting or a dropped table.
void CrashRecoveryTest::secondWindowInTheFolderOfARecordingOneTouchesNothing()
{
    QProcess first;
    const QByteArray output =
        start_and_read_until(first, QStringLiteral(MAINWINDOW_PROBE), {QStringLiteral("run")},
                             "running\n", processTimeoutMs);
    QVERIFY2(output.contains("running\n"), output.constData());
    const QString table = settingOnDisk(QStringLiteral("last_table_name"));
    QTRY_VERIFY_WITH_TIMEOUT(rowsInTable(databaseFile, table) > 0, processTimeoutMs);
    const QByteArray settings = fileContents(QStringLiteral("config.ini"));

    MessageBoxSeen refusal;
    ModalResponder responder({answerMessageBox(&refusal)});
    {
        MainWindow second;
        QVERIFY(second.is_refused());
        QVERIFY(second.close());
    }
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(responder.seen(), QStringList{QStringLiteral("QMessageBox")});
    QVERIFY2(refusal.text.contains(QStringLiteral("process %1").arg(first.processId())),
             qPrintable(refusal.text));
    QCOMPARE(fileContents(QStringLiteral("config.ini")), settings);
    const int rows = rowsInTable(databaseFile, table);
    QTRY_VERIFY_WITH_TIMEOUT(rowsInTable(databaseFile, table) > rows, processTimeoutMs);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    QVERIFY(first.waitForFinished(processTimeoutMs));
}

QTEST_MAIN(CrashRecoveryTest)
#include "tst_crashrecovery.moc"
