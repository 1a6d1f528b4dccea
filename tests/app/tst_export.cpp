#include "cursorreadout.h"
#include "dialoganswers.h"
#include "filesizelimit.h"
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "modalresponder.h"
#include "plotcursors.h"
#include "posixlocks.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "settingsstore.h"
#include "tablecontents.h"
#include "voltageplot.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

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

bool succeeded(const QSqlQuery &query)
{
    return query.lastError().type() == QSqlError::NoError;
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
            for (const QString &extension : {QStringLiteral(".csv"), QStringLiteral(".png")}) {
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
    void typedExtensionIsKeptAndAnotherAppended();
    void nothingChosenWarnsWithoutAskingForAFile();
    void cancelledFileDialogWritesNothing();
    void saveDialogLeavesTheDatabaseToSqliteAndOutsideReadersMissNoRow();
    void failuresAreReportedAsErrors_data();
    void failuresAreReportedAsErrors();
    void escapeClosesTheBusyDialogEarlyAndTheResultIsStillReported();
    void exportIsInertWhileARunIsActiveOrStopping();
    void exportOfASimulatedRunMatchesTheStoredTable();
    void reviewOfAnotherFilesRunShowsMeasuresAndExportsItAndLeavesTheFileAlone();

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
        if (database->drop_tables({runTable}) && database->create_table(runTable, true))
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
    QCOMPARE(filesIn(out.path()), expected);
    QCOMPARE(filesAtMessage.size(), expected.size());
    // The message names each file written, in full.
    QStringList named;
    for (const QString &file : expected)
        named.append(out.filePath(file));
    QCOMPARE(filesNamedBy(message.text), named);
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

void ExportTest::typedExtensionIsKeptAndAnotherAppended()
{
    auto window = windowWithRun(2);
    QTemporaryDir out;
    const QString typed = out.filePath(QStringLiteral("run7.csv"));
    const MessageBoxSeen message = exportBoth(*window, typed);
    QCOMPARE(filesNamedBy(message.text),
             (QStringList{typed + QStringLiteral(".csv"), typed + QStringLiteral(".png")}));
    QCOMPARE(filesIn(out.path()),
             (QStringList{QStringLiteral("run7.csv.csv"), QStringLiteral("run7.csv.png")}));
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
    QCOMPARE(window->database()->insert_samples(someRows(500)), 500);
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
        << QStringList{QStringLiteral("run7.csv"), QStringLiteral("run7.png")} << 0;
    // The last bytes of a file are written when it closes; failing there must fail the export
    // too, and no cut-off file is left behind.
    QTest::newRow("table on a full disk") << 400 << ""
                                          << ""
                                          << "CSV save failed" << QStringList() << 4096;
    // Room for the small table, not for the picture.
    QTest::newRow("picture on a full disk")
        << 2 << ""
        << ""
        << "Image save failed" << QStringList{QStringLiteral("run7.csv")} << 4096;
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
    QVERIFY(succeeded(database->execute_query(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"))));
    QVERIFY(succeeded(database->execute_query(QStringLiteral("BEGIN EXCLUSIVE"))));
    QVERIFY(succeeded(database->execute_query(QStringLiteral("COMMIT"))));
    bool holding = true;
    auto letGo = [&]() {
        holding = false;
        database->execute_query(QStringLiteral("PRAGMA locking_mode=NORMAL"));
        // The next read ends with the lock given up.
        database->execute_query(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
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
    QCOMPARE(filesNamedBy(message.text).size(), 2);
    QCOMPARE(filesAtMessage, (QStringList{QStringLiteral(".csv"), QStringLiteral(".png")}));
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
    window.findChild<QPushButton *>(QStringLiteral("SampleStop"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);

    const QString table = window.database()->current_table_name();
    QVERIFY(rowsInTable(QStringLiteral("Quorlen.db"), table) >= 100);
    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("run"));
    const MessageBoxSeen message = exportBoth(window, base);
    QCOMPARE(filesNamedBy(message.text),
             (QStringList{base + QStringLiteral(".csv"), base + QStringLiteral(".png")}));
    const QByteArray csv = fileContents(base + QStringLiteral(".csv"));
    QVERIFY(csv.startsWith("id,time,Vol1,Vol2,Vol3,Vol4,Vol5,Vol6,Vol7,Vol8,Vol9,Vol10,Vol11,"
                           "Vol12,Vol13,Vol14,Vol15,Vol16\n"));
    QCOMPARE(csv, tableAsCsv(QStringLiteral("Quorlen.db"), table, 1));
    QCOMPARE(QImage(base + QStringLiteral(".png"), "PNG").size(), window.plot()->size());

    // Cursors: the readout measures the rows between them, and the export can keep to them.
    PlotCursors *cursors = window.plot()->cursors();
    // Between samples, so that no row sits on an end the CSV's rounding could move.
    cursors->place(PlotCursors::B, 0.6049);
    cursors->place(PlotCursors::A, 0.2049);
    CursorReadout *readout = window.cursor_readout();
    QTRY_VERIFY_WITH_TIMEOUT(readout->isVisible() && !readout->is_computing(), runTimeoutMs);
    QVERIFY2(readout->header_text().startsWith(QStringLiteral("A 0.2049 s   B 0.6049 s   Δt "
                                                              "0.4000 s")),
             qPrintable(readout->header_text()));
    QByteArray stretch = csv.left(csv.indexOf('\n') + 1);
    QList<double> firstChannel;
    for (const QByteArray &line : csv.split('\n').mid(1)) {
        const double time = line.split(',').value(1).toDouble();
        if (!line.isEmpty() && time >= 0.2049 && time <= 0.6049) {
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
        QVERIFY(recorder.open_database());
        table = recorder.create_run_table(QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9)), false);
        for (int i = 0; i < 3000; ++i) {
            SampleRow row{i * 0.01};
            for (int c = 0; c < 16; ++c)
                row.append(i == 1234 && c == 15 ? 900.0 : std::sin(i * 0.05 + c) * 50.0);
            rows.append(row);
        }
        QCOMPARE(recorder.insert_samples(rows), int(rows.size()));
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

    // The exported CSV opened back holds the same rows: exported again, the same bytes.
    QVERIFY(window->open_csv(base + QStringLiteral(".csv")));
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_loading() && plot->graph(15)->dataCount() > 0, runTimeoutMs);
    const QString again = out.filePath(QStringLiteral("again"));
    {
        ModalResponder exported({answerExportOptions(true, false), answerSaveDialog(again),
                                 watchBusyDialog(&busy, again), answerMessageBox(&done)});
        clickExport(*window);
        QCOMPARE(exported.unexpected(), 0);
    }
    QCOMPARE(fileContents(again + QStringLiteral(".csv")), expectedCsv);
    // A CSV that is not a run's is refused with its line and why.
    for (const auto &[text, why] :
         {std::pair{QByteArray("a,b,c\n1,2,3\n"), QStringLiteral("line 1: the header")},
          std::pair{QByteArray("id,time,Vol\n1,0.0000,1.5\n2,0.0100,x\n"),
                    QStringLiteral("line 3: field 3 is not a number")}}) {
        const QString foreign = out.filePath(QStringLiteral("foreign.csv"));
        QFile notes(foreign);
        QVERIFY(notes.open(QIODevice::WriteOnly | QIODevice::Truncate));
        notes.write(text);
        notes.close();
        MessageBoxSeen refused;
        ModalResponder responder({watchBusyDialog(&busy, foreign), answerMessageBox(&refused)});
        QVERIFY(!window->open_csv(foreign));
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

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
