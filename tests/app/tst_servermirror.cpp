// The window and a real PostgreSQL server (started by the test on a Unix socket): Mirror
// Settings keeps the URI in config.ini and never a password, refuses a URI carrying one; a
// window mirroring its runs gets every row of a recorded run onto the server, read back with
// psql, and its status bar ends at "Server: 0 behind"; a run the recorder mirrored is listed
// from the server, opened in the window and saved as the recorder's own CSV.
#include "cursorreadout.h"
#include "dialoganswers.h"
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "mirrorsettingsdialog.h"
#include "openrundialog.h"
#include "plotcursors.h"
#include "postgresserver.h"
#include "recorderprocess.h"
#include "runsession.h"
#include "runstatusbar.h"
#include "runtablecheck.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "settingsstore.h"
#include "voltageplot.h"
#include "windowoperator.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int answerTimeoutMs = 30000;
constexpr int runTimeoutMs = 60000;
const QString database = QStringLiteral("telvane");

QLabel *serverLabel(const MainWindow &window)
{
    return window.statusBar()->findChild<QLabel *>(QStringLiteral("serverState"));
}

// Opens Mirror Settings from the menu of the Open Run button, as the operator does.
MirrorSettingsDialog *openMirrorSettings(MainWindow &window)
{
    auto *action = window.findChild<QAction *>(QStringLiteral("actionMirrorSettings"));
    if (action == nullptr)
        return nullptr;
    action->trigger();
    return window.findChild<MirrorSettingsDialog *>();
}

template <typename T> T *field(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

void pressOk(QWidget *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void chooseMirroring(bool enabled, const QString &uri)
{
    write_setting(QStringLiteral("mirror/enabled"), enabled);
    write_setting(QStringLiteral("mirror/uri"), uri);
}

} // namespace

class ServerMirrorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void settingsDialogKeepsTheUriAndNeverThePassword();
    void settingsDialogRefusesAUriWithAPassword();
    void unreachableServerShowsOfflineWithTheProblem();
    void recordedRunReachesTheServerRowByRow();
    void mirroringTurnedOnDuringARunStartsWithTheNextRun();
    void recorderRunOpenedFromTheServerIsReviewedAndSavedAsTheRecorderDid();

private:
    std::unique_ptr<ScopedWorkDir> workDir_;
    std::unique_ptr<PostgresServer> server_;
};

void ServerMirrorTest::initTestCase()
{
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
    // No secret store here, for certain: the stores are reached over the session bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + workDir_->file("no-bus").toUtf8());
    qunsetenv("DISPLAY");
    qunsetenv("PGPASSWORD");
    server_ = std::make_unique<PostgresServer>();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    QVERIFY2(server_->create_database(database), qPrintable(server_->error()));
}

void ServerMirrorTest::init()
{
    write_setting(QStringLiteral("NormalExit"), true);
    chooseMirroring(false, QString());
}

void ServerMirrorTest::settingsDialogKeepsTheUriAndNeverThePassword()
{
    MainWindow window;
    QVERIFY(!serverLabel(window)->isVisibleTo(&window)); // mirroring is off
    QPointer<MirrorSettingsDialog> dialog = openMirrorSettings(window);
    QVERIFY(dialog != nullptr);
    QVERIFY(dialog->isVisible());

    auto *note = field<QLabel>(dialog, "secretStoreNote");
    QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), answerTimeoutMs);
    QCOMPARE(note->text(), QStringLiteral("No secret store is running: the password is taken "
                                          "from ~/.pgpass or PGPASSWORD."));

    const QString uri = server_->uri(database);
    const QString password = QStringLiteral("never-on-disk-51e0");
    field<QCheckBox>(dialog, "mirrorEnabled")->setChecked(true);
    field<QLineEdit>(dialog, "mirrorUri")->setText(uri);
    auto *passwordField = field<QLineEdit>(dialog, "mirrorPassword");
    QTest::keyClicks(passwordField, password);
    pressOk(dialog);
    // No store could keep it: the dialog stays open, forgets it and keeps nothing yet.
    QTRY_VERIFY_WITH_TIMEOUT(passwordField->text().isEmpty(), answerTimeoutMs);
    QVERIFY(dialog->isVisible());
    QVERIFY(settingOnDisk(QStringLiteral("mirror/uri")).isEmpty());

    pressOk(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(dialog == nullptr || !dialog->isVisible(), answerTimeoutMs);
    QCOMPARE(read_setting(QStringLiteral("mirror/uri"), QString()).toString(), uri);
    const QString onDisk = settingsFileOnDisk();
    QVERIFY2(onDisk.contains(uri), qPrintable(onDisk));
    QCOMPARE(settingOnDisk(QStringLiteral("mirror/enabled")), QStringLiteral("true"));
    QVERIFY2(!onDisk.contains(password), qPrintable(onDisk));
    // The window took the new settings at once, and the server answers.
    QTRY_COMPARE_WITH_TIMEOUT(serverLabel(window)->text(), QStringLiteral("Server: 0 behind"),
                              answerTimeoutMs);
}

void ServerMirrorTest::settingsDialogRefusesAUriWithAPassword()
{
    MainWindow window;
    QPointer<MirrorSettingsDialog> dialog = openMirrorSettings(window);
    QVERIFY(dialog != nullptr);
    const QString password = QStringLiteral("in-the-uri-93bd");
    field<QCheckBox>(dialog, "mirrorEnabled")->setChecked(true);
    field<QLineEdit>(dialog, "mirrorUri")
        ->setText(server_->uri(database) + QStringLiteral("&password=") + password);
    pressOk(dialog);
    QVERIFY(dialog != nullptr && dialog->isVisible());
    auto *problem = field<QLabel>(dialog, "mirrorProblem");
    QVERIFY(problem->isVisible());
    QVERIFY(problem->text().contains(QLatin1String("password")));
    QCOMPARE(settingOnDisk(QStringLiteral("mirror/enabled")), QStringLiteral("false"));
    QVERIFY(settingOnDisk(QStringLiteral("mirror/uri")).isEmpty());
    QVERIFY(!settingsFileOnDisk().contains(password));
    QVERIFY(!serverLabel(window)->isVisibleTo(&window));
}

void ServerMirrorTest::unreachableServerShowsOfflineWithTheProblem()
{
    const QTemporaryDir nobody; // no server's socket in it
    chooseMirroring(true, QStringLiteral("postgresql:///%1?host=%2").arg(database, nobody.path()));
    MainWindow window;
    QLabel *label = serverLabel(window);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Server: offline, 0 behind"),
                              answerTimeoutMs);
    QVERIFY(label->isVisibleTo(&window));
    QVERIFY2(label->toolTip().contains(nobody.path()), qPrintable(label->toolTip()));
}

void ServerMirrorTest::recordedRunReachesTheServerRowByRow()
{
    chooseMirroring(true, server_->uri(database));
    InstrumentSimulator instrument(3);
    QVERIFY(instrument.start());
    auto window = std::make_unique<MainWindow>();
    QLabel *label = serverLabel(*window);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Server: 0 behind"), answerTimeoutMs);

    WindowOperator op(window.get());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 3);
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);

    const QString table = window->run_session()->table();
    const QList<SampleRow> rows = readRunTable(window->database(), table);
    QVERIFY(!rows.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Server: 0 behind"), runTimeoutMs);
    const QString catalogue =
        QStringLiteral("SELECT name FROM telvane_runs WHERE local_name = '%1' AND complete")
            .arg(table);
    QTRY_VERIFY_WITH_TIMEOUT(!server_->psql(catalogue).isEmpty(), answerTimeoutMs);
    const QString name = server_->psql(catalogue);
    const QStringList lines =
        server_->psql(QStringLiteral("SELECT * FROM \"%1\" ORDER BY id").arg(name))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QStringList fields = lines.at(i).split(QLatin1Char('|'));
        QCOMPARE(fields.first().toLongLong(), i + 1);
        SampleRow server;
        for (qsizetype f = 1; f < fields.size(); ++f)
            server.append(fields.at(f).toDouble());
        QCOMPARE(server, rows.at(i));
    }
}

void ServerMirrorTest::mirroringTurnedOnDuringARunStartsWithTheNextRun()
{
    InstrumentSimulator instrument(4);
    QVERIFY(instrument.start());
    auto window = std::make_unique<MainWindow>();
    WindowOperator op(window.get());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 2);
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());

    QPointer<MirrorSettingsDialog> dialog = openMirrorSettings(*window);
    QVERIFY(dialog != nullptr);
    field<QCheckBox>(dialog, "mirrorEnabled")->setChecked(true);
    field<QLineEdit>(dialog, "mirrorUri")->setText(server_->uri(database));
    pressOk(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(dialog == nullptr || !dialog->isVisible(), answerTimeoutMs);
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    const QString first = window->run_session()->table();
    QLabel *label = serverLabel(*window);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Server: 0 behind"), answerTimeoutMs);

    op.prepareRun(false, "radioButton_med", 100, 2);
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    const QString second = window->run_session()->table();
    QVERIFY(second != first);
    const qsizetype rows = readRunTable(window->database(), second).size();
    QVERIFY(rows > 0);
    const QString mirrored =
        QStringLiteral("SELECT rows FROM telvane_runs WHERE local_name = '%1' AND complete");
    QTRY_COMPARE_WITH_TIMEOUT(server_->psql(mirrored.arg(second)), QString::number(rows),
                              runTimeoutMs);
    // The run under way when the settings changed stayed where it began: nowhere.
    QCOMPARE(server_->psql(QStringLiteral("SELECT count(*) FROM telvane_runs WHERE local_name = "
                                          "'%1'")
                               .arg(first)),
             QStringLiteral("0"));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Server: 0 behind"), runTimeoutMs);
}

void ServerMirrorTest::recorderRunOpenedFromTheServerIsReviewedAndSavedAsTheRecorderDid()
{
    QTemporaryDir folder;
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), folder.path());
    recorder.start({"--simulate", "--mode", "multi", "--rate", "100", "--time", "3", "--db",
                    "run.db", "--csv", "run.csv", "--mirror", server_->uri(database), "--station",
                    "bench"});
    QCOMPARE(recorder.finish(runTimeoutMs), 0);
    const QByteArray recorded = fileContents(folder.filePath(QStringLiteral("run.csv")));
    const qsizetype rows = recorded.count('\n') - 1;
    QVERIFY2(rows > 0, qPrintable(recorder.output()));
    const QString name = server_->psql(
        QStringLiteral(
            "SELECT name FROM telvane_runs WHERE station = 'bench' AND local_name = '%1'")
            .arg(recorder.table()));
    QVERIFY2(!name.isEmpty(), qPrintable(server_->error()));

    auto window = std::make_unique<MainWindow>();
    window->show();
    QStringList lines; // of the busy dialogs
    // In Open Run the operator lists the server's runs and opens one; the URI is kept.
    {
        QString listedRows;
        QString chosen;
        ModalResponder responder(
            {[&](QWidget *widget) {
                 auto *dialog = qobject_cast<OpenRunDialog *>(widget);
                 if (dialog == nullptr || !chosen.isEmpty())
                     return;
                 dialog->findChild<QLineEdit *>(QStringLiteral("serverUri"))
                     ->setText(server_->uri(database));
                 // Lists behind a busy dialog of its own, which closes by itself.
                 dialog->findChild<QPushButton *>(QStringLiteral("listServerRuns"))->click();
                 auto *list = dialog->findChild<QTableWidget *>();
                 const QList<QTableWidgetItem *> found = list->findItems(name, Qt::MatchExactly);
                 if (found.size() != 1)
                     return dialog->reject();
                 listedRows = list->item(found.first()->row(), 3)->text();
                 list->selectRow(found.first()->row());
                 chosen = dialog->table();
                 dialog->accept();
             },
             noteBusyDialogLines(&lines)});
        QVERIFY(window->choose_run());
        QCOMPARE(responder.unexpected(), 0);
        QCOMPARE(chosen, name);
        QCOMPARE(listedRows, QString::number(rows));
        // Copied behind the busy dialog.
        QVERIFY2(
            lines.join(QLatin1Char('\n')).contains(QStringLiteral("Copying the run %1").arg(name)),
            qPrintable(lines.join(QLatin1Char('\n'))));
        QCOMPARE(window->shown_table(), name);
        QCOMPARE(read_setting(QStringLiteral("review/server"), QString()).toString(),
                 server_->uri(database));
    }

    // Opened as from the command line: telvane URI --table NAME.
    {
        ModalResponder responder({noteBusyDialogLines(&lines)});
        QVERIFY(window->open_file(server_->uri(database), name));
        QCOMPARE(responder.unexpected(), 0);
    }
    QVERIFY(window->shown_database()->is_read_only());
    QCOMPARE(window->shown_table(), name);
    QVERIFY2(window->run_status()->note().contains(name), qPrintable(window->run_status()->note()));
    VoltagePlot *plot = window->plot();
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_loading() && plot->graph(15)->dataCount() > 0, runTimeoutMs);
    const QList<SampleRow> shown = readRunTable(window->shown_database(), name);
    QCOMPARE(shown.size(), rows);
    // The cursors measure it as they measure a file's run.
    plot->cursors()->place(PlotCursors::A, 0.5);
    plot->cursors()->place(PlotCursors::B, 1.5);
    CursorReadout *readout = window->cursor_readout();
    QTRY_VERIFY_WITH_TIMEOUT(readout->isVisible() && !readout->is_computing(), runTimeoutMs);
    QCOMPARE(int(readout->statistics().channels().size()), 16);
    qint64 between = 0;
    for (const SampleRow &row : shown)
        between += row.first() >= 0.5 && row.first() <= 1.5 ? 1 : 0;
    QCOMPARE(readout->statistics().channels().front().samples, between);

    // Save writes what the recorder wrote.
    QTemporaryDir out;
    const QString base = out.filePath(QStringLiteral("reviewed"));
    MessageBoxSeen done;
    {
        ModalResponder responder({answerExportOptions(true, false), answerSaveDialog(base),
                                  noteBusyDialogLines(&lines), answerMessageBox(&done)});
        window->findChild<QPushButton *>(QStringLiteral("ExportFile"))->click();
        QCOMPARE(responder.unexpected(), 0);
    }
    QCOMPARE(fileContents(base + QStringLiteral(".csv")), recorded);
}

QTEST_MAIN(ServerMirrorTest)
#include "tst_servermirror.moc"
