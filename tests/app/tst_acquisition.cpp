#include "battery.h"
#include "dialoganswers.h"
#include "gapbands.h"
#include "instrumentsimulator.h"
#include "logreader.h"
#include "mainwindow.h"
#include "protocol.h"
#include "runstatusbar.h"
#include "runtablecheck.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "serialmanager.h"
#include "settingsondisk.h"
#include "settingsstore.h"
#include "voltageplot.h"
#include "windowoperator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <memory>

namespace {

constexpr int runTimeoutMs = 30000;
constexpr int statusIntervalMs = 120000;

// Length of "dataSample_yyyyMMdd_hh_mm_ss", the name without a suffix.
constexpr int baseTableNameLength = 28;

QList<int> commandCodes(const InstrumentSimulator &instrument)
{
    QList<int> codes;
    const QList<QByteArray> commands = instrument.received_commands();
    for (const QByteArray &packet : commands)
        codes.append(quint8(packet.at(1)));
    return codes;
}

int lastCommandCode(const InstrumentSimulator &instrument)
{
    const QList<int> codes = commandCodes(instrument);
    return codes.isEmpty() ? -1 : codes.last();
}

// Time stamp of sample `index` of a run, as the decoder gives it.
double sampleTime(qsizetype index, int rate)
{
    return double(index) / rate;
}

// Differences between the window's controls and the Connected state.
QStringList connectedStateFaults(const MainWindow &window, const WindowOperator &op)
{
    QStringList faults;
    auto expect = [&faults](bool holds, const char *what) {
        if (!holds)
            faults.append(QLatin1String(what));
    };
    expect(op.text("connect") == QLatin1String("Disconnect"), "connect reads Disconnect");
    expect(!window.is_acquiring(), "not acquiring");
    expect(op.text("SamplePause") == QLatin1String("Pause"), "SamplePause reads Pause");
    expect(!window.display_timer()->isActive(), "display timer stopped");
    expect(window.status_timer()->isActive(), "status timer running");
    expect(window.status_timer()->interval() == statusIntervalMs, "status poll every 120 s");
    expect(!op.isEnabled("SampleStop"), "SampleStop disabled");
    expect(!op.isEnabled("SamplePause"), "SamplePause disabled");
    for (const char *name : {"SampleStart", "SignalChannel", "MultiChannel", "groupBoxSample",
                             "groupBoxExcitation", "ExportFile", "connect"}) {
        if (!op.isEnabled(name))
            faults.append(QLatin1String(name) + QLatin1String(" enabled"));
    }
    expect(window.plot()->is_browse_mode(), "plot browsing");
    return faults;
}

// The numbers logged after prefix, in order.
QList<qint64> loggedNumbers(const QStringList &messages, const QString &prefix,
                            const QString &suffix = QString())
{
    QList<qint64> numbers;
    for (const QString &message : messages) {
        if (!message.startsWith(prefix) || !message.endsWith(suffix))
            continue;
        bool ok = false;
        const qint64 number =
            message.mid(prefix.size(), message.size() - prefix.size() - suffix.size())
                .toLongLong(&ok);
        if (ok)
            numbers.append(number);
    }
    return numbers;
}

// Appends the status bar's text to shown when it differs from the last one there.
void noteStatusText(const MainWindow &window, QStringList *shown)
{
    const QString text = window.run_status()->text();
    if (shown->isEmpty() || shown->last() != text)
        shown->append(text);
}

// A window connected to a simulated instrument; the log is read from before the window was
// made. Members are destroyed window first, instrument last.
class ConnectedWindow
{
public:
    // startupAnswer, when given, answers the one prompt the window shows while it starts.
    explicit ConnectedWindow(quint32 pattern, ModalResponder::Handler startupAnswer = nullptr)
        : instrument(std::make_unique<InstrumentSimulator>(pattern))
    {
        if (!instrument->start())
            return;
        if (startupAnswer) {
            ModalResponder responder({startupAnswer});
            window = std::make_unique<MainWindow>();
            startupPromptsUnexpected = responder.unexpected();
        } else {
            window = std::make_unique<MainWindow>();
        }
        op = std::make_unique<WindowOperator>(window.get());
        const QList<MessageBoxSeen> seen = op->connectTo(instrument->port_name());
        connected = seen.size() == 1 && seen.first().text == QLatin1String("Connection Success");
    }

    // Prepares and starts a run; the name of its table, or empty when it did not start.
    QString start(bool singleChannel, const char *preset, int rate, int seconds)
    {
        op->prepareRun(singleChannel, preset, rate, seconds);
        op->click("SampleStart");
        return window->is_acquiring() ? window->database()->current_table_name() : QString();
    }

    // Unplugs the instrument and answers the message boxes that follow into seen. True once
    // a box came and the window has no dialog open any more; unexpected counts dialogs that
    // were no message box.
    bool lose_instrument(QList<MessageBoxSeen> *seen, int *unexpected)
    {
        ModalResponder responder({answerOk(seen)});
        instrument->vanish();
        const bool settled =
            QTest::qWaitFor([seen] { return !seen->isEmpty(); }, runTimeoutMs) &&
            QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; },
                            runTimeoutMs);
        *unexpected = responder.unexpected();
        return settled;
    }

    // Closes the window, which writes out its log, and returns the messages of the test.
    QStringList close_and_read_log()
    {
        window.reset();
        return log.messages();
    }

    std::unique_ptr<InstrumentSimulator> instrument;
    LogReader log;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowOperator> op;
    bool connected = false;
    int startupPromptsUnexpected = 0;
};

} // namespace

class AcquisitionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startingWithoutAConnectionAsksForOneAndSendsNothing();
    void connectingShowsSuccessBatteryAndPollsTheStatus();
    void moduleCodesWidenAndNarrowTheExcitationRange();
    void singleChannelRunStoresEverySampleTheInstrumentSent();
    void multiChannelRunStoppedByTheOperatorStoresEverySample();
    void pauseAndContinueSendTheirCommandsAndSwitchBrowsing();
    void slowRunPausedShowsItsRowsInTheTableAndTheChart();
    void lostInstrumentEndsTheRunKeepingEveryDecodedSample();
    void samplesDroppedWhileStorageStallsAreGapsOfTheirCount();
    void lostInstrumentWhileIdleReturnsToDisconnected();
    void closingTheWindowMidRunStopsStoresAndCleansUp();
    void closingTheWindowWhileFramesStreamStopsTheInstrument();
    void closingAfterAnUnexportedRunAsksFirst();
    void closingDuringARunWithSaveEndsItThenExportsEveryRow();
    void closingNamesEveryUnexportedRunAndDropsOnlyTheWindowsOwn();
    void tableDroppedUnderARunIsReportedAsLost();
    void runsTheInstrumentDoesNotEndAreEndedKeepingEveryRow_data();
    void runsTheInstrumentDoesNotEndAreEndedKeepingEveryRow();
    void twoRunsStartedWithinOneSecondLandInTwoTables();
    void liveChartKeepsADriftingSignalInsideItsVerticalRange();
    void portListRefreshKeepsTheChosenAndTheOpenPort();
    void runTheFileSystemCannotHoldIsRefusedNamingFreeSpaceAndNeed();
    void portLostWithReconnectOnWaitsAndStartsTheRunAgain();

private:
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void AcquisitionTest::initTestCase()
{
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
}

void AcquisitionTest::init()
{
    write_setting(QStringLiteral("NormalExit"), true);
}

void AcquisitionTest::startingWithoutAConnectionAsksForOneAndSendsNothing()
{
    InstrumentSimulator instrument(1);
    QVERIFY(instrument.start());
    MainWindow window;
    WindowOperator op(&window);
    window.set_extra_ports({instrument.port_name()});

    const QList<MessageBoxSeen> seen = op.click("SampleStart");
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().title, QStringLiteral("Message"));
    QCOMPARE(seen.first().text, QStringLiteral("Please connect the serial port first"));
    QVERIFY(!window.is_acquiring());
    QVERIFY(window.database()->table_names().isEmpty());
    QVERIFY(instrument.received_commands().isEmpty());
}

void AcquisitionTest::connectingShowsSuccessBatteryAndPollsTheStatus()
{
    InstrumentSimulator instrument(2);
    instrument.set_battery(63);
    // As USB adapters deliver it: a stray byte, then the reply in two pieces.
    instrument.set_split_status_reply(true);
    QVERIFY(instrument.start());
    MainWindow window;
    WindowOperator op(&window);
    auto *battery = window.findChild<Battery *>();
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("PortComboBox"));

    QList<MessageBoxSeen> seen =
        op.connectTo(QDir::current().filePath(QStringLiteral("no-such-port")));
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().text.startsWith(QStringLiteral("Connection Failed\n")) &&
                 seen.first().text.endsWith(QStringLiteral("no-such-port cannot be opened: it "
                                                           "does not exist.")),
             qPrintable(seen.first().text));
    QCOMPARE(op.text("connect"), QStringLiteral("Connect"));
    QVERIFY(ports->isEnabled());
    QVERIFY(!window.status_timer()->isActive());

    seen = op.connectTo(instrument.port_name());
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().title, QStringLiteral("Message"));
    QCOMPARE(seen.first().text, QStringLiteral("Connection Success"));
    QCOMPARE(seen.first().icon, QMessageBox::Information);
    QCOMPARE(seen.first().buttons, QMessageBox::Ok);
    QCOMPARE(seen.first().parentTitle, QStringLiteral("Telvane V1.1.0"));
    QCOMPARE(op.text("connect"), QStringLiteral("Disconnect"));
    QVERIFY(!ports->isEnabled());
    // The status was queried and applied before the success message.
    QCOMPARE(instrument.received_commands(), QList<QByteArray>{status_query_command()});
    QVERIFY(!battery->isHidden());
    QCOMPARE(battery->level(), 63.0);
    QCOMPARE(battery->toolTip(), QStringLiteral("Battery 63 % (50 to 74 %)\nNo range module: "
                                                "excitation up to ±10 V"));
    QVERIFY2(window.run_status()->text().startsWith(QStringLiteral("Connected")),
             qPrintable(window.run_status()->text()));
    QVERIFY(window.status_timer()->isActive());
    QCOMPARE(window.status_timer()->interval(), statusIntervalMs);
    QVERIFY(!window.display_timer()->isActive());

    seen = op.click("connect");
    QVERIFY(seen.isEmpty());
    QCOMPARE(op.text("connect"), QStringLiteral("Connect"));
    QVERIFY(ports->isEnabled());
    QVERIFY(!window.status_timer()->isActive());

    // An instrument that does not answer: the port stays open, the last level is not shown.
    instrument.stall(3 * SerialManager::statusReplyTimeoutMs);
    seen = op.connectTo(instrument.port_name());
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().text.contains(QStringLiteral("did not answer")),
             qPrintable(seen.first().text));
    QCOMPARE(op.text("connect"), QStringLiteral("Disconnect"));
    QVERIFY(battery->isHidden());
    QVERIFY(window.status_timer()->isActive());
}

void AcquisitionTest::moduleCodesWidenAndNarrowTheExcitationRange()
{
    InstrumentSimulator instrument(3);
    instrument.set_module_present(true);
    QVERIFY(instrument.start());
    MainWindow window;
    WindowOperator op(&window);
    const QList<QDoubleSpinBox *> boxes = {
        window.findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_vout")),
        window.findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_vout1")),
        window.findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_vout2")),
        window.findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_vout3")),
        window.findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_vout4"))};
    const QList<const char *> captions = {"label_vout", "label_vout0", "label_vout1", "label_vout2",
                                          "label_vout3"};
    const QStringList names = {QStringLiteral("Vout"), QStringLiteral("V1"), QStringLiteral("V2"),
                               QStringLiteral("V3"), QStringLiteral("V4")};
    auto checkRange = [&](double limit, const QString &range) {
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(boxes.at(i)->minimum(), -limit);
            QCOMPARE(boxes.at(i)->maximum(), limit);
            QCOMPARE(op.text(captions.at(i)), names.at(i) + QLatin1Char(' ') + range);
        }
    };

    QVERIFY(!window.is_attenuator_present());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    QVERIFY(window.is_attenuator_present());
    checkRange(80.0, QStringLiteral("(-80~80 V)"));
    if (QTest::currentTestFailed())
        return;
    auto *battery = window.findChild<Battery *>();
    QVERIFY2(battery->toolTip().endsWith(
                 QStringLiteral("\nRange module fitted: excitation up to ±80 V")),
             qPrintable(battery->toolTip()));

    boxes.at(0)->setValue(50.0);
    boxes.at(1)->setValue(-75.0);
    boxes.at(2)->setValue(5.5);
    boxes.at(3)->setValue(80.0);
    QCOMPARE(boxes.at(0)->value(), 50.0);

    // A repeated "11" changes nothing.
    const auto *serial = window.findChild<SerialManager *>();
    QVERIFY(QMetaObject::invokeMethod(&window, "check_lower_computer_status"));
    QTRY_VERIFY_WITH_TIMEOUT(!serial->status_requested(), 10000);
    QVERIFY(window.is_attenuator_present());
    checkRange(80.0, QStringLiteral("(-80~80 V)"));
    QCOMPARE(boxes.at(0)->value(), 50.0);
    QCOMPARE(boxes.at(1)->value(), -75.0);

    // "22" narrows the range and clamps what no longer fits. An instrument slow to answer
    // does not hold the window up: the check returns at once, the reply is applied as it comes.
    instrument.set_module_present(false);
    instrument.set_status_reply_delay(std::chrono::milliseconds(300));
    QVERIFY(QMetaObject::invokeMethod(&window, "check_lower_computer_status"));
    QVERIFY(window.is_attenuator_present());
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_attenuator_present(), 10000);
    checkRange(10.0, QStringLiteral("(-10~10 V)"));
    QVERIFY2(
        battery->toolTip().endsWith(QStringLiteral("\nNo range module: excitation up to ±10 V")),
        qPrintable(battery->toolTip()));
    QCOMPARE(boxes.at(0)->value(), 10.0);
    QCOMPARE(boxes.at(1)->value(), -10.0);
    QCOMPARE(boxes.at(2)->value(), 5.5);
    QCOMPARE(boxes.at(3)->value(), 10.0);
    QCOMPARE(boxes.at(4)->value(), 0.0);
}

void AcquisitionTest::singleChannelRunStoresEverySampleTheInstrumentSent()
{
    constexpr quint32 pattern = 41;
    constexpr int rate = 5000;
    constexpr int seconds = 2;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    WindowOperator &op = *bench.op;
    std::unique_ptr<MainWindow> &window = bench.window;
    window->findChild<QDoubleSpinBox *>(QStringLiteral("doubleSpinBox_vout"))->setValue(2.5);

    const QString table = bench.start(true, "radioButton_fast", rate, seconds);
    QVERIFY(!table.isEmpty());
    QVERIFY(!window->plot()->is_browse_mode());
    QVERIFY(window->display_timer()->isActive());
    QVERIFY(!window->status_timer()->isActive());
    for (const char *name : {"SignalChannel", "MultiChannel", "SampleStart", "ExportFile",
                             "groupBoxSample", "groupBoxExcitation"})
        QVERIFY2(!op.isEnabled(name), name);
    QVERIFY(op.isEnabled("SampleStop"));
    QVERIFY(op.isEnabled("SamplePause"));
    QCOMPARE(read_setting(QStringLiteral("last_table_name"), QString()).toString(), table);

    // The instrument ends the run by itself after its time; the status bar follows the run.
    QStringList statusTexts;
    QTRY_VERIFY_WITH_TIMEOUT((noteStatusText(*window, &statusTexts), !window->is_acquiring()),
                             runTimeoutMs);
    QCOMPARE(instrument.samples_sent(), quint64(rate * seconds));
    const QStringList faults = connectedStateFaults(*window, op);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));

    // Single-channel mode shows channel 1 alone.
    const QString shown = op.text("voltage_label_1");
    QVERIFY2(QRegularExpression(QStringLiteral("^  -?\\d+\\.\\d mV$")).match(shown).hasMatch(),
             qPrintable(shown));
    QVERIFY(op.text("voltage_label_2").isEmpty());

    const QList<SampleRow> rows = readRunTable(window->database(), table);
    QCOMPARE(rows.size(), qsizetype(rate * seconds));
    const QString difference = differenceFromWaveform(rows, true, rate, pattern);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    // Changing while it recorded: the run time went through 0, 1 and 2 s at least.
    const QStringList recording = statusTexts.filter(QStringLiteral("Recording  |  "));
    QVERIFY2(recording.size() >= 3, qPrintable(statusTexts.join(QLatin1Char('\n'))));
    for (const QString &text : recording)
        QVERIFY2(text.contains(QStringLiteral(" / 2 s  |  ")) && text.contains(table),
                 qPrintable(text));
    noteStatusText(*window, &statusTexts);
    QCOMPARE(statusTexts.last(),
             QStringLiteral(
                 "Connected  |  2 / 2 s  |  10000 rows stored  |  0 dropped  |  no gaps  |  ") +
                 table +
                 QStringLiteral("  |  The run ended by itself after its collection time: 10000 "
                                "rows stored."));

    // The status query that follows the run goes out from the event loop.
    QTRY_COMPARE_WITH_TIMEOUT(instrument.received_commands().size(), 3, runTimeoutMs);
    const QList<QByteArray> commands = instrument.received_commands();
    QCOMPARE(commands.at(1), start_single_command(2.5f, rate, seconds));
    QCOMPARE(commands.at(2), status_query_command()); // asked again once the run is over

    const QStringList messages = bench.close_and_read_log();
    QCOMPARE(messages.filter(QStringLiteral("开始采集,速度=5000,时间=2")).size(), 1);
    QCOMPARE(messages.count(QStringLiteral("采集停止")), 1);
    const QList<qint64> durations =
        loggedNumbers(messages, QStringLiteral("执行时间 = "), QStringLiteral(" ms"));
    QCOMPARE(durations.size(), 1);
    // The run clock covers at least most of the instrument's two seconds.
    QVERIFY2(durations.first() >= 1500, qPrintable(QString::number(durations.first())));
    QCOMPARE(loggedNumbers(messages, QStringLiteral("采集点数 = ")), QList<qint64>{rate * seconds});
}

void AcquisitionTest::multiChannelRunStoppedByTheOperatorStoresEverySample()
{
    constexpr quint32 pattern = 42;
    constexpr int rate = 150;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    WindowOperator &op = *bench.op;
    std::unique_ptr<MainWindow> &window = bench.window;
    const QList<double> volts = {1.25, -2.5, 3.0, -9.75};
    const QList<const char *> voltNames = {"doubleSpinBox_vout1", "doubleSpinBox_vout2",
                                           "doubleSpinBox_vout3", "doubleSpinBox_vout4"};
    for (int i = 0; i < volts.size(); ++i)
        window->findChild<QDoubleSpinBox *>(QLatin1String(voltNames.at(i)))->setValue(volts.at(i));

    // Asked for 5000 points per second, which "Fast" allows only in single-channel mode.
    const QString table = bench.start(false, "radioButton_fast", 5000, 60);
    QVERIFY(!table.isEmpty());
    QCOMPARE(window->findChild<QSpinBox *>(QStringLiteral("spinBox_sampleSpeed"))->value(), rate);
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= quint64(rate), runTimeoutMs);

    // The port stays open during a run.
    const QList<MessageBoxSeen> refused = op.click("connect");
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.first().text, QStringLiteral("Unable to disconnect during data collection"));
    QCOMPARE(op.text("connect"), QStringLiteral("Disconnect"));
    QVERIFY(window->is_acquiring());

    op.click("SampleStop");
    // Stopping: the run goes on until the end frame arrives.
    QVERIFY(window->is_acquiring());
    QVERIFY2(window->run_status()->text().startsWith(QStringLiteral("Stopping  |  ")),
             qPrintable(window->run_status()->text()));
    QVERIFY(!op.isEnabled("SampleStart"));
    QVERIFY(op.isEnabled("ExportFile"));
    QVERIFY(op.isEnabled("groupBoxSample"));
    QVERIFY(op.isEnabled("groupBoxExcitation"));
    // Export is refused until the run has ended.
    QVERIFY(op.click("ExportFile").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    const QStringList faults = connectedStateFaults(*window, op);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));

    QTRY_COMPARE_WITH_TIMEOUT(instrument.received_commands().size(), 4, runTimeoutMs);
    const QList<QByteArray> commands = instrument.received_commands();
    QCOMPARE(commands.at(1), start_multi_command(1.25f, -2.5f, 3.0f, -9.75f, rate, 60));
    QCOMPARE(commands.at(2), stop_command());
    QCOMPARE(commands.at(3), status_query_command());

    const quint64 sent = instrument.samples_sent();
    const QList<SampleRow> rows = readRunTable(window->database(), table);
    QCOMPARE(quint64(rows.size()), sent);
    const QString difference = differenceFromWaveform(rows, false, rate, pattern);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(window->run_status()->note(),
             QStringLiteral("Run stopped: %1 rows stored.").arg(rows.size()));

    const QStringList messages = bench.close_and_read_log();
    QVERIFY(messages.indexOf(QStringLiteral("停止采集")) >= 0);
    QVERIFY(messages.indexOf(QStringLiteral("采集停止")) >
            messages.indexOf(QStringLiteral("停止采集")));
    QCOMPARE(loggedNumbers(messages, QStringLiteral("执行时间 = "), QStringLiteral(" ms")).size(),
             1);
    QCOMPARE(loggedNumbers(messages, QStringLiteral("采集点数 = ")), QList<qint64>{qint64(sent)});
}

void AcquisitionTest::pauseAndContinueSendTheirCommandsAndSwitchBrowsing()
{
    constexpr quint32 pattern = 43;
    constexpr int rate = 100;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    WindowOperator &op = *bench.op;
    std::unique_ptr<MainWindow> &window = bench.window;
    const QString table = bench.start(false, "radioButton_med", rate, 60);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= 20, runTimeoutMs);

    op.click("SamplePause");
    QCOMPARE(op.text("SamplePause"), QStringLiteral("Continue"));
    QVERIFY2(window->run_status()->text().startsWith(QStringLiteral("Paused  |  ")),
             qPrintable(window->run_status()->text()));
    QVERIFY(window->plot()->is_browse_mode());
    QVERIFY(!window->display_timer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(lastCommandCode(instrument), 0x15, runTimeoutMs);
    QCOMPARE(instrument.received_commands().last(), pause_command());
    const quint64 sentBeforeContinue = instrument.samples_sent();
    // The run time shown is running time: more than a second paused leaves it where it was
    // (and the pause lasts the millisecond at least that the gap checks below need).
    const auto runTimeShown = [&window] {
        window->run_status()->refresh();
        return window->run_status()->text().section(QStringLiteral("  |  "), 1, 1);
    };
    const QString pausedAt = runTimeShown();
    QTest::qWait(1200);
    QCOMPARE(runTimeShown(), pausedAt);

    op.click("SamplePause");
    QCOMPARE(op.text("SamplePause"), QStringLiteral("Pause"));
    QVERIFY(!window->plot()->is_browse_mode());
    QVERIFY(window->display_timer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(lastCommandCode(instrument), 0x16, runTimeoutMs);
    QCOMPARE(instrument.received_commands().last(), continue_command());
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= sentBeforeContinue + 10, runTimeoutMs);

    // Stop while paused: the run ends when the end frame arrives.
    op.click("SamplePause");
    QTRY_COMPARE_WITH_TIMEOUT(lastCommandCode(instrument), 0x15, runTimeoutMs);
    QTest::qWait(20); // this pause, too, lasts a millisecond at least (see above)
    op.click("SampleStop");
    QVERIFY(window->is_acquiring());
    QCOMPARE(op.text("SamplePause"), QStringLiteral("Continue"));
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    const QStringList faults = connectedStateFaults(*window, op);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    QTRY_COMPARE_WITH_TIMEOUT(commandCodes(instrument),
                              (QList<int>{0x05, 0x02, 0x15, 0x16, 0x15, 0x03, 0x05}), runTimeoutMs);

    // A pause leaves no gap in the time stamps.
    const QList<SampleRow> rows = readRunTable(window->database(), table);
    QCOMPARE(quint64(rows.size()), instrument.samples_sent());
    // The facts hold the settings, the instrument's status, the pauses and the stop.
    const std::optional<RunFacts> facts = window->database()->read_facts(table);
    QVERIFY(facts);
    QCOMPARE(facts->outcome, RunFacts::stopped);
    QCOMPARE(facts->committedRows, qint64(rows.size()));
    QVERIFY(facts->pausedMs > 0);
    QCOMPARE(facts->rate, rate);
    QCOMPARE(facts->seconds, 60);
    QVERIFY(!facts->singleChannel);
    QCOMPARE(facts->batteryPercent, std::optional<int>(80));
    QCOMPARE(facts->rangeModule, std::optional<bool>(false));
    QVERIFY(facts->started.isValid() && facts->ended > facts->started);
    const QString difference = differenceFromWaveform(rows, false, rate, pattern);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    // Each pause is a gap at the running time it began, as long as it lasted on the clock:
    // shaded on the plot as a narrow band, counted, and listed in the sidecar.
    const QList<RunGap> gaps = window->database()->read_gaps(table);
    QCOMPARE(gaps.size(), 2);
    double pausedSeconds = 0.0;
    for (const RunGap &gap : gaps) {
        QCOMPARE(gap.cause, RunGap::pause);
        QVERIFY2(gap.length > 0.0 && gap.start >= 0.0 && gap.start <= rows.last().first() + 1.0,
                 qPrintable(QStringLiteral("%1 s for %2 s").arg(gap.start).arg(gap.length)));
        pausedSeconds += gap.length;
    }
    QVERIFY(gaps[1].start > gaps[0].start);
    QCOMPARE(qRound64(pausedSeconds * 1000.0), facts->pausedMs);
    QVERIFY(pausedSeconds < facts->started.msecsTo(facts->ended) / 1000.0);
    const GapBands *bands = window->plot()->gap_bands();
    QVERIFY(bands->gaps() == gaps);
    QCOMPARE(bands->band(1)->topLeft->coords().x(), gaps[1].start);
    QCOMPARE(bands->band(1)->bottomRight->pixelPosition().x() -
                 bands->band(1)->topLeft->pixelPosition().x(),
             double(GapBands::narrowBandPx));
    QVERIFY2(window->run_status()->text().contains(QStringLiteral("  |  gaps: 2  |  ")),
             qPrintable(window->run_status()->text()));
    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("paused.csv"));
    QVERIFY(window->database()->write_sidecar(csv, table).ok());
    QFile json(out.filePath(QStringLiteral("paused.json")));
    QVERIFY(json.open(QIODevice::ReadOnly));
    const QJsonArray listed =
        QJsonDocument::fromJson(json.readAll()).object().value("gaps").toArray();
    QCOMPARE(listed.size(), 2);
    QCOMPARE(listed[1].toObject().value("cause").toString(), QStringLiteral("pause"));
    QCOMPARE(listed[1].toObject().value("start_s").toDouble(), gaps[1].start);
    QCOMPARE(listed[1].toObject().value("length_s").toDouble(), gaps[1].length);

    const QStringList messages = bench.close_and_read_log();
    QCOMPARE(messages.count(QStringLiteral("暂停采集")), 2);
    QCOMPARE(messages.count(QStringLiteral("继续采集")), 1);
}

void AcquisitionTest::slowRunPausedShowsItsRowsInTheTableAndTheChart()
{
    // Far fewer rows than a full batch: browsing while paused must still find them stored.
    constexpr int rate = 10;
    ConnectedWindow bench(52);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    MainWindow &window = *bench.window;
    const QString table = bench.start(false, "radioButton_slow", rate, 60);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= 7 * rate, runTimeoutMs);
    bench.op->click("SamplePause");
    QTRY_COMPARE_WITH_TIMEOUT(lastCommandCode(instrument), 0x15, runTimeoutMs);
    const qint64 sent = qint64(instrument.samples_sent());
    QTRY_COMPARE_WITH_TIMEOUT(window.database()->row_count(table), sent, runTimeoutMs);

    // Dragged back to the start, which the live view no longer holds.
    VoltagePlot *plot = window.plot();
    QTRY_VERIFY_WITH_TIMEOUT(!plot->is_load_rate_limited(), runTimeoutMs);
    plot->xAxis->setRange(0.0, 1.5);
    QTRY_VERIFY_WITH_TIMEOUT(!plot->graph(0)->data()->isEmpty() &&
                                 plot->graph(0)->data()->constBegin()->key < 1.0,
                             runTimeoutMs);
}

void AcquisitionTest::lostInstrumentEndsTheRunKeepingEveryDecodedSample()
{
    constexpr quint32 pattern = 44;
    constexpr int rate = 2000;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    std::unique_ptr<InstrumentSimulator> &instrument = bench.instrument;
    WindowOperator &op = *bench.op;
    std::unique_ptr<MainWindow> &window = bench.window;
    const QString lostTable = bench.start(true, "radioButton_fast", rate, 60);
    QVERIFY(!lostTable.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(instrument->samples_sent() >= quint64(rate), runTimeoutMs);

    QList<MessageBoxSeen> seen;
    int unexpected = 0;
    QVERIFY(bench.lose_instrument(&seen, &unexpected));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(unexpected, 0);
    QCOMPARE(seen.first().title, QStringLiteral("Error"));
    QCOMPARE(seen.first().text,
             QStringLiteral("Serial port error!Please restart the lower computer"));
    QCOMPARE(seen.first().icon, QMessageBox::Warning);
    QVERIFY(!window->is_acquiring());
    QCOMPARE(op.text("connect"), QStringLiteral("Connect"));
    QVERIFY(op.isEnabled("PortComboBox"));
    QVERIFY(op.isEnabled("SampleStart"));
    QVERIFY(!op.isEnabled("SampleStop"));
    QVERIFY(!window->display_timer()->isActive());
    QVERIFY(!window->status_timer()->isActive());
    QVERIFY(window->plot()->is_browse_mode());

    // Every sample decoded before the loss is stored, in order and without a gap.
    const QList<SampleRow> rows = readRunTable(window->database(), lostTable);
    QVERIFY(!rows.isEmpty());
    QVERIFY(quint64(rows.size()) <= instrument->samples_sent());
    QString difference = differenceFromWaveform(rows, true, rate, pattern);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(window->plot()->last_time(), rows.last().first());
    // What the port took is the run's one gap, from its last row to the loss.
    const QList<RunGap> lostGaps = window->database()->read_gaps(lostTable);
    QCOMPARE(lostGaps.size(), 1);
    QCOMPARE(lostGaps[0].cause, RunGap::portLost);
    QCOMPARE(lostGaps[0].start, rows.last().first());
    QVERIFY(lostGaps[0].length >= 0.0);
    QVERIFY(window->plot()->gap_bands()->gaps() == lostGaps);
    QVERIFY2(window->run_status()->text().startsWith(QStringLiteral("Idle  |  ")) &&
                 window->run_status()->text().endsWith(
                     QStringLiteral("The serial port was lost during the run: %1 rows stored.")
                         .arg(rows.size())),
             qPrintable(window->run_status()->text()));

    // The operator restarts the instrument and connects again; the new run starts afresh.
    constexpr quint32 secondPattern = 45;
    instrument = std::make_unique<InstrumentSimulator>(secondPattern);
    QVERIFY(instrument->start());
    const QList<MessageBoxSeen> connected = op.connectTo(instrument->port_name());
    QCOMPARE(connected.size(), 1);
    QCOMPARE(connected.first().text, QStringLiteral("Connection Success"));
    const QString nextTable = bench.start(true, "radioButton_slow", 10, 1);
    QVERIFY(!nextTable.isEmpty());
    QVERIFY(nextTable != lostTable);
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    const QList<SampleRow> nextRows = readRunTable(window->database(), nextTable);
    QCOMPARE(nextRows.size(), 10);
    difference = differenceFromWaveform(nextRows, true, 10, secondPattern);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    const QStringList messages = bench.close_and_read_log();
    QCOMPARE(messages.count(QStringLiteral("串口意外断开")), 1);
    QCOMPARE(messages.count(QStringLiteral("DataProcess 线程停止")), 2);
    QCOMPARE(messages.count(QStringLiteral("DataSaveDisplay 线程停止")), 2);
    QCOMPARE(loggedNumbers(messages, QStringLiteral("采集点数 = ")),
             (QList<qint64>{qint64(rows.size()), 10}));
}

// Another connection holds the file's write lock for a while: the save thread waits, the
// record queue fills and the decoding thread drops. Each burst is a gap over exactly the
// stretch without rows, and the gaps count every sample dropped.
void AcquisitionTest::samplesDroppedWhileStorageStallsAreGapsOfTheirCount()
{
    constexpr int rate = 5000;
    ConnectedWindow bench(46);
    QVERIFY(bench.connected);
    std::unique_ptr<MainWindow> &window = bench.window;
    const QString table = bench.start(true, "radioButton_fast", rate, 60);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(window->run_session()->committed_count() > 0, runTimeoutMs);
    {
        QSqlDatabase blocker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "blocker");
        blocker.setDatabaseName(QStringLiteral("Quorlen.db"));
        blocker.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        QVERIFY(blocker.open());
        QSqlQuery lock(blocker);
        QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QTRY_VERIFY_WITH_TIMEOUT(window->run_session()->dropped_count() > 0, runTimeoutMs);
        QVERIFY(lock.exec(QStringLiteral("COMMIT")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("blocker"));
    const qint64 stored = window->run_session()->committed_count();
    QTRY_VERIFY_WITH_TIMEOUT(window->run_session()->committed_count() > stored + rate / 10,
                             runTimeoutMs);
    bench.op->click("SampleStop");
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);

    const std::optional<RunFacts> facts = window->database()->read_facts(table);
    QVERIFY(facts);
    QCOMPARE(facts->outcome, RunFacts::stopped);
    QVERIFY(facts->droppedSamples > 0);
    const QList<RunGap> gaps = window->database()->read_gaps(table);
    QVERIFY(!gaps.isEmpty());
    const QList<SampleRow> rows = readRunTable(window->database(), table);
    qint64 dropped = 0;
    for (const RunGap &gap : gaps) {
        QCOMPARE(gap.cause, RunGap::droppedSamples);
        QVERIFY(qAbs(gap.length - double(gap.count) / rate) < 1e-6);
        dropped += gap.count;
        // The rows stop one step before the gap and go on at its end.
        const auto inside = std::find_if(rows.cbegin(), rows.cend(), [&gap](const SampleRow &row) {
            return row.first() > gap.start - 0.5 / rate &&
                   row.first() < gap.start + gap.length - 0.5 / rate;
        });
        QVERIFY2(inside == rows.cend(),
                 qPrintable(inside == rows.cend() ? QString() : QString::number(inside->first())));
    }
    QCOMPARE(quint64(dropped), facts->droppedSamples);
    const GapBands *bands = window->plot()->gap_bands();
    QVERIFY(bands->gaps() == gaps);
    QCOMPARE(bands->band(0)->bottomRight->coords().x(), gaps[0].start + gaps[0].length);
    QVERIFY2(window->run_status()->text().contains(QStringLiteral("gaps: %1").arg(gaps.size())),
             qPrintable(window->run_status()->text()));
}

void AcquisitionTest::lostInstrumentWhileIdleReturnsToDisconnected()
{
    ConnectedWindow bench(48);
    QVERIFY(bench.connected);
    QList<MessageBoxSeen> seen;
    int unexpected = 0;
    QVERIFY(bench.lose_instrument(&seen, &unexpected));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().text,
             QStringLiteral("Serial port error!Please restart the lower computer"));
    QCOMPARE(bench.op->text("connect"), QStringLiteral("Connect"));
    QVERIFY(bench.op->isEnabled("PortComboBox"));
    QVERIFY(!bench.window->is_acquiring());
    // Nothing is left to poll on a closed port.
    QVERIFY(!bench.window->status_timer()->isActive());
    QCOMPARE(bench.window->run_status()->text(),
             QStringLiteral("Idle  |  The serial port was lost."));
    QVERIFY(bench.window->database()->table_names().isEmpty());
}

void AcquisitionTest::closingTheWindowMidRunStopsStoresAndCleansUp()
{
    constexpr quint32 pattern = 46;
    constexpr int rate = 150;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    WindowOperator &op = *bench.op;
    std::unique_ptr<MainWindow> &window = bench.window;
    QVERIFY(!bench.start(false, "radioButton_fast", rate, 60).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= 30, runTimeoutMs);

    // Pausing holds the instrument, so the number of samples sent is known exactly.
    op.click("SamplePause");
    QTRY_COMPARE_WITH_TIMEOUT(lastCommandCode(instrument), 0x15, runTimeoutMs);
    const quint64 sent = instrument.samples_sent();
    QTRY_COMPARE_WITH_TIMEOUT(window->plot()->last_time(), sampleTime(qsizetype(sent) - 1, rate),
                              runTimeoutMs);
    QVERIFY(window->is_acquiring());

    window.reset();
    const QList<int> codes = commandCodes(instrument);
    QVERIFY(codes.size() >= 4);
    QCOMPARE(codes.mid(1, 3), (QList<int>{0x02, 0x15, 0x03}));
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
    SampleDatabase database;
    QVERIFY(database.open_database().ok());
    QVERIFY(database.table_names().isEmpty());

    const QStringList messages = bench.log.messages();
    QCOMPARE(messages.count(QStringLiteral("采集停止")), 1);
    // Everything queued was stored before the tables were dropped.
    QCOMPARE(loggedNumbers(messages, QStringLiteral("采集点数 = ")), QList<qint64>{qint64(sent)});
}

void AcquisitionTest::closingTheWindowWhileFramesStreamStopsTheInstrument()
{
    // Frames keep arriving while the window closes: the stop packet must still leave before
    // the port is closed, or the instrument samples on.
    ConnectedWindow bench(50);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    QVERIFY(!bench.start(true, "radioButton_fast", 5000, 60).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= 5000, runTimeoutMs);
    bench.window.reset();
    QVERIFY(commandCodes(instrument).contains(0x03));
    QTRY_VERIFY_WITH_TIMEOUT(!instrument.run_active(), runTimeoutMs);
}

void AcquisitionTest::closingAfterAnUnexportedRunAsksFirst()
{
    ConnectedWindow bench(51);
    QVERIFY(bench.connected);
    MainWindow &window = *bench.window;
    const QString table = bench.start(true, "radioButton_slow", 10, 1);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);

    MessageBoxSeen asked;
    {
        ModalResponder responder({answerMessageBox(&asked, QMessageBox::Cancel)});
        QVERIFY(!window.close());
        QCOMPARE(responder.unexpected(), 0);
    }
    QCOMPARE(asked.buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    QVERIFY2(asked.text.contains(table) && asked.text.contains(QStringLiteral("10 samples")),
             qPrintable(asked.text));
    QCOMPARE(window.database()->row_count(table), 10);

    // Save runs the export; once the run is in a file the window closes.
    const QString base = QDir::current().filePath(QStringLiteral("closing"));
    MessageBoxSeen saved;
    QList<MessageBoxSeen> after;
    ModalResponder responder({answerMessageBox(&saved, QMessageBox::Save),
                              answerExportOptions(true, false), answerSaveDialog(base),
                              answerOk(&after), answerOk(&after)});
    QVERIFY(window.close());
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(saved.text, asked.text);
    QVERIFY2(after.last().text.startsWith(QStringLiteral("Export successful")),
             qPrintable(after.last().text));
    QFile csv(base + QStringLiteral(".csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().count('\n'), 1 + 10); // the header and every row
}

// Save at the close of a run still going: the run ends behind the busy dialog, and only then
// is it exported, with every row the run stored.
void AcquisitionTest::closingDuringARunWithSaveEndsItThenExportsEveryRow()
{
    constexpr int rate = 5000;
    ConnectedWindow bench(54);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    MainWindow &window = *bench.window;
    const QString table = bench.start(true, "radioButton_fast", rate, 60);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= quint64(rate), runTimeoutMs);

    // Frames still stream in: an export before the run's end would miss the last ones.
    const QString base = QDir::current().filePath(QStringLiteral("closing-during-run"));
    MessageBoxSeen asked;
    QStringList busy;
    QList<MessageBoxSeen> after;
    ModalResponder responder({answerMessageBox(&asked, QMessageBox::Save),
                              noteBusyDialogLines(&busy), answerExportOptions(true, false),
                              answerSaveDialog(base), answerOk(&after), answerOk(&after)});
    QVERIFY(window.close());
    QCOMPARE(responder.unexpected(), 0);
    QVERIFY2(asked.text.contains(QStringLiteral("is still recording")), qPrintable(asked.text));
    QCOMPARE(busy, QStringList{QStringLiteral("Ending the run")});
    QVERIFY(!window.is_acquiring());
    QVERIFY(commandCodes(instrument).contains(0x03)); // the stop went out
    QVERIFY2(!after.isEmpty() && after.last().text.startsWith(QStringLiteral("Export successful")),
             qPrintable(after.isEmpty() ? QString() : after.last().text));
    QFile csv(base + QStringLiteral(".csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const qint64 stored = window.run_session()->committed_count();
    QVERIFY(stored >= rate);
    QCOMPARE(csv.readAll().count('\n'), 1 + stored); // the header and every stored sample
    QCOMPARE(window.database()->row_count(table), stored);
}

// A crash left a run (Cancel at the start-up prompt) and a recorder keeps its runs in the
// same file: the close names the crashed run even after this session's run was exported,
// and Discard drops the window's runs and nothing else.
void AcquisitionTest::closingNamesEveryUnexportedRunAndDropsOnlyTheWindowsOwn()
{
    QString crashed;
    QString recorded;
    {
        SampleDatabase other;
        QVERIFY(other.open_database().ok());
        crashed =
            other.create_run_table(QDateTime(QDate(2024, 2, 1), QTime(9, 0, 0)), true).value();
        QCOMPARE(other.insert_samples(QList<SampleRow>(7, {0.5, 1.0})).rows, 7);
        recorded =
            other.create_run_table(QDateTime(QDate(2024, 2, 1), QTime(9, 0, 0)), true).value();
        QCOMPARE(other.insert_samples(QList<SampleRow>(5, {0.5, 2.0})).rows, 5);
    }
    write_setting(QStringLiteral("NormalExit"), false);
    write_setting(QStringLiteral("last_table_name"), crashed);
    MessageBoxSeen offer;
    ConnectedWindow bench(53, answerMessageBox(&offer, QMessageBox::Cancel));
    QCOMPARE(bench.startupPromptsUnexpected, 0);
    QVERIFY2(offer.text.startsWith(QStringLiteral("The program did not exit properly")),
             qPrintable(offer.text));
    QVERIFY(bench.connected);
    MainWindow &window = *bench.window;
    const QString table = bench.start(true, "radioButton_slow", 10, 1);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);
    QList<MessageBoxSeen> exported;
    {
        ModalResponder responder({answerExportOptions(true, false),
                                  answerSaveDialog(QDir::current().filePath(QStringLiteral("own"))),
                                  answerOk(&exported), answerOk(&exported)});
        bench.op->button("ExportFile")->click();
        QCOMPARE(responder.unexpected(), 0);
    }
    QVERIFY(!exported.isEmpty() && exported.last().text.startsWith("Export successful"));

    MessageBoxSeen asked;
    {
        ModalResponder responder({answerMessageBox(&asked, QMessageBox::Discard)});
        QVERIFY(window.close());
        QCOMPARE(responder.unexpected(), 0);
    }
    QVERIFY2(asked.text.contains(crashed + QStringLiteral(" (7 samples)")) &&
                 !asked.text.contains(table) && !asked.text.contains(recorded),
             qPrintable(asked.text));
    bench.window.reset();
    SampleDatabase after;
    QVERIFY(after.open_database().ok());
    QCOMPARE(after.table_names(), QStringList{recorded});
    QCOMPARE(after.row_count(recorded), 5);
    QVERIFY(after.drop_tables({recorded}));
}

// Something outside the window drops the run's table: the run stops, and the window does
// not claim that the rows committed before are still kept.
void AcquisitionTest::tableDroppedUnderARunIsReportedAsLost()
{
    ConnectedWindow bench(55);
    QVERIFY(bench.connected);
    MainWindow &window = *bench.window;
    const QString table = bench.start(true, "radioButton_med", 100, 60);
    QVERIFY(!table.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(window.run_session()->committed_count() > 0, runTimeoutMs);

    QList<MessageBoxSeen> seen;
    ModalResponder responder({answerOk(&seen)});
    {
        SampleDatabase other;
        QVERIFY(other.open_database().ok());
        QVERIFY(other.drop_tables({table}));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring() && !seen.isEmpty(), runTimeoutMs);
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(window.run_session()->outcome(), RunSession::Outcome::StorageFailed);
    QVERIFY2(seen.first().text.contains(
                 QStringLiteral("Its table %1 is gone from the database: none of its").arg(table)),
             qPrintable(seen.first().text));
    QCOMPARE(window.run_session()->committed_count(), 0);
}

void AcquisitionTest::runsTheInstrumentDoesNotEndAreEndedKeepingEveryRow_data()
{
    QTest::addColumn<bool>("operatorStops");
    QTest::newRow("stop never confirmed") << true;
    QTest::newRow("no end frame after the collection time") << false;
}

void AcquisitionTest::runsTheInstrumentDoesNotEndAreEndedKeepingEveryRow()
{
    QFETCH(bool, operatorStops);
    constexpr quint32 pattern = 49;
    constexpr int rate = 100;
    constexpr int shortRunSeconds = 1;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    // Either the stop command is ignored, or the run falls silent when its time is over.
    instrument.set_ignore_stop(operatorStops);
    instrument.set_withhold_end_frame(!operatorStops);
    const QString table =
        bench.start(true, "radioButton_med", rate, operatorStops ? 60 : shortRunSeconds);
    QVERIFY(!table.isEmpty());
    QList<MessageBoxSeen> seen;
    ModalResponder responder({answerOk(&seen)});
    if (operatorStops) {
        QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= 50, runTimeoutMs);
        bench.op->click("SampleStop");
    }
    QTRY_VERIFY_WITH_TIMEOUT(!bench.window->is_acquiring(), runTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == nullptr, runTimeoutMs);
    const QStringList faults = connectedStateFaults(*bench.window, *bench.op);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    QCOMPARE(responder.unexpected(), 0);
    QVERIFY(commandCodes(instrument).contains(0x03));

    const QList<SampleRow> rows = readRunTable(bench.window->database(), table);
    const QString difference = differenceFromWaveform(rows, true, rate, pattern);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    if (operatorStops) {
        QVERIFY(rows.size() >= 50);
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen.first().text.contains(QStringLiteral("did not confirm the stop")),
                 qPrintable(seen.first().text));
        QVERIFY(seen.first().text.contains(QString::number(rows.size())));
        QCOMPARE(bench.window->run_status()->note(),
                 QStringLiteral("Stopped without the instrument's confirmation: %1 rows stored.")
                     .arg(rows.size()));
    } else {
        // Stopped after its time as the operator would have; the instrument then confirmed.
        QCOMPARE(rows.size(), rate * shortRunSeconds);
        QVERIFY(seen.isEmpty());
        QCOMPARE(bench.window->run_status()->note(),
                 QStringLiteral("The instrument did not end the run after its collection time; "
                                "it was stopped with %1 rows stored.")
                     .arg(rows.size()));
    }
    const QStringList messages = bench.close_and_read_log();
    QCOMPARE(loggedNumbers(messages, QStringLiteral("采集点数 = ")),
             QList<qint64>{qint64(rows.size())});
    QCOMPARE(messages.count(QStringLiteral("下位机未确认停止")), operatorStops ? 1 : 0);
}

void AcquisitionTest::twoRunsStartedWithinOneSecondLandInTwoTables()
{
    constexpr quint32 pattern = 47;
    constexpr int rate = 100;
    ConnectedWindow bench(pattern);
    QVERIFY(bench.connected);
    InstrumentSimulator &instrument = *bench.instrument;
    WindowOperator &op = *bench.op;
    MainWindow &window = *bench.window;
    op.prepareRun(false, "radioButton_med", rate, 60);

    // One short run: started, a few samples, stopped. Returns its table and sample count.
    auto shortRun = [&](QString *table, quint64 *samples) {
        const quint64 before = instrument.samples_sent();
        op.click("SampleStart");
        QVERIFY(window.is_acquiring());
        *table = window.database()->current_table_name();
        QTRY_VERIFY_WITH_TIMEOUT(instrument.samples_sent() >= before + 3, runTimeoutMs);
        op.click("SampleStop");
        QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);
        *samples = instrument.samples_sent() - before;
    };

    // Both runs must start within one wall-clock second; begin right after a second turns
    // and try again should a slow moment spoil it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int msec = QTime::currentTime().msec();
        QTest::qWait(1000 - msec + 5);
        QString first;
        QString second;
        quint64 firstSamples = 0;
        quint64 secondSamples = 0;
        shortRun(&first, &firstSamples);
        if (QTest::currentTestFailed())
            return;
        shortRun(&second, &secondSamples);
        if (QTest::currentTestFailed())
            return;
        if (second.left(baseTableNameLength) != first.left(baseTableNameLength))
            continue;

        QCOMPARE(first.size(), baseTableNameLength);
        QCOMPARE(second, first + QStringLiteral("_2"));
        QVERIFY(window.database()->table_exists(first));
        QVERIFY(window.database()->table_exists(second));
        const QList<SampleRow> firstRows = readRunTable(window.database(), first);
        const QList<SampleRow> secondRows = readRunTable(window.database(), second);
        QCOMPARE(quint64(firstRows.size()), firstSamples);
        QCOMPARE(quint64(secondRows.size()), secondSamples);
        QString difference = differenceFromWaveform(firstRows, false, rate, pattern);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        difference = differenceFromWaveform(secondRows, false, rate, pattern);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QCOMPARE(read_setting(QStringLiteral("last_table_name"), QString()).toString(), second);
        return;
    }
    QSKIP("No two runs started within one second on this machine.");
}

// A signal falling 10 mV/s: at every display tick each point in view lies inside the
// vertical range, also once the run's first and highest samples have scrolled out.
void AcquisitionTest::liveChartKeepsADriftingSignalInsideItsVerticalRange()
{
    int refreshes = 0;
    int scrolled = 0;
    QStringList escapes;
    ConnectedWindow bench(3);
    QVERIFY(bench.connected);
    bench.instrument->set_ramp(-0.01);
    MainWindow &window = *bench.window;
    VoltagePlot *plot = window.plot();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Connected after the window's own tick handlers, so it looks at what the refresh left.
    QObject::connect(window.display_timer(), &QTimer::timeout, plot, [&] {
        ++refreshes;
        const QCPRange x = plot->xAxis->range();
        const QCPRange y = plot->yAxis->range();
        scrolled += x.lower > 0 ? 1 : 0;
        const QCPGraph *graph = plot->graph(0);
        for (auto it = graph->data()->findBegin(x.lower, false);
             it != graph->data()->constEnd() && it->key <= x.upper; ++it) {
            if (!y.contains(it->value)) {
                escapes.append(QStringLiteral("%1 mV at %2 s outside %3 .. %4 (view %5 .. %6)")
                                   .arg(it->value)
                                   .arg(it->key)
                                   .arg(y.lower)
                                   .arg(y.upper)
                                   .arg(x.lower)
                                   .arg(x.upper));
                break;
            }
        }
    });

    QVERIFY(!bench.start(true, "radioButton_med", 100, 10).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), 2 * runTimeoutMs);
    QVERIFY2(escapes.isEmpty(), qPrintable(QStringLiteral("%1 of %2 refreshes, first: %3")
                                               .arg(escapes.size())
                                               .arg(refreshes)
                                               .arg(escapes.value(0))));
    QVERIFY(scrolled > 0);
}

// Ports coming and going leave the operator's choice selected; while connected, the disabled
// list goes on showing the open port.
void AcquisitionTest::portListRefreshKeepsTheChosenAndTheOpenPort()
{
    InstrumentSimulator first(1);
    InstrumentSimulator second(2);
    QVERIFY(first.start());
    QVERIFY(second.start());
    const QString a = first.port_name();
    const QString b = second.port_name();
    MainWindow window;
    WindowOperator op(&window);
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("PortComboBox"));

    window.set_extra_ports({a, b});
    ports->setCurrentIndex(1);
    window.set_extra_ports({QDir::current().filePath(QStringLiteral("arrived")), a, b});
    QCOMPARE(ports->currentText(), b);
    window.set_extra_ports({b});
    QCOMPARE(ports->currentText(), b);

    QCOMPARE(op.click("connect").size(), 1);
    QCOMPARE(op.text("connect"), QStringLiteral("Disconnect"));
    QCOMPARE(second.received_commands(), QList<QByteArray>{status_query_command()});
    window.set_extra_ports({a, b});
    QVERIFY(!ports->isEnabled());
    QCOMPARE(ports->currentText(), b);

    // A chosen port that vanishes leaves the first one listed.
    op.click("connect");
    window.set_extra_ports({a});
    QCOMPARE(ports->currentText(), a);
}

void AcquisitionTest::runTheFileSystemCannotHoldIsRefusedNamingFreeSpaceAndNeed()
{
    ConnectedWindow bench(57);
    QVERIFY(bench.connected);
    // A reserve no file system has makes every run too big.
    qputenv("TELVANE_FREE_SPACE_RESERVE", QByteArray::number(Q_INT64_C(1) << 60));
    bench.op->prepareRun(false, "radioButton_med", 100, 60);
    const QList<MessageBoxSeen> seen = bench.op->click("SampleStart");
    qunsetenv("TELVANE_FREE_SPACE_RESERVE");

    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().text.contains(QStringLiteral("not enough free space for this run")) &&
                 seen.first().text.contains(QStringLiteral(" free, ")) &&
                 seen.first().text.contains(QStringLiteral(" needed ")),
             qPrintable(seen.first().text));
    QVERIFY(!bench.window->is_acquiring());
    QVERIFY(bench.window->database()->table_names().isEmpty());
}

void AcquisitionTest::portLostWithReconnectOnWaitsAndStartsTheRunAgain()
{
    // The adapter's stable name; the terminal behind it changes when it comes back.
    const QString link = workDir_->file(QStringLiteral("instrument"));
    std::unique_ptr<InstrumentSimulator> instrument;
    const auto plugIn = [&](std::chrono::milliseconds replyDelay = {}) {
        instrument = std::make_unique<InstrumentSimulator>(61);
        instrument->set_status_reply_delay(replyDelay);
        return instrument->create_symlink(link) && instrument->start();
    };
    QVERIFY(plugIn());
    MainWindow window;
    WindowOperator op(&window);
    auto *option = window.findChild<QCheckBox *>(QStringLiteral("reconnectAutomatically"));
    QVERIFY(option != nullptr);
    QVERIFY(!option->isChecked()); // off unless the operator turns it on
    option->setChecked(true);
    QCOMPARE(settingOnDisk(QStringLiteral("ReconnectAutomatically")), QStringLiteral("true"));

    const QList<MessageBoxSeen> connected = op.connectTo(link);
    QCOMPARE(connected.size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 600);
    op.click("SampleStart");
    QVERIFY(window.is_acquiring());
    const QString lostTable = window.database()->current_table_name();
    QTRY_VERIFY_WITH_TIMEOUT(window.run_session()->committed_count() > 0, runTimeoutMs);

    ModalResponder responder({}); // waiting asks nothing
    instrument->vanish();
    instrument.reset(); // the link goes with it
    QTRY_VERIFY_WITH_TIMEOUT(window.run_status()->text().contains(
                                 QStringLiteral("Waiting for the instrument on %1").arg(link)),
                             runTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs); // its threads end first
    QVERIFY(window.run_status()->text().contains(QStringLiteral("Waiting for the instrument")));
    QVERIFY(window.database()->row_count(lostTable) > 0);

    // Back, but slow to answer: the window goes on while it asks whether the instrument is there.
    QVERIFY(plugIn(std::chrono::milliseconds(500)));
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<SerialManager *>()->status_requested(), runTimeoutMs);
    QVERIFY(!window.is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(window.is_acquiring(), runTimeoutMs);
    const QString newTable = window.database()->current_table_name();
    QVERIFY(newTable != lostTable);
    QTRY_VERIFY_WITH_TIMEOUT(window.run_session()->committed_count() > 0, runTimeoutMs);
    QVERIFY2(window.run_status()->text().contains(QStringLiteral("; new run %1").arg(newTable)),
             qPrintable(window.run_status()->text()));
    QVERIFY(window.database()->table_names().contains(lostTable));
    QCOMPARE(responder.unexpected(), 0);

    // Turned off while waiting, the window stops waiting and leaves the port to the operator.
    instrument->vanish();
    instrument.reset();
    QTRY_VERIFY_WITH_TIMEOUT(window.run_status()->text().contains(QStringLiteral("Waiting")),
                             runTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!window.is_acquiring(), runTimeoutMs);
    option->setChecked(false);
    QCOMPARE(settingOnDisk(QStringLiteral("ReconnectAutomatically")), QStringLiteral("false"));
    QVERIFY(plugIn());
    QVERIFY(!QTest::qWaitFor([&] { return window.is_acquiring(); }, 3000));
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("connect"))->isEnabled());
}

QTEST_MAIN(AcquisitionTest)
#include "tst_acquisition.moc"
