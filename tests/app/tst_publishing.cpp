#include "brokerpublishing.h"
#include "brokersettings.h"
#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "mosquittobroker.h"
#include "mqttcollector.h"
#include "mqttpublisher.h"
#include "publishsettingsdialog.h"
#include "runtablecheck.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "settingsstore.h"
#include "windowoperator.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {

constexpr int answerTimeoutMs = 30000;
constexpr int runTimeoutMs = 60000;

QLabel *mqttLabel(const MainWindow &window)
{
    return window.statusBar()->findChild<QLabel *>(QStringLiteral("mqttState"));
}

// Opens Publish Settings from the menu of the Open Run button, as the operator does.
PublishSettingsDialog *openPublishSettings(MainWindow &window)
{
    auto *action = window.findChild<QAction *>(QStringLiteral("actionPublishSettings"));
    if (action == nullptr)
        return nullptr;
    action->trigger();
    return window.findChild<PublishSettingsDialog *>();
}

template <typename T> T *field(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

void pressOk(QWidget *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

void choosePublishing(bool enabled, const QString &url)
{
    write_setting(QStringLiteral("publish/enabled"), enabled);
    write_setting(QStringLiteral("publish/url"), url);
}

} // namespace

class PublishingTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void settingsDialogKeepsTheAddressAndNeverThePassword();
    void settingsDialogRefusesABadAddress();
    void unreachableBrokerShowsOfflineWithTheProblem();
    void recordedRunReachesASubscriberRowByRow();
    void newSettingsDuringARunTakeEffectFromTheNextRun();

private:
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void PublishingTest::initTestCase()
{
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
    // No secret store here, for certain: the stores are reached over the session bus, which
    // would otherwise be found beside the user's runtime folder or started for the display.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + workDir_->file("no-bus").toUtf8());
    qunsetenv("DISPLAY");
}

void PublishingTest::init()
{
    write_setting(QStringLiteral("NormalExit"), true);
    choosePublishing(false, QString());
    qunsetenv(BrokerSettings::passwordVariable);
}

void PublishingTest::settingsDialogKeepsTheAddressAndNeverThePassword()
{
    MainWindow window;
    QVERIFY(!mqttLabel(window)->isVisibleTo(&window)); // publishing is off
    QPointer<PublishSettingsDialog> dialog = openPublishSettings(window);
    QVERIFY(dialog != nullptr);
    QVERIFY(dialog->isVisible());

    auto *note = field<QLabel>(dialog, "secretStoreNote");
    QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), answerTimeoutMs);
    QCOMPARE(note->text(), QStringLiteral("No secret store is running: the password is taken "
                                          "from TELVANE_MQTT_PASSWORD or a password file."));

    const MosquittoBroker absent; // never started: nothing listens on its port
    const QString url = absent.url(QStringLiteral("bench"), QStringLiteral("station"));
    const QString password = QStringLiteral("never-on-disk-7c41");
    field<QCheckBox>(dialog, "publishEnabled")->setChecked(true);
    field<QLineEdit>(dialog, "publishUrl")->setText(url);
    auto *passwordField = field<QLineEdit>(dialog, "publishPassword");
    QTest::keyClicks(passwordField, password);
    pressOk(dialog);
    // The store could not keep it: the dialog stays open, forgets it and keeps nothing yet.
    QTRY_VERIFY_WITH_TIMEOUT(passwordField->text().isEmpty(), answerTimeoutMs);
    QVERIFY(dialog->isVisible());
    QVERIFY(note->isVisible());
    QVERIFY(settingOnDisk(QStringLiteral("publish/url")).isEmpty());

    pressOk(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(dialog == nullptr || !dialog->isVisible(), answerTimeoutMs);
    QCOMPARE(settingOnDisk(QStringLiteral("publish/url")), url);
    QCOMPARE(settingOnDisk(QStringLiteral("publish/enabled")), QStringLiteral("true"));
    const QString onDisk = settingsFileOnDisk();
    QVERIFY2(!onDisk.contains(password), qPrintable(onDisk));
    // The window took the new settings at once.
    QTRY_VERIFY_WITH_TIMEOUT(mqttLabel(window)->isVisibleTo(&window), answerTimeoutMs);
}

void PublishingTest::settingsDialogRefusesABadAddress()
{
    MainWindow window;
    QPointer<PublishSettingsDialog> dialog = openPublishSettings(window);
    QVERIFY(dialog != nullptr);
    field<QCheckBox>(dialog, "publishEnabled")->setChecked(true);
    field<QLineEdit>(dialog, "publishUrl")->setText(QStringLiteral("http://127.0.0.1/bench"));
    pressOk(dialog);
    QVERIFY(dialog != nullptr && dialog->isVisible());
    auto *problem = field<QLabel>(dialog, "publishProblem");
    QVERIFY(problem->isVisible());
    QVERIFY(!problem->text().isEmpty());
    QVERIFY(settingOnDisk(QStringLiteral("publish/url")).isEmpty());
    QCOMPARE(settingOnDisk(QStringLiteral("publish/enabled")), QStringLiteral("false"));
    QVERIFY(!mqttLabel(window)->isVisibleTo(&window));
}

void PublishingTest::unreachableBrokerShowsOfflineWithTheProblem()
{
    const MosquittoBroker absent; // never started: nothing listens on its port
    choosePublishing(true, absent.url(QStringLiteral("bench")));
    MainWindow window;
    QLabel *label = mqttLabel(window);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("MQTT: offline, 0 behind"),
                              answerTimeoutMs);
    QVERIFY(label->isVisibleTo(&window));
    QVERIFY(!label->toolTip().isEmpty());
}

void PublishingTest::recordedRunReachesASubscriberRowByRow()
{
    const QString user = QStringLiteral("station");
    const QString password = QStringLiteral("pw-2f9a");
    MosquittoBroker::Options options;
    options.users.insert(user, password);
    MosquittoBroker broker(options);
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    MqttCollector::Options listen;
    listen.port = broker.port();
    listen.prefix = QStringLiteral("bench");
    listen.user = user;
    listen.password = password;
    MqttCollector collector(listen);
    QVERIFY2(collector.start(), qPrintable(collector.error()));

    // No secret store runs: the password comes from the environment.
    qputenv(BrokerSettings::passwordVariable, password.toUtf8());
    choosePublishing(true, broker.url(QStringLiteral("bench"), user));
    InstrumentSimulator instrument(3);
    QVERIFY(instrument.start());
    auto window = std::make_unique<MainWindow>();
    QLabel *label = mqttLabel(*window);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("MQTT: 0 behind"), answerTimeoutMs);

    WindowOperator op(window.get());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 3);
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);

    const QString table = window->run_session()->table();
    const QList<SampleRow> rows = readRunTable(window->database(), table);
    QVERIFY(!rows.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(qsizetype(collector.rows_by_id().size()), rows.size(), runTimeoutMs);
    QStringList problems;
    const auto published = collector.rows_by_id(&problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    QCOMPARE(collector.sample_run(), table);
    qint64 id = 1;
    for (const SampleRow &row : rows) {
        const auto found = published.find(id);
        QVERIFY2(found != published.end(), qPrintable(QString::number(id)));
        QCOMPARE(found->second.time, row.first());
        QCOMPARE(found->second.values, row.mid(1));
        ++id;
    }
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("MQTT: 0 behind"), answerTimeoutMs);
}

void PublishingTest::newSettingsDuringARunTakeEffectFromTheNextRun()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    MqttCollector::Options listen;
    listen.port = broker.port();
    listen.prefix = QStringLiteral("first");
    listen.clientId = QStringLiteral("first-listener");
    MqttCollector first(listen);
    QVERIFY2(first.start(), qPrintable(first.error()));
    listen.prefix = QStringLiteral("second");
    listen.clientId = QStringLiteral("second-listener");
    MqttCollector second(listen);
    QVERIFY2(second.start(), qPrintable(second.error()));

    choosePublishing(true, broker.url(QStringLiteral("first")));
    InstrumentSimulator instrument(4);
    QVERIFY(instrument.start());
    auto window = std::make_unique<MainWindow>();
    QTRY_COMPARE_WITH_TIMEOUT(mqttLabel(*window)->text(), QStringLiteral("MQTT: 0 behind"),
                              answerTimeoutMs);
    WindowOperator op(window.get());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 3);
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());

    // The operator points the window at another prefix while the run goes on.
    QPointer<PublishSettingsDialog> dialog = openPublishSettings(*window);
    QVERIFY(dialog != nullptr);
    field<QLineEdit>(dialog, "publishUrl")->setText(broker.url(QStringLiteral("second")));
    pressOk(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(dialog == nullptr || !dialog->isVisible(), answerTimeoutMs);
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);

    // The run went to the prefix it began with, whole.
    const QString firstRun = window->run_session()->table();
    const qsizetype firstRows = readRunTable(window->database(), firstRun).size();
    QVERIFY(firstRows > 0);
    QTRY_COMPARE_WITH_TIMEOUT(qsizetype(first.rows_by_id().size()), firstRows, runTimeoutMs);
    QCOMPARE(first.sample_run(), firstRun);
    // Then the publisher changed over: the old one said goodbye before the new one said hello.
    QTRY_COMPARE_WITH_TIMEOUT(second.last_payload(QStringLiteral("second/state")),
                              QByteArray("online"), answerTimeoutMs);
    QCOMPARE(first.last_payload(QStringLiteral("first/state")), QByteArray("offline"));

    op.prepareRun(false, "radioButton_med", 100, 2);
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    const QString secondRun = window->run_session()->table();
    QVERIFY(secondRun != firstRun);
    const qsizetype secondRows = readRunTable(window->database(), secondRun).size();
    QVERIFY(secondRows > 0);
    QTRY_COMPARE_WITH_TIMEOUT(qsizetype(second.rows_by_id().size()), secondRows, runTimeoutMs);
    QCOMPARE(second.sample_run(), secondRun);
    QCOMPARE(first.sample_run(), firstRun);
    QCOMPARE(qsizetype(first.rows_by_id().size()), firstRows);
}

QTEST_MAIN(PublishingTest)
#include "tst_publishing.moc"
