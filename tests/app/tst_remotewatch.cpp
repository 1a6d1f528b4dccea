// The window watching another station's run over a real Mosquitto broker: a run published by
// telvane-cli record scrolls on the plot, goes into the scratch table and is saved as the
// recorder's own CSV; rows delivered twice are kept once and skipped ids are named in the
// sidecar; marks and gaps arrive; the instrument's controls wait while watching.
#include "dialoganswers.h"
#include "gapbands.h"
#include "mainwindow.h"
#include "marklines.h"
#include "modalresponder.h"
#include "mosquittobroker.h"
#include "remotewatch.h"
#include "runstatusbar.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "settingsstore.h"
#include "voltageplot.h"

#include <QAction>
#include <QFile>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int arrivalMs = 60000;
constexpr int recorderMs = 180000;

QByteArray file_content(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject json_file(const QString &path)
{
    return QJsonDocument::fromJson(file_content(path)).object();
}

bool enabled(MainWindow &window, const char *name)
{
    return window.findChild<QPushButton *>(QString::fromLatin1(name))->isEnabled();
}

// Publishes one message as another station would, with the broker's own client.
bool publish(const MosquittoBroker &broker, const QString &topic, const QByteArray &message,
             bool retain = false)
{
    QStringList arguments{"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-q", "1",
                          "-t", topic,       "-m", QString::fromUtf8(message)};
    if (retain)
        arguments << QStringLiteral("-r");
    QProcess client;
    client.start(QStringLiteral("mosquitto_pub"), arguments);
    return client.waitForFinished(arrivalMs) && client.exitStatus() == QProcess::NormalExit &&
           client.exitCode() == 0;
}

// Saves the run on show as CSV under base, as the operator does with Save; the closing
// message, or an empty one when a dialog came up that should not have.
MessageBoxSeen save_csv(MainWindow &window, const QString &base)
{
    MessageBoxSeen message;
    QStringList busy;
    ModalResponder responder({answerExportOptions(true, false), answerSaveDialog(base),
                              noteBusyDialogLines(&busy), answerMessageBox(&message)});
    window.findChild<QPushButton *>(QStringLiteral("ExportFile"))->click();
    (void)QTest::qWaitFor([&] { return !message.title.isEmpty() || responder.unexpected() > 0; },
                          arrivalMs);
    return responder.unexpected() == 0 ? message : MessageBoxSeen();
}

const char *const multiColumns =
    R"("columns":["id","time","Vol1","Vol2","Vol3","Vol4","Vol5","Vol6","Vol7","Vol8",)"
    R"("Vol9","Vol10","Vol11","Vol12","Vol13","Vol14","Vol15","Vol16"])";

// A samples message of run with a row per id: time id/10, Vol1 = id mV, the rest 0.
QByteArray samples(const QString &run, QList<int> ids)
{
    QByteArray rows;
    for (const int id : ids) {
        rows += (rows.isEmpty() ? "[" : ",[") + QByteArray::number(id) + ',' +
                QByteArray::number(id / 10.0) + ',' + QByteArray::number(id);
        for (int column = 1; column < 16; ++column)
            rows += ",0";
        rows += ']';
    }
    return "{\"run\":\"" + run.toUtf8() + "\"," + multiColumns + ",\"rows\":[" + rows + "]}";
}

} // namespace

class RemoteWatchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recordersRunIsShownKeptAndSavedAsItsOwnCsv();
    void twiceDeliveredRowsCountOnceAndSkippedIdsAreNamed();
    void leavingTheWatchGivesTheControlsBack();
    void anAddressThatIsNoBrokersIsRefused();
    void commandLineWatchConnectsToTheBroker();

private:
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void RemoteWatchTest::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    workDir_ = std::make_unique<ScopedWorkDir>();
    write_setting(QStringLiteral("NormalExit"), true);
}

void RemoteWatchTest::recordersRunIsShownKeptAndSavedAsItsOwnCsv()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    const QString url = broker.url(QStringLiteral("lab/bench1"));

    MainWindow window;
    window.show();
    QVERIFY(window.watch_remote(url));
    QCOMPARE(read_setting(RemoteWatch::urlKey, QString()).toString(), url);
    QVERIFY(!enabled(window, "SampleStart"));
    QVERIFY(!enabled(window, "connect"));
    QVERIFY(!enabled(window, "SampleStop"));
    RemoteWatch *watch = window.remote_watch();
    QTRY_COMPARE_WITH_TIMEOUT(watch->watcher()->link(), MqttWatcher::Link::Online, arrivalMs);

    QTemporaryDir station;
    QProcess recorder;
    recorder.setWorkingDirectory(station.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TELVANE_FREE_SPACE_RESERVE"), QStringLiteral("0"));
    recorder.setProcessEnvironment(environment);
    recorder.start(QStringLiteral(TELVANE_CLI_EXECUTABLE),
                   {"record", "--simulate", "--mode", "multi", "--rate", "50", "--time", "3",
                    "--db", "run.db", "--csv", "run.csv", "--publish", url});
    // The run is live on the window's plot while the station records it.
    QTRY_VERIFY_WITH_TIMEOUT(window.plot()->last_time() > 0.0, arrivalMs);
    QVERIFY(!window.plot()->is_browse_mode());
    QVERIFY(window.plot()->graphCount() == VoltagePlot::channelCount);
    QVERIFY(QTest::qWaitFor([&] { return recorder.state() == QProcess::NotRunning; }, recorderMs));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    const QString output = QString::fromUtf8(recorder.readAllStandardOutput());
    QVERIFY2(recorder.exitCode() == 0,
             qPrintable(output + QString::fromUtf8(recorder.readAllStandardError())));
    const QString table = output.section(QLatin1Char('\n'), 0, 0);

    const QByteArray recorded = file_content(station.filePath(QStringLiteral("run.csv")));
    const qint64 rows = recorded.count('\n') - 1;
    QVERIFY(rows > 100);
    QTRY_COMPARE_WITH_TIMEOUT(watch->received_rows(), rows, arrivalMs);
    QTRY_VERIFY_WITH_TIMEOUT(watch->facts() && watch->facts()->is_complete(), arrivalMs);
    QTRY_COMPARE_WITH_TIMEOUT(watch->station_state(), QStringLiteral("offline"), arrivalMs);
    QCOMPARE(window.shown_table(), table);
    QTRY_COMPARE_WITH_TIMEOUT(window.shown_database()->row_count(table), rows, arrivalMs);
    QVERIFY(watch->missing_ids().isEmpty());
    // The station's facts and state in the status bar.
    const QString note = window.run_status()->note();
    for (const QString &part :
         {broker.url(QStringLiteral("lab/bench1")).section(QStringLiteral("://"), 1),
          QStringLiteral("station offline"), table, QStringLiteral("multi channel"),
          QStringLiteral("50 p/s"),
          watch->facts()->started.toLocalTime().toString(QStringLiteral("hh:mm:ss"))})
        QVERIFY2(note.contains(part), qPrintable(note + QStringLiteral(" lacks ") + part));
    // A watcher never commands the instrument, however long it watches.
    QVERIFY(!enabled(window, "SampleStart"));

    // Pausing browses what was received, from the scratch table.
    window.findChild<QPushButton *>(QStringLiteral("SamplePause"))->click();
    QVERIFY(window.plot()->is_browse_mode());

    const QString base = workDir_->file(QStringLiteral("received"));
    const MessageBoxSeen saved = save_csv(window, base);
    QVERIFY2(saved.text.startsWith(QStringLiteral("Export successful")), qPrintable(saved.text));
    QCOMPARE(file_content(base + QStringLiteral(".csv")), recorded);
    const QJsonObject sidecar = json_file(base + QStringLiteral(".json"));
    QCOMPARE(sidecar.value(QStringLiteral("run")).toString(), table);
    const QJsonObject received = sidecar.value(QStringLiteral("received")).toObject();
    QCOMPARE(received.value(QStringLiteral("over")).toString(), QStringLiteral("MQTT"));
    QCOMPARE(received.value(QStringLiteral("from")).toString(),
             url.section(QStringLiteral("://"), 1));
    QCOMPARE(received.value(QStringLiteral("missing_ids")).toArray(), QJsonArray());
    const QJsonObject stationFacts =
        json_file(station.filePath(QStringLiteral("run.json"))).value("facts").toObject();
    QCOMPARE(sidecar.value(QStringLiteral("facts")).toObject().value("started_utc"),
             stationFacts.value("started_utc"));
    QCOMPARE(sidecar.value(QStringLiteral("facts")).toObject().value("outcome"),
             stationFacts.value("outcome"));
}

void RemoteWatchTest::twiceDeliveredRowsCountOnceAndSkippedIdsAreNamed()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    const QString url = broker.url(QStringLiteral("st2"));
    MainWindow window;
    window.show();
    QVERIFY(window.watch_remote(url));
    RemoteWatch *watch = window.remote_watch();
    QTRY_COMPARE_WITH_TIMEOUT(watch->watcher()->link(), MqttWatcher::Link::Online, arrivalMs);

    const QString run = QStringLiteral("dataSample_20261209_10_00_00");
    QVERIFY(publish(broker, QStringLiteral("st2/samples"), samples(run, {1, 2, 3})));
    QVERIFY(publish(broker, QStringLiteral("st2/samples"), samples(run, {2, 3, 4})));
    QVERIFY(publish(broker, QStringLiteral("st2/samples"), samples(run, {7, 8})));
    QVERIFY(publish(broker, QStringLiteral("st2/marks"),
                    R"({"run":"dataSample_20261209_10_00_00","time_s":0.3,"text":"valve"})"));
    QVERIFY(publish(broker, QStringLiteral("st2/gaps"),
                    R"({"run":"dataSample_20261209_10_00_00","start_s":0.4,"length_s":0.3,)"
                    R"("cause":"dropped samples","count":2})"));
    QTRY_COMPARE_WITH_TIMEOUT(watch->received_rows(), 6, arrivalMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.plot()->mark_lines()->count(), 1, arrivalMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.shown_database()->read_gaps(run).size(), 1, arrivalMs);
    QCOMPARE(watch->missing_ids(), (QList<qint64>{5, 6}));
    QCOMPARE(window.plot()->mark_lines()->label(0), QStringLiteral("valve"));

    // A broker that goes away and comes back: the watch connects and subscribes again.
    QSignalSpy links(watch->watcher(), &MqttWatcher::link_changed);
    QVERIFY2(broker.restart(), qPrintable(broker.error()));
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(links.cbegin(), links.cend(),
                                         [](const QList<QVariant> &link) {
                                             return link.at(0).value<MqttWatcher::Link>() ==
                                                    MqttWatcher::Link::Online;
                                         }),
                             arrivalMs);
    // Rows that come during a pause are browsed from the table, and drawn live once it ends.
    auto *pause = window.findChild<QPushButton *>(QStringLiteral("SamplePause"));
    pause->click();
    QVERIFY(window.plot()->is_browse_mode());
    QCOMPARE(pause->text(), QStringLiteral("Continue"));
    QVERIFY(publish(broker, QStringLiteral("st2/samples"), samples(run, {9})));
    QTRY_COMPARE_WITH_TIMEOUT(watch->received_rows(), 7, arrivalMs);
    QCOMPARE(window.plot()->last_time(), 0.8);
    pause->click();
    QVERIFY(!window.plot()->is_browse_mode());
    QCOMPARE(window.plot()->last_time(), 0.9);

    window.remote_watch()->stop_watching();
    QVERIFY(enabled(window, "SampleStart"));
    const QString base = workDir_->file(QStringLiteral("skipped"));
    const MessageBoxSeen saved = save_csv(window, base);
    QVERIFY2(saved.text.startsWith(QStringLiteral("Export successful")), qPrintable(saved.text));
    const QList<QByteArray> lines = file_content(base + QStringLiteral(".csv")).split('\n');
    QCOMPARE(lines.size(), 1 + 7 + 1); // header, rows, the last line's end
    QVERIFY(lines.at(1).startsWith("1,0.1000,1.0,"));
    QVERIFY(lines.at(5).startsWith("5,0.7000,7.0,")); // id 7, the table's fifth row
    const QJsonObject sidecar = json_file(base + QStringLiteral(".json"));
    QCOMPARE(sidecar.value("received").toObject().value("missing_ids").toArray(),
             (QJsonArray{5, 6}));
    QCOMPARE(sidecar.value("received").toObject().value("from").toString(),
             url.section(QStringLiteral("://"), 1));
    QCOMPARE(sidecar.value("marks").toArray().size(), 1);
    QCOMPARE(sidecar.value("gaps").toArray().size(), 1);
}

void RemoteWatchTest::leavingTheWatchGivesTheControlsBack()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    MainWindow window;
    window.show();
    auto *stop = window.findChild<QAction *>(QStringLiteral("actionStopWatching"));
    auto *watchAgain = window.findChild<QAction *>(QStringLiteral("actionWatchRemote"));
    QVERIFY(!stop->isEnabled());
    // "Watch Remote…" offers the address watched last.
    write_setting(RemoteWatch::urlKey, QStringLiteral("mqtt://127.0.0.1:1/before"));
    QString offered;
    {
        ModalResponder responder({[&](QWidget *dialog) {
            auto *input = qobject_cast<QInputDialog *>(dialog);
            if (input == nullptr)
                return;
            offered = input->textValue();
            input->setTextValue(broker.url(QStringLiteral("st3")));
            input->accept();
        }});
        watchAgain->trigger();
        QCOMPARE(responder.unexpected(), 0);
    }
    QCOMPARE(offered, QStringLiteral("mqtt://127.0.0.1:1/before"));
    QVERIFY(window.remote_watch()->is_watching());
    QCOMPARE(read_setting(RemoteWatch::urlKey, QString()).toString(),
             broker.url(QStringLiteral("st3")));
    QVERIFY(stop->isEnabled());
    QVERIFY(!watchAgain->isEnabled());
    QVERIFY(enabled(window, "SamplePause"));
    stop->trigger();
    QVERIFY(!window.remote_watch()->is_watching());
    QVERIFY(enabled(window, "SampleStart"));
    QVERIFY(enabled(window, "connect"));
    QVERIFY(!enabled(window, "SamplePause"));
    QVERIFY(watchAgain->isEnabled());

    // Opening a run for review leaves a watch too.
    QVERIFY(window.watch_remote(broker.url(QStringLiteral("st3"))));
    QVERIFY(!enabled(window, "SampleStart"));
    const QString csv = workDir_->file(QStringLiteral("other.csv"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("id,time,Vol\n1,0.0000,1.0\n2,0.0010,2.0\n");
    file.close();
    QStringList busy;
    ModalResponder responder({noteBusyDialogLines(&busy)});
    QVERIFY(window.open_csv(csv));
    QVERIFY(!window.remote_watch()->is_watching());
    QVERIFY(window.remote_watch()->shown_database() == nullptr);
    QCOMPARE(window.shown_database()->row_count(window.shown_table()), 2);
    QVERIFY(enabled(window, "SampleStart"));
    QVERIFY(enabled(window, "connect"));
}

void RemoteWatchTest::anAddressThatIsNoBrokersIsRefused()
{
    MainWindow window;
    window.show();
    MessageBoxSeen warning;
    ModalResponder responder({answerMessageBox(&warning)});
    QVERIFY(!window.watch_remote(QStringLiteral("http://127.0.0.1/lab")));
    QVERIFY(warning.text.contains(QStringLiteral("cannot be watched")));
    QVERIFY(!window.remote_watch()->is_watching());
    QVERIFY(enabled(window, "SampleStart"));
}

void RemoteWatchTest::commandLineWatchConnectsToTheBroker()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    QTemporaryDir folder;
    QProcess telvane;
    telvane.setWorkingDirectory(folder.path());
    telvane.start(QStringLiteral(TELVANE_EXECUTABLE),
                  {QStringLiteral("--watch"), broker.url(QStringLiteral("st4"))});
    QVERIFY(telvane.waitForStarted(arrivalMs));
    // The broker names the clients it lets in; the watcher's name says what it is.
    QTRY_VERIFY2_WITH_TIMEOUT(broker.log().contains(QStringLiteral(" as telvane-watch-")),
                              qPrintable(broker.log()), arrivalMs);
    QCOMPARE(telvane.state(), QProcess::Running);
    telvane.kill();
    QVERIFY(telvane.waitForFinished(arrivalMs));
}

QTEST_MAIN(RemoteWatchTest)
#include "tst_remotewatch.moc"
