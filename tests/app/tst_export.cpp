#include "cursorreadout.h"
#include "dialoganswers.h"
#include "filesizelimit.h"
#include "gapbands.h"
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "marklines.h"
#include "modalresponder.h"
#include "plotcursors.h"
#include "posixlocks.h"
#include "runstatusbar.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "settingsstore.h"
#include "sqlrows.h"
#include "tablecontents.h"
#include "voltageplot.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

namespace {

constexpr int runTimeoutMs = 15000;
// A busy dialog still open this long after it appeared is taken as stuck and closed, so the
// test fails instead of hanging.
constexpr qint64 stuckBusyDialogMs = 30000;

const QString runTable = QStringLiteral("dataSample_20240305_10_11_12");
const QString databaseFile = QStringLiteral("Quorlen.db");
// The files of the database in write-ahead-log mode that an open connection holds locks on.
const QStringList lockedFiles{databaseFile, QStringLiteral("Quorlen.db-shm")};

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Export lines in today's log file of the working directory.
int exportLogLines()
{
    const QString path = QStringLiteral("Logs/Log%1.txt")
                             .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    return QString::fromUtf8(fileContents(path)).count(QStringLiteral("导出数据"));
}

// Rows of a stopped single-channel run, with times and voltages that need rounding.
QList<SampleRow> someRows(int count)
{
    QList<SampleRow> rows;
    for (int index = 0; index < count; ++index)
        rows.append({0.01 * (index + 1), 1234.56789 - 3.3 * index});
    return rows;
}

// The busy dialog as it was seen while the export ran.
struct BusySeen
{
    int ticks = 0;
    bool modal = false;
    QString text;
    bool pictureBeforeTable = false;
    bool forced = false;
};

// Leaves the busy dialog for the export to close, watching that the picture never comes
// before the table.
ModalResponder::Handler watchBusyDialog(BusySeen *seen, const QString &base)
{
    auto since = std::make_shared<QElapsedTimer>();
    return [seen, base, since](QWidget *dialog) {
        if (seen->ticks++ == 0) {
            since->start();
            seen->modal = dialog->isModal();
            if (auto *label = dialog->findChild<QLabel *>())
                seen->text = label->text();
        }
        if (QFile::exists(base + QStringLiteral(".png")) &&
            !QFile::exists(base + QStringLiteral(".csv")))
            seen->pictureBeforeTable = true;
        if (since->elapsed() > stuckBusyDialogMs) {
            seen->forced = true;
            dialog->close();
        }
    };
}

// Records which export files already exist when the closing message appears.
ModalResponder::Handler answerFinalMessage(MessageBoxSeen *seen, const QString &base,
                                           QStringList *filesAtMessage)
{
    return [seen, base, filesAtMessage](QWidget *dialog) {
        if (seen->title.isEmpty()) {
            for (const QString &extension :
                 {QStringLiteral(".csv"), QStringLiteral(".png"), QStringLiteral(".json")}) {
                if (QFile::exists(base + extension))
                    filesAtMessage->append(extension);
            }
        }
        answerMessageBox(seen)(dialog);
    };
}

void clickExport(MainWindow &window)
{
    window.findChild<QPushButton *>(QStringLiteral("ExportFile"))->click();
}

// Exports table and picture under base, leaving the busy dialog to the export; returns the
// closing message, or an empty one when an unexpected dialog came up or the busy dialog stuck.
MessageBoxSeen exportBoth(MainWindow &window, const QString &base)
{
    MessageBoxSeen message;
    BusySeen busy;
    ModalResponder responder({answerExportOptions(true, true), answerSaveDialog(base),
                              watchBusyDialog(&busy, base), answerMessageBox(&message)});
    clickExport(window);
    return responder.unexpected() == 0 && !busy.forced ? message : MessageBoxSeen();
}

// Rows of table as another process sees them: the sqlite3 shell opens the file, counts and
// closes it again, as any outside reader does. -1 when it cannot tell.
int rowsSeenFromAnotherProcess(const QString &table)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {databaseFile, QStringLiteral("SELECT COUNT(*) FROM \"%1\";").arg(table)});
    if (!shell.waitForFinished(runTimeoutMs) || shell.exitStatus() != QProcess::NormalExit ||
        shell.exitCode() != 0)
        return -1;
    bool ok = false;
    const int rows = shell.readAllStandardOutput().trimmed().toInt(&ok);
    return ok ? rows : -1;
}

// The files a success message names, or {"not a success: <text>"}.
QStringList filesNamedBy(const QString &message)
{
    const QString head = QStringLiteral("Export successful\n\nFiles written:\n");
    if (!message.startsWith(head))
        return {QStringLiteral("not a success: ") + message};
    return message.mid(head.size()).split(QLatin1Char('\n'));
}

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class ExportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cancelledOptionsAskNothingMore();
    void exportWritesTheChosenFilesUnderOneBaseName_data();
    void exportWritesTheChosenFilesUnderOneBaseName();
    void typedExtensionOfAKindIsKeptAndAnotherAppended_data();
    void typedExtensionOfAKindIsKeptAndAnotherAppended();
    void existingFilesAreReplacedOnlyWhenConfirmed_data();
    void existingFilesAreReplacedOnlyWhenConfirmed();
    void nothingChosenWarnsWithoutAskingForAFile();
    void cancelledFileDialogWritesNothing();
    void saveDialogLeavesTheDatabaseToSqliteAndOutsideReadersMissNoRow();
    void failuresAreReportedAsErrors_data();
    void failuresAreReportedAsErrors();
    void escapeClosesTheBusyDialogEarlyAndTheResultIsStillReported();
    void exportIsInertWhileARunIsActiveOrStopping();
    void exportOfASimulatedRunMatchesTheStoredTable();
    void reviewOfAnotherFilesRunShowsMeasuresAndExportsItAndLeavesTheFileAlone();
    void timeOfDayFollowsTheStoredStartOnAxisLabelAndReadoutAndIsRemembered();

private:
    // A shown window whose database holds a stopped run of `rows` rows, unless rows < 0.
    std::unique_ptr<MainWindow> windowWithRun(int rows);
    // Connects the window to the simulator and starts a multi-channel run.
    void startSimulatedRun(MainWindow &window, InstrumentSimulator &simulator);

    std::unique_ptr<ScopedWorkDir> workDir_;
};

void ExportTest::initTestCase()
{
    // Qt's own file dialog, which the test can answer, on every platform.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
    write_setting(QStringLiteral("NormalExit"), true);
}

std::unique_ptr<MainWindow> ExportTest::windowWithRun(int rows)
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    if (rows >= 0) {
        SampleDatabase *database = window->database();
        // Not the window's own run, so no close drops it: the last test's is still there.
        if (database->drop_tables({runTable}) && database->create_table(runTable, true).ok())
            database->insert_samples(someRows(rows));
    }
    return window;
}

void ExportTest::startSimulatedRun(MainWindow &window, InstrumentSimulator &simulator)
{
    QVERIFY(simulator.start());
    window.set_extra_ports({simulator.port_name()});
    window.findChild<QComboBox *>(QStringLiteral("PortComboBox"))->setCurrentIndex(0);
    MessageBoxSeen connected;
    ModalResponder responder({answerMessageBox(&connected)});
    window.findChild<QPushButton *>(QStringLiteral("connect"))->click();
    QCOMPARE(connected.text, QStringLiteral("Connection Success"));

    window.findChild<QRadioButton *>(QStringLiteral("MultiChannel"))->click();
    window.findChild<QPushButton *>(QStringLiteral("SampleStart"))->click();
    QVERIFY(window.is_acquiring());
    QCOMPARE(responder.unexpected(), 0);
}

void ExportTest::cancelledOptionsAskNothingMore()
{
    auto window = windowWithRun(3);
    ExportOptionsSeen options;
    ModalResponder responder({answerExportOptions(true, true, false, &options)});
    clickExport(*window);

    QVERIFY(options.answered);
    QCOMPARE(options.title, QStringLiteral("Export Option"));
    QCOMPARE(options.boxes, (QStringList{QStringLiteral("Export CSV data file"),
                                         QStringLiteral("Export Picture")}));
    QCOMPARE(options.initialState, (QList<bool>{true, false}));
    QCOMPARE(options.buttons, (QStringList{QStringLiteral("Confirm"), QStringLiteral("Cancel")}));
    // Room for the title and a title bar's icon and three window buttons.
    const QFontMetrics metrics(QApplication::font());
    QVERIFY2(options.width >= metrics.horizontalAdvance(options.title) + 4 * 32,
             qPrintable(QString::number(options.width)));
    QCOMPARE(responder.seen(), QStringList{QStringLiteral("QDialog")});
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(window->last_export_directory(), QStringLiteral("./"));
}

void ExportTest::exportWritesTheChosenFilesUnderOneBaseName_data()
{
    QTest::addColumn<bool>("csv");
    QTest::addColumn<bool>("picture");

    QTest::newRow("table only") << true << false;
    QTest::newRow("picture only") << false << true;
    QTest::newRow("table and picture") << true << true;
}

void ExportTest::exportWritesTheChosenFilesUnderOneBaseName()
{
    QFETCH(bool, csv);
    QFETCH(bool, picture);

    auto window = windowWithRun(250);
    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("run7"));
    SaveDialogSeen dialog;
    BusySeen busy;
    MessageBoxSeen message;
    QStringList filesAtMessage;
    {
        ModalResponder responder({answerExportOptions(csv, picture),
                                  answerSaveDialog(base, &dialog), watchBusyDialog(&busy, base),
                                  answerFinalMessage(&message, base, &filesAtMessage)});
        clickExport(*window);
        QCOMPARE(responder.unexpected(), 0);
        QCOMPARE(responder.seen(),
                 (QStringList{QStringLiteral("QDialog"), QStringLiteral("QFileDialog"),
                              QStringLiteral("QDialog"), QStringLiteral("QMessageBox")}));
    }
    QCOMPARE(dialog.title, QStringLiteral("Saving Data Files"));
    QCOMPARE(dialog.proposedName, runTable);
    QVERIFY(dialog.save);
    QCOMPARE(dialog.directory, QDir::current().canonicalPath());

    QVERIFY(!busy.forced);
    QVERIFY(busy.modal);
    QCOMPARE(busy.text, QStringLiteral("Export"));
    QVERIFY(!busy.pictureBeforeTable);

    QCOMPARE(message.title, QStringLiteral("Information"));
    QCOMPARE(message.icon, QMessageBox::Information);
    QCOMPARE(message.parentTitle, window->windowTitle());

    QStringList expected;
    if (csv)
        expected.append(QStringLiteral("run7.csv"));
    if (picture)
        expected.append(QStringLiteral("run7.png"));
    // The sidecar goes with either.
    expected.append(QStringLiteral("run7.json"));
    QStringList sorted = expected;
    sorted.sort();
    QCOMPARE(filesIn(out.path()), sorted);
    QCOMPARE(filesAtMessage.size(), expected.size());
    // The message names each file written, in full.
    QStringList named;
    for (const QString &file : expected)
        named.append(out.filePath(file));
    QCOMPARE(filesNamedBy(message.text), named);
    const QJsonObject sidecar = QJsonDocument::fromJson(fileContents(base + ".json")).object();
    QCOMPARE(sidecar.value("run").toString(), runTable);
    QCOMPARE(sidecar.value("exported").toObject().value("rows").toInteger(),
             qint64(rowsInTable(QStringLiteral("Quorlen.db"), runTable)));
    if (csv) {
        QCOMPARE(fileContents(base + QStringLiteral(".csv")),
                 tableAsCsv(QStringLiteral("Quorlen.db"), runTable, 1));
    }
    if (picture) {
        const QImage image(base + QStringLiteral(".png"), "PNG");
        QCOMPARE(image.size(), window->plot()->size());
    }

    // The next export starts where this one saved.
    QCOMPARE(window->last_export_directory(), out.path());
    SaveDialogSeen next;
    ModalResponder again({answerExportOptions(true, false), answerSaveDialog(QString(), &next)});
    clickExport(*window);
    QCOMPARE(again.unexpected(), 0);
    QCOMPARE(next.directory, QDir(out.path()).canonicalPath());
}

void ExportTest::typedExtensionOfAKindIsKeptAndAnotherAppended_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("csv");
    QTest::addColumn<bool>("picture");
    QTest::addColumn<QStringList>("written"); // in the order the message names them

    QTest::newRow("table's extension")
        << "run7.csv" << true << true << QStringList{"run7.csv", "run7.png", "run7.json"};
    QTest::newRow("picture's extension")
        << "run7.png" << false << true << QStringList{"run7.png", "run7.json"};
    QTest::newRow("extension of a kind not written")
        << "run7.png" << true << false << QStringList{"run7.png.csv", "run7.png.json"};
}

void ExportTest::typedExtensionOfAKindIsKeptAndAnotherAppended()
{
    QFETCH(QString, typed);
    QFETCH(bool, csv);
    QFETCH(bool, picture);
    QFETCH(QStringList, written);

    auto window = windowWithRun(2);
    QTemporaryDir out;
    MessageBoxSeen message;
    BusySeen busy;
    {
        ModalResponder responder(
            {answerExportOptions(csv, picture), answerSaveDialog(out.filePath(typed)),
             watchBusyDialog(&busy, out.filePath(typed)), answerMessageBox(&message)});
        clickExport(*window);
        QCOMPARE(responder.unexpected(), 0);
    }
    QStringList named;
    for (const QString &file : written)
        named.append(out.filePath(file));
    QCOMPARE(filesNamedBy(message.text), named);
    written.sort();
    QCOMPARE(filesIn(out.path()), written);
}

void ExportTest::existingFilesAreReplacedOnlyWhenConfirmed_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("replaced") << int(QMessageBox::Yes);
    QTest::newRow("kept") << int(QMessageBox::No);
}

// The save dialog asks about the name typed only; the files the export derives from it are
// asked about here, and left as they were unless the operator agrees.
void ExportTest::existingFilesAreReplacedOnlyWhenConfirmed()
{
    QFETCH(int, answer);
    auto window = windowWithRun(2);
    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("run7"));
    for (const QString &extension : {QStringLiteral(".csv"), QStringLiteral(".json")}) {
        QFile earlier(base + extension);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier\n") == 8);
    }
    MessageBoxSeen asked;
    MessageBoxSeen message;
    BusySeen busy;
    const bool replace = answer == QMessageBox::Yes;
    {
        QList<ModalResponder::Handler> answers{
            answerExportOptions(true, true), answerSaveDialog(base),
            answerMessageBox(&asked, QMessageBox::StandardButton(answer))};
        if (replace)
            answers << watchBusyDialog(&busy, base) << answerMessageBox(&message);
        ModalResponder responder(answers);
        clickExport(*window);
        QCOMPARE(responder.unexpected(), 0);
    }
    QCOMPARE(asked.text, QStringLiteral("These files exist already and would be replaced:\n%1\n%2"
                                        "\n\nReplace them?")
                             .arg(base + QStringLiteral(".csv"), base + QStringLiteral(".json")));
    QCOMPARE(asked.defaultButton, QMessageBox::No);
    QCOMPARE(fileContents(base + QStringLiteral(".csv")) == "earlier\n", !replace);
    QCOMPARE(QFile::exists(base + QStringLiteral(".png")), replace);
}

void ExportTest::nothingChosenWarnsWithoutAskingForAFile()
{
    const int logged = exportLogLines();
    {
        auto window = windowWithRun(2);
        MessageBoxSeen warning;
        ModalResponder responder({answerExportOptions(false, false), answerMessageBox(&warning)});
        clickExport(*window);

        QCOMPARE(responder.seen(),
                 (QStringList{QStringLiteral("QDialog"), QStringLiteral("QMessageBox")}));
        QCOMPARE(responder.unexpected(), 0);
        QCOMPARE(warning.title, QStringLiteral("Warning"));
        QCOMPARE(warning.text, QStringLiteral("Please select at least one export type"));
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QCOMPARE(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(window->last_export_directory(), QStringLiteral("./"));
    }
    // The window is gone, so its log is complete.
    QCOMPARE(exportLogLines(), logged);
}

void ExportTest::cancelledFileDialogWritesNothing()
{
    const int logged = exportLogLines();
    {
        auto window = windowWithRun(2);
        const QStringList before = filesIn(QDir::currentPath());
        ModalResponder responder({answerExportOptions(true, true), answerSaveDialog(QString())});
        clickExport(*window);

        QCOMPARE(responder.seen(),
                 (QStringList{QStringLiteral("QDialog"), QStringLiteral("QFileDialog")}));
        QCOMPARE(responder.unexpected(), 0);
        QCOMPARE(filesIn(QDir::currentPath()), before);
        QCOMPARE(window->last_export_directory(), QStringLiteral("./"));
    }
    QCOMPARE(exportLogLines(), logged + 1);
}

void ExportTest::saveDialogLeavesTheDatabaseToSqliteAndOutsideReadersMissNoRow()
{
    auto window = windowWithRun(3);
    QCOMPARE(posix_locked_files(lockedFiles), lockedFiles);
    const QStringList before = held_posix_locks(lockedFiles);

    bool listed = false;
    ModalResponder responder(
        {answerExportOptions(true, false),
         lookAtListingThen(databaseFile, answerSaveDialog(QString()), &listed)});
    clickExport(*window);
    QCOMPARE(responder.unexpected(), 0);
    QVERIFY(listed);
    QCOMPARE(held_posix_locks(lockedFiles), before);

    // Seeing the window's locks, a reader in another process leaves the write-ahead log
    // alone, so what the window writes afterwards is stored.
    QCOMPARE(rowsSeenFromAnotherProcess(runTable), 3);
    QCOMPARE(window->database()->insert_samples(someRows(500)).rows, 500);
    QCOMPARE(rowsSeenFromAnotherProcess(runTable), 503);
}

void ExportTest::failuresAreReportedAsErrors_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("takenByAFolder");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<int>("fileSizeLimit"); // bytes any file may grow to, 0 for no limit

    // Root may write anywhere, so a plain file stands in for a folder nobody can write to.
    QTest::newRow("folder that cannot hold files") << 2 << "plainfile"
                                                   << ""
                                                   << "CSV save failed" << QStringList() << 0;
    QTest::newRow("no run since the start") << -1 << ""
                                            << ""
                                            << "CSV save failed" << QStringList() << 0;
    QTest::newRow("picture name taken by a folder")
        << 2 << ""
        << "run7.png"
        << "Image save failed"
        << QStringList{QStringLiteral("run7.csv"), QStringLiteral("run7.json"),
                       QStringLiteral("run7.png")}
        << 0;
    // The sidecar fails the export as the CSV would, and takes the CSV with it; the picture
    // is not tried.
    QTest::newRow("sidecar name taken by a folder")
        << 2 << ""
        << "run7.json"
        << "JSON save failed" << QStringList{QStringLiteral("run7.json")} << 0;
    // The last bytes of a file are written when it closes; failing there must fail the export
    // too, and no cut-off file is left behind.
    QTest::newRow("table on a full disk") << 400 << ""
                                          << ""
                                          << "CSV save failed" << QStringList() << 4096;
    // Room for the small table, not for the picture.
    QTest::newRow("picture on a full disk")
        << 2 << ""
        << ""
        << "Image save failed"
        << QStringList{QStringLiteral("run7.csv"), QStringLiteral("run7.json")} << 4096;
}

void ExportTest::failuresAreReportedAsErrors()
{
    QFETCH(int, rows);
    QFETCH(QString, folder);
    QFETCH(QString, takenByAFolder);
    QFETCH(QString, failure);
    QFETCH(QStringList, written);
    QFETCH(int, fileSizeLimit);

    auto window = windowWithRun(rows);
    QTemporaryDir out;
    QString base = out.filePath(QStringLiteral("run7"));
    if (!folder.isEmpty()) {
        QFile plain(out.filePath(folder));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        base = plain.fileName() + QStringLiteral("/run7");
        written = QStringList{folder};
    }
    if (!takenByAFolder.isEmpty())
        QVERIFY(QDir(out.path()).mkdir(takenByAFolder));

    MessageBoxSeen message;
    {
        const FileSizeLimit limit(fileSizeLimit);
        message = exportBoth(*window, base);
    }
    QCOMPARE(message.title, QStringLiteral("Error"));
    QCOMPARE(message.text, failure);
    QCOMPARE(message.icon, QMessageBox::Critical);
    QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(filesIn(out.path()), written);
    if (written.contains(QStringLiteral("run7.csv"))) {
        QCOMPARE(fileContents(base + QStringLiteral(".csv")),
                 tableAsCsv(QStringLiteral("Quorlen.db"), runTable, 1));
    }
}

void ExportTest::escapeClosesTheBusyDialogEarlyAndTheResultIsStillReported()
{
    auto window = windowWithRun(600);
    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("run7"));

    // The window's own connection takes the file for itself, so the export's connection waits
    // and cannot finish before the operator presses Escape; the file is let go once the
    // dialog has closed.
    SampleDatabase *database = window->database();
    sqlite3 *connection = database->connection_handle();
    QVERIFY(sql_rows::run(connection, QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
    QVERIFY(sql_rows::run(connection, QStringLiteral("BEGIN EXCLUSIVE")));
    QVERIFY(sql_rows::run(connection, QStringLiteral("COMMIT")));
    bool holding = true;
    auto letGo = [&]() {
        holding = false;
        sql_rows::run(connection, QStringLiteral("PRAGMA locking_mode=NORMAL"));
        // The next read ends with the lock given up.
        sql_rows::select(connection, QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
    };

    bool tableWrittenAtEscape = true;
    bool closedByEscape = false;
    auto pressEscape = [&](QWidget *dialog) {
        if (!holding)
            return;
        tableWrittenAtEscape = QFile::exists(base + QStringLiteral(".csv"));
        QTest::keyClick(dialog, Qt::Key_Escape);
        closedByEscape = !dialog->isVisible();
        letGo();
    };
    MessageBoxSeen message;
    QStringList filesAtMessage;
    ModalResponder responder({answerExportOptions(true, true), answerSaveDialog(base), pressEscape,
                              answerFinalMessage(&message, base, &filesAtMessage)});
    clickExport(*window);
    if (holding)
        letGo();

    QCOMPARE(responder.unexpected(), 0);
    QVERIFY(!tableWrittenAtEscape);
    QVERIFY(closedByEscape);
    QCOMPARE(filesNamedBy(message.text).size(), 3);
    QCOMPARE(filesAtMessage, (QStringList{QStringLiteral(".csv"), QStringLiteral(".png"),
                                          QStringLiteral(".json")}));
    QCOMPARE(fileContents(base + QStringLiteral(".csv")),
             tableAsCsv(QStringLiteral("Quorlen.db"), runTable, 1));
}

void ExportTest::exportIsInertWhileARunIsActiveOrStopping()
{
    MainWindow window;
    InstrumentSimulator simulator;
    startSimulatedRun(window, simulator);
    if (QTest::currentTestFailed())
        return;
    ModalResponder responder({});

    // The button is disabled during a run; the slot itself refuses as well.
    QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("ExportFile"))->isEnabled());
    QVERIFY(QMetaObject::invokeMethod(&window, "on_ExportFile_clicked"));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.samples_sent() > 20, runTimeoutMs);

    // Stop re-enables the button at once, while the run only ends with the instrument's
    // end frame, which cannot arrive before control returns to the event loop.
    window.findChild<QPushButton *>(QStringLiteral("SampleStop"))->click();
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("ExportFile"))->isEnabled());
    QVERIFY(window.is_acquiring());
    clickExport(window);

    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);
    QCOMPARE(responder.seen(), QStringList());
    QCOMPARE(window.last_export_directory(), QStringLiteral("./"));
}

void ExportTest::exportOfASimulatedRunMatchesTheStoredTable()
{
    MainWindow window;
    window.show();
    InstrumentSimulator simulator;
    startSimulatedRun(window, simulator);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(simulator.samples_sent() >= 100, runTimeoutMs);
    const QString table = window.database()->current_table_name();
    // M marks the running run at its latest sample, committed at once.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const double before = window.plot()->last_time();
    QTest::keyClick(window.plot(), Qt::Key_M);
    const double after = window.plot()->last_time();
    const QList<RunMark> live = window.database()->read_marks(table);
    QCOMPARE(live.size(), 1);
    QVERIFY2(live[0].time > 0.0 && live[0].time >= before && live[0].time <= after,
             qPrintable(QStringLiteral("%1 <= %2 <= %3").arg(before).arg(live[0].time).arg(after)));
    window.findChild<QPushButton *>(QStringLiteral("SampleStop"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);
    QVERIFY(rowsInTable(QStringLiteral("Quorlen.db"), table) >= 100);

    // Browsing the ended run, the control asks for a text and marks the middle of the view.
    {
        ModalResponder responder({[](QWidget *dialog) {
            auto *input = qobject_cast<QInputDialog *>(dialog);
            QVERIFY(input);
            input->setTextValue(QStringLiteral("valve shut"));
            input->accept();
        }});
        window.findChild<QAction *>(QStringLiteral("actionAddMark"))->trigger();
        QCOMPARE(responder.unexpected(), 0);
    }
    const double middle = window.plot()->xAxis->range().center();
    // M with the mouse over the plot marks the time under it.
    const QPoint at = window.plot()->axisRect()->rect().center() + QPoint(37, 0);
    QCursor::setPos(window.plot()->mapToGlobal(at));
    window.activateWindow(); // the dialog had it
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.plot(), Qt::Key_M);
    const double underMouse = window.plot()->xAxis->pixelToCoord(at.x());
    const QList<RunMark> marks = window.database()->read_marks(table);
    QMap<double, QString> stored;
    for (const RunMark &mark : marks)
        stored.insert(mark.time, mark.text);
    QCOMPARE(stored, (QMap<double, QString>{{live[0].time, QString()},
                                            {middle, QStringLiteral("valve shut")},
                                            {underMouse, QString()}}));
    const MarkLines *lines = window.plot()->mark_lines();
    QCOMPARE(lines->count(), 3);
    const QList<std::pair<double, QString>> drawn{{live[0].time, QStringLiteral("1")},
                                                  {middle, QStringLiteral("valve shut")},
                                                  {underMouse, QStringLiteral("3")}};
    for (int i = 0; i < lines->count(); ++i)
        QCOMPARE(std::pair(lines->time(i), lines->label(i)), drawn[i]);
    // The line is in the picture: the mark's green down most of the plot's height.
    window.plot()->replot();
    const QImage picture = window.plot()->toPixmap().toImage();
    const QRect area = window.plot()->axisRect()->rect();
    const int x = qRound(window.plot()->xAxis->coordToPixel(middle));
    int green = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor pixel = picture.pixelColor(x + dx, y);
            green += pixel.green() > pixel.red() + 40 && pixel.green() > pixel.blue() + 40;
        }
    }
    QVERIFY2(green > area.height() / 4, qPrintable(QString::number(green)));
    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("run"));
    const MessageBoxSeen message = exportBoth(window, base);
    QCOMPARE(filesNamedBy(message.text),
             (QStringList{base + QStringLiteral(".csv"), base + QStringLiteral(".png"),
                          base + QStringLiteral(".json")}));
    const QByteArray csv = fileContents(base + QStringLiteral(".csv"));
    // The sidecar counts the CSV's rows and holds the run's facts as the operator set them.
    const QJsonObject sidecar = QJsonDocument::fromJson(fileContents(base + ".json")).object();
    QCOMPARE(sidecar.value("exported").toObject().value("rows").toInteger(),
             qint64(csv.count('\n') - 1));
    const QJsonObject facts = sidecar.value("facts").toObject();
    QCOMPARE(facts.value("outcome").toString(), QStringLiteral("stopped"));
    QCOMPARE(facts.value("mode").toString(), QStringLiteral("multi"));
    QCOMPARE(facts.value("committed_rows").toInteger(), qint64(csv.count('\n') - 1));
    // A run without a gap says so.
    QVERIFY(sidecar.value("gaps").isArray() && sidecar.value("gaps").toArray().isEmpty());
    const QJsonArray sidecarMarks = sidecar.value("marks").toArray();
    QCOMPARE(sidecarMarks.size(), 3);
    for (int i = 0; i < marks.size(); ++i) {
        const QJsonObject exported = sidecarMarks.at(i).toObject();
        QCOMPARE(exported.value("time_s").toDouble(), marks[i].time);
        QCOMPARE(exported.value("text").toString(), marks[i].text);
    }
    // The facts dialog tells the run's mode, rows, outcome and marks.
    QString factsShown;
    {
        ModalResponder responder({[&factsShown](QWidget *dialog) {
            if (auto *text = dialog->findChild<QPlainTextEdit *>())
                factsShown = text->toPlainText();
            dialog->close();
        }});
        window.findChild<QAction *>(QStringLiteral("actionRunFacts"))->trigger();
        QCOMPARE(responder.unexpected(), 0);
    }
    for (const QString &line : {QStringLiteral("run\t") + table, QStringLiteral("mode\tmulti"),
                                QStringLiteral("outcome\tstopped"),
                                QStringLiteral("committed rows\t%1").arg(csv.count('\n') - 1),
                                QStringLiteral("\tvalve shut"), QStringLiteral("gaps\tno gaps")})
        QVERIFY2(factsShown.contains(line), qPrintable(factsShown));
    QVERIFY(csv.startsWith("id,time,Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,Vol10,Vol11,"
                           "Vol12,Vol13,Vol14,Vol15,Vol16\n"));
    QCOMPARE(csv, tableAsCsv(QStringLiteral("Quorlen.db"), table, 1));
    QCOMPARE(QImage(base + QStringLiteral(".png"), "PNG").size(), window.plot()->size());

    // Cursors: the readout measures the rows between them, and the export can keep to them.
    PlotCursors *cursors = window.plot()->cursors();
    // A hair inside the samples at 0.2 and 0.6: the readout shows them at those times, so they
    // are measured and exported with the rest.
    cursors->place(PlotCursors::B, 0.59997);
    cursors->place(PlotCursors::A, 0.20003);
    CursorReadout *readout = window.cursor_readout();
    QTRY_VERIFY_WITH_TIMEOUT(readout->isVisible() && !readout->is_computing(), runTimeoutMs);
    QVERIFY2(readout->header_text().startsWith(QStringLiteral("A 0.2000 s   B 0.6000 s   Δt "
                                                              "0.4000 s")),
             qPrintable(readout->header_text()));
    QByteArray stretch = csv.left(csv.indexOf('\n') + 1);
    QList<double> firstChannel;
    for (const QByteArray &line : csv.split('\n').mid(1)) {
        const double time = line.split(',').value(1).toDouble();
        if (!line.isEmpty() && time >= 0.2 && time <= 0.6) {
            stretch += line + '\n';
            firstChannel.append(line.split(',').value(2).toDouble());
        }
    }
    QVERIFY(firstChannel.size() > 10);
    QCOMPARE(int(readout->statistics().channels().size()), 16);
    const ChannelStatistics &first = readout->statistics().channels().at(0);
    QCOMPARE(first.samples, qint64(firstChannel.size()));
    QVERIFY(std::abs(first.minimum - *std::min_element(firstChannel.begin(), firstChannel.end())) <
            0.051);
    QVERIFY(std::abs(first.maximum - *std::max_element(firstChannel.begin(), firstChannel.end())) <
            0.051);
    QCOMPARE(readout->findChild<QTableWidget *>()->rowCount(), 16);

    const QCPRange view = window.plot()->xAxis->range();
    const QString part = out.filePath(QStringLiteral("stretch"));
    MessageBoxSeen done;
    BusySeen busy;
    ModalResponder responder({[](QWidget *dialog) {
                                  const auto choices = dialog->findChildren<QRadioButton *>();
                                  if (choices.size() == 2 && !choices.at(1)->isChecked())
                                      choices.at(1)->click();
                                  answerExportOptions(true, true)(dialog);
                              },
                              answerSaveDialog(part), watchBusyDialog(&busy, part),
                              answerMessageBox(&done)});
    clickExport(window);
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(fileContents(part + QStringLiteral(".csv")), stretch);
    const QJsonObject partSidecar =
        QJsonDocument::fromJson(fileContents(part + ".json")).object().value("exported").toObject();
    QCOMPARE(partSidecar.value("rows").toInteger(), qint64(firstChannel.size()));
    QCOMPARE(partSidecar.value("from_s").toDouble(), 0.2);
    QVERIFY(QFile::exists(part + QStringLiteral(".png")));
    QCOMPARE(window.plot()->xAxis->range(), view); // the picture's stretch was a detour
}

// A run another program recorded, opened from its file: the chart holds its one-sample spike,
// the cursors measure its rows, Save exports it as the recorder would, and the file is not
// changed by any of it.
void ExportTest::reviewOfAnotherFilesRunShowsMeasuresAndExportsItAndLeavesTheFileAlone()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("recorder.db"));
    QString table;
    QList<SampleRow> rows;
    {
        SampleDatabase recorder(file);
        QVERIFY(recorder.open_database().ok());
        table =
            recorder.create_run_table(QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9)), false).value();
        for (int i = 0; i < 3000; ++i) {
            SampleRow row{i * 0.01};
            for (int c = 0; c < 16; ++c)
                row.append(i == 1234 && c == 15 ? 900.0 : std::sin(i * 0.05 + c) * 50.0);
            rows.append(row);
        }
        QCOMPARE(recorder.insert_samples(rows).rows, int(rows.size()));
        QString reason;
        for (const RunGap &gap :
             {RunGap{5.0, 0.5, RunGap::droppedSamples, 50}, RunGap{12.0, 3.25, RunGap::pause, 0}})
            QVERIFY2((reason = recorder.add_gap(table, gap).message()).isEmpty(),
                     qPrintable(reason));
        QVERIFY2((reason = recorder.add_mark(table, {12.34, QStringLiteral("spike")}).message())
                     .isEmpty(),
                 qPrintable(reason));
    }
    const QByteArray expectedCsv = tableAsCsv(file, table, 1);
    const QByteArray bytes = fileContents(file);
    const QStringList files = QDir(folder.path()).entryList(QDir::Files);

    auto window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(window->open_run(file, table));
    QVERIFY(window->shown_database()->is_read_only());
    VoltagePlot *plot = window->plot();
    QVERIFY(plot->is_browse_mode());
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_loading() && plot->graph(15)->dataCount() > 0, runTimeoutMs);
    bool found = false;
    QCOMPARE(plot->graph(15)->getValueRange(found).upper, 900.0);
    QVERIFY(plot->xAxis->range().lower <= 0.0 && plot->xAxis->range().upper >= 29.99);
    // Its gaps are shaded as the recorder stored them.
    const GapBands *bands = plot->gap_bands();
    QCOMPARE(bands->gaps().size(), 2);
    QCOMPARE(bands->gaps()[1].cause, RunGap::pause);
    QCOMPARE(bands->band(0)->topLeft->coords().x(), 5.0);
    QCOMPARE(bands->band(0)->bottomRight->coords().x(), 5.5);
    QVERIFY(bands->band(0)->visible() && bands->band(0)->layer() == plot->layer("grid"));
    QVERIFY2(window->run_status()->note().contains(QStringLiteral("gaps: 2")),
             qPrintable(window->run_status()->note()));
    // Its mark is drawn; a mark of the operator's is refused, the key's and the control's alike.
    QCOMPARE(plot->mark_lines()->count(), 1);
    QCOMPARE(plot->mark_lines()->time(0), 12.34);
    QCOMPARE(plot->mark_lines()->label(0), QStringLiteral("spike"));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(plot, Qt::Key_M);
    const QString refusal = QStringLiteral("No mark added: %1 is another file's run, shown "
                                           "read-only.")
                                .arg(table);
    QCOMPARE(window->run_status()->note(), refusal);
    {
        ModalResponder responder({});
        window->findChild<QAction *>(QStringLiteral("actionAddMark"))->trigger();
        QCOMPARE(responder.seen(), QStringList());
    }
    QCOMPARE(window->run_status()->note(), refusal);
    QCOMPARE(plot->mark_lines()->count(), 1);

    plot->cursors()->place(PlotCursors::A, 10.005);
    plot->cursors()->place(PlotCursors::B, 20.005);
    CursorReadout *readout = window->cursor_readout();
    QTRY_VERIFY_WITH_TIMEOUT(readout->isVisible() && !readout->is_computing(), runTimeoutMs);
    QCOMPARE(int(readout->statistics().channels().size()), 16);
    double sum = 0.0;
    qint64 samples = 0;
    for (const SampleRow &row : std::as_const(rows)) {
        if (row.at(0) >= 10.005 && row.at(0) <= 20.005) {
            sum += row.at(16);
            ++samples;
        }
    }
    const ChannelStatistics &last = readout->statistics().channels().at(15);
    QCOMPARE(last.samples, samples);
    QCOMPARE(last.maximum, 900.0);
    QVERIFY(std::abs(last.mean - sum / samples) < 1e-9 * std::abs(last.rms));

    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("reviewed"));
    MessageBoxSeen done;
    BusySeen busy;
    {
        ModalResponder responder({answerExportOptions(true, false), answerSaveDialog(base),
                                  watchBusyDialog(&busy, base), answerMessageBox(&done)});
        clickExport(*window);
        QCOMPARE(responder.unexpected(), 0);
    }
    QCOMPARE(fileContents(base + QStringLiteral(".csv")), expectedCsv);

    // The exported CSV opened back, as from the command line, holds the same rows: exported
    // again, the same bytes.
    {
        // Only the busy dialog of the read-in (a plain QDialog): no list of runs.
        ModalResponder reading({[](QWidget *dialog) {
            if (dialog->inherits("OpenRunDialog"))
                dialog->close();
        }});
        QVERIFY(window->open_file(base + QStringLiteral(".csv")));
        QCOMPARE(reading.seen(), QStringList{QStringLiteral("QDialog")});
    }
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_loading() && plot->graph(15)->dataCount() > 0, runTimeoutMs);
    const QString again = out.filePath(QStringLiteral("again"));
    {
        ModalResponder exported({answerExportOptions(true, false), answerSaveDialog(again),
                                 watchBusyDialog(&busy, again), answerMessageBox(&done)});
        clickExport(*window);
        QCOMPARE(exported.unexpected(), 0);
    }
    QCOMPARE(fileContents(again + QStringLiteral(".csv")), expectedCsv);
    // A CSV that is not a run's is refused with its line and why; a file that is neither a
    // database nor a CSV, with a dialog.
    for (const auto &[name, text, why] :
         {std::tuple{QStringLiteral("foreign.csv"), QByteArray("a,b,c\n1,2,3\n"),
                     QStringLiteral("line 1: the header")},
          std::tuple{QStringLiteral("foreign.csv"),
                     QByteArray("id,time,Vol\n1,0.0000,1.5\n2,0.0100,x\n"),
                     QStringLiteral("line 3: field 3 is not a number")},
          std::tuple{QStringLiteral("notes.txt"), QByteArray("Lab notes\n"),
                     QStringLiteral("neither a database nor a CSV file")}}) {
        const QString foreign = out.filePath(name);
        QFile notes(foreign);
        QVERIFY(notes.open(QIODevice::WriteOnly | QIODevice::Truncate));
        notes.write(text);
        notes.close();
        MessageBoxSeen refused;
        // A file that is not read in shows no busy dialog.
        QList<ModalResponder::Handler> answers{answerMessageBox(&refused)};
        if (name.endsWith(QLatin1String(".csv")))
            answers.prepend(watchBusyDialog(&busy, foreign));
        ModalResponder responder(answers);
        QVERIFY(!window->open_file(foreign));
        QVERIFY2(refused.text.contains(why), qPrintable(refused.text));
    }

    window.reset();
    QCOMPARE(fileContents(file), bytes);
    // SQLite may leave its own companions of a write-ahead log that a reader cannot remove.
    QStringList left = QDir(folder.path()).entryList(QDir::Files);
    left.removeAll(QStringLiteral("recorder.db-wal"));
    left.removeAll(QStringLiteral("recorder.db-shm"));
    QCOMPARE(left, files);
}

// The time of day is the start from the run's facts (to the millisecond, not the second its
// name holds) plus t, on the tick labels, the click label and the cursor readout alike; the
// choice outlives the window, and a window without a run's start reads seconds.
void ExportTest::timeOfDayFollowsTheStoredStartOnAxisLabelAndReadoutAndIsRemembered()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("clock.db"));
    const QDateTime start(QDate(2025, 3, 5), QTime(14, 7, 9, 250));
    QString table;
    {
        SampleDatabase recorder(file);
        QVERIFY(recorder.open_database().ok());
        table = recorder.create_run_table(start, true).value();
        RunFacts facts;
        facts.started = start.toUTC();
        QString reason;
        QVERIFY2((reason = recorder.write_facts_start(table, facts).message()).isEmpty(),
                 qPrintable(reason));
        QList<SampleRow> rows;
        for (int i = 0; i < 3000; ++i)
            rows.append(SampleRow{i * 0.01, 1.5});
        QCOMPARE(recorder.insert_samples(rows).rows, int(rows.size()));
    }
    auto window = std::make_unique<MainWindow>();
    window->show();
    auto *timeOfDay = window->findChild<QAction *>(QStringLiteral("actionTimeOfDay"));
    QVERIFY(timeOfDay && !timeOfDay->isChecked());
    QVERIFY(window->open_run(file, table));
    VoltagePlot *plot = window->plot();
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_loading() && plot->graph(0)->dataCount() > 0, runTimeoutMs);
    timeOfDay->trigger();
    QCOMPARE(settingOnDisk(QStringLiteral("time_axis_time_of_day")), QStringLiteral("true"));
    plot->xAxis->setRange(10.0, 12.0);
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_loading() && !plot->shows_envelope(), runTimeoutMs);
    plot->replot();
    // Ticks fall on round clock times, a quarter second off the round offsets.
    const QVector<double> ticks = plot->xAxis->tickVector();
    const QVector<QString> labels = plot->xAxis->tickVectorLabels();
    const qsizetype at = std::find_if(ticks.begin(), ticks.end(),
                                      [](double t) { return std::abs(t - 10.75) < 1e-6; }) -
                         ticks.begin();
    QVERIFY2(at < ticks.size(), qPrintable(QStringList(labels.toList()).join(' ')));
    QVERIFY2(
        QRegularExpression(QStringLiteral("^14:07:20(\\.0+)?$")).match(labels.at(at)).hasMatch(),
        qPrintable(labels.at(at)));

    QMouseEvent click(QEvent::MouseButtonPress, QPointF(), QPointF(), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    const auto sample = plot->graph(0)->data()->findBegin(10.049, false);
    QVERIFY(std::abs(sample->key - 10.05) < 1e-9);
    emit plot->plottableClick(plot->graph(0), int(sample - plot->graph(0)->data()->constBegin()),
                              &click);
    QCOMPARE(plot->value_label()->text(), QStringLiteral("CH1: 14:07:19.3, 1.5 mV"));
    plot->cursors()->place(PlotCursors::A, 10.005);
    plot->cursors()->place(PlotCursors::B, 20.005);
    CursorReadout *readout = window->cursor_readout();
    QTRY_VERIFY_WITH_TIMEOUT(readout->isVisible() && !readout->is_computing(), runTimeoutMs);
    QCOMPARE(readout->header_text(),
             QStringLiteral("A 14:07:19.2550   B 14:07:29.2550   Δt 10.0000 s"));
    // Switched off, all three read seconds again at once.
    timeOfDay->trigger();
    QCOMPARE(readout->header_text(), QStringLiteral("A 10.0050 s   B 20.0050 s   Δt 10.0000 s"));
    QCOMPARE(plot->value_label()->text(), QStringLiteral("CH1: 10.05, 1.5 mV"));
    timeOfDay->trigger();

    window.reset(); // one window per folder
    window = std::make_unique<MainWindow>();
    timeOfDay = window->findChild<QAction *>(QStringLiteral("actionTimeOfDay"));
    QVERIFY(timeOfDay && timeOfDay->isChecked());
    QVERIFY(!window->plot()->shows_time_of_day()); // no run's start known yet
    QVERIFY(window->open_run(file, table));
    QVERIFY(window->plot()->shows_time_of_day());
    QCOMPARE(window->plot()->xAxis->label(), QStringLiteral("Time of day"));
    timeOfDay->trigger(); // the other cases read seconds
}

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
