#include "instrumentsimulator.h"
#include "mainwindow.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "settingsstore.h"
#include "voltageplot.h"
#include "windowoperator.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int channelCount = 16;
constexpr int runTimeoutMs = 30000;

const QString legendSheet = QStringLiteral(
    "QLabel {\n            border: 1px solid %1;\n            color: black;\n            "
    "border-radius: 2px;\n        }");

QString visibleKey(int channel)
{
    return QStringLiteral("Channel%1Visible").arg(channel - 1);
}

QCheckBox *channelBox(const MainWindow &window, int channel)
{
    return window.findChild<QCheckBox *>(QString::number(channel));
}

QLabel *valueLabel(const MainWindow &window, int channel)
{
    return window.findChild<QLabel *>(QStringLiteral("voltage_label_%1").arg(channel));
}

QLabel *legendLabel(const MainWindow &window, int channel)
{
    return window.findChild<QLabel *>(QStringLiteral("label_%1").arg(channel + 9));
}

// Channels whose box is checked, in order.
QList<int> checkedChannels(const MainWindow &window)
{
    QList<int> checked;
    for (int channel = 1; channel <= channelCount; ++channel) {
        if (channelBox(window, channel)->isChecked())
            checked.append(channel);
    }
    return checked;
}

QList<int> allChannels()
{
    QList<int> all;
    for (int channel = 1; channel <= channelCount; ++channel)
        all.append(channel);
    return all;
}

// A value as the label shows it: two spaces, millivolts with one decimal, " mV".
bool isValueText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^  -?\\d+\\.\\d mV$"));
    return pattern.match(text).hasMatch();
}

} // namespace

class ChannelPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstStartChecksEveryChannelAndLeavesSelectAllUnchecked();
    void ratePresetsAndModeSwitchesSetTheCeiling_data();
    void ratePresetsAndModeSwitchesSetTheCeiling();
    void selectAllChecksAndUnchecksAllSixteenButIsNeverStored();
    void switchingToSingleAndBackChecksChannelOneAgain();
    void legendFramesTakeThePlotColoursOnlyInMultiChannelMode();
    void channelBoxDuringARunHidesItsGraphAndBlanksItsLabel();
    void widestReadingsOnSixteenChannelsLeaveTheWindowsLayoutAlone();

private:
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void ChannelPanelTest::initTestCase()
{
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
}

void ChannelPanelTest::init()
{
    write_setting(QStringLiteral("NormalExit"), true);
}

void ChannelPanelTest::cleanup()
{
    for (int channel = 1; channel <= channelCount; ++channel)
        write_setting(visibleKey(channel), true);
}

void ChannelPanelTest::firstStartChecksEveryChannelAndLeavesSelectAllUnchecked()
{
    QVERIFY(settingOnDisk(visibleKey(1)).isEmpty());
    MainWindow window;
    auto *group = window.findChild<QGroupBox *>(QStringLiteral("channel_button_groupbox"));
    auto *grid = qobject_cast<QGridLayout *>(group->layout());
    QVERIFY(grid != nullptr);
    QCOMPARE(grid->count(), channelCount + 1);

    auto *selectAll = qobject_cast<QCheckBox *>(grid->itemAt(0)->widget());
    QVERIFY(selectAll != nullptr);
    QCOMPARE(selectAll->objectName(), QStringLiteral("SelectAll"));
    QVERIFY(!selectAll->isChecked());
    QVERIFY(selectAll->styleSheet().isEmpty());
    int row = -1;
    int column = -1;
    int rowSpan = 0;
    int columnSpan = 0;
    grid->getItemPosition(0, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({0, 0, 1, 4}));

    for (int channel = 1; channel <= channelCount; ++channel) {
        auto *box = qobject_cast<QCheckBox *>(grid->itemAt(channel)->widget());
        QVERIFY(box != nullptr);
        QCOMPARE(box->objectName(), QString::number(channel));
        QCOMPARE(box->text(), QString::number(channel));
        QVERIFY(box->isChecked());
        QVERIFY(!box->autoExclusive());
        grid->getItemPosition(channel, &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(row, (channel - 1) / 4 + 1);
        QCOMPARE(column, (channel - 1) % 4);
    }
    // Building the boxes stores nothing.
    QVERIFY(settingOnDisk(visibleKey(1)).isEmpty());
    QVERIFY(settingOnDisk(visibleKey(16)).isEmpty());
}

void ChannelPanelTest::ratePresetsAndModeSwitchesSetTheCeiling_data()
{
    // Steps are object names to click, or "=N" for typing N as the rate.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    QTest::newRow("start-up") << QStringList{} << 100 << 100;
    QTest::newRow("slow, single channel") << QStringList{"radioButton_slow"} << 10 << 10;
    QTest::newRow("slow, multi-channel")
        << QStringList{"MultiChannel", "radioButton_slow"} << 10 << 10;
    QTest::newRow("fast, single channel") << QStringList{"radioButton_fast"} << 5000 << 5000;
    QTest::newRow("fast, multi-channel")
        << QStringList{"MultiChannel", "radioButton_fast"} << 150 << 150;
    QTest::newRow("preset discards a lower typed rate")
        << QStringList{"radioButton_med", "=40", "radioButton_med"} << 100 << 100;
    QTest::newRow("medium keeps 100 across mode switches")
        << QStringList{"MultiChannel", "radioButton_med", "SignalChannel", "MultiChannel"} << 100
        << 100;
    QTest::newRow("rate 5000 drops to 150 in multi-channel")
        << QStringList{"radioButton_fast", "MultiChannel"} << 150 << 150;
    QTest::newRow("typed 120 under fast: multi-channel ceiling, rate kept")
        << QStringList{"radioButton_fast", "=120", "MultiChannel"} << 150 << 120;
    QTest::newRow("every switch to multi-channel lowers the ceiling")
        << QStringList{"radioButton_fast", "=120", "MultiChannel",
                       "SignalChannel",    "=90",  "MultiChannel"}
        << 150 << 90;
    QTest::newRow("slow keeps 10 through the switches, fast takes the mode's ceiling")
        << QStringList{"radioButton_slow", "MultiChannel",  "SignalChannel", "MultiChannel",
                       "radioButton_fast", "SignalChannel", "MultiChannel"}
        << 150 << 150;
    QTest::newRow("fast restores 5000 back in single channel")
        << QStringList{"MultiChannel", "radioButton_fast", "SignalChannel"} << 5000 << 5000;
    QTest::newRow("slow stays 10 back in single channel")
        << QStringList{"MultiChannel", "radioButton_slow", "SignalChannel"} << 10 << 10;
}

void ChannelPanelTest::ratePresetsAndModeSwitchesSetTheCeiling()
{
    QFETCH(QStringList, steps);
    QFETCH(int, maximum);
    QFETCH(int, value);

    MainWindow window;
    WindowOperator op(&window);
    auto *rate = window.findChild<QSpinBox *>(QStringLiteral("spinBox_sampleSpeed"));
    for (const QString &step : std::as_const(steps)) {
        if (step.startsWith(QLatin1Char('=')))
            rate->setValue(step.mid(1).toInt());
        else
            op.click(step.toLatin1().constData());
    }
    QCOMPARE(rate->maximum(), maximum);
    QCOMPARE(rate->value(), value);
    QCOMPARE(op.text("label"), QStringLiteral("Sampling Rate (1~%1 p/s)").arg(maximum));
}

void ChannelPanelTest::selectAllChecksAndUnchecksAllSixteenButIsNeverStored()
{
    auto window = std::make_unique<MainWindow>();
    WindowOperator op(window.get());
    op.click("MultiChannel");
    op.click("2");
    op.click("7");
    QCOMPARE(checkedChannels(*window).size(), channelCount - 2);
    QCOMPARE(read_setting(visibleKey(7), true).toBool(), false);

    op.click("SelectAll");
    QCOMPARE(checkedChannels(*window), allChannels());
    for (int channel = 1; channel <= channelCount; ++channel)
        QCOMPARE(read_setting(visibleKey(channel), false).toBool(), true);

    op.click("SelectAll");
    QCOMPARE(checkedChannels(*window), QList<int>());
    window.reset();
    for (int channel = 1; channel <= channelCount; ++channel)
        QCOMPARE(settingOnDisk(visibleKey(channel)), QStringLiteral("false"));
    QFile config(QStringLiteral("config.ini"));
    QVERIFY(config.open(QIODevice::ReadOnly));
    QVERIFY(!config.readAll().contains("SelectAll"));
    config.close();

    // The choice survives a restart; "Select All" starts unchecked again.
    window = std::make_unique<MainWindow>();
    QCOMPARE(checkedChannels(*window), QList<int>());
    QVERIFY(!window->findChild<QCheckBox *>(QStringLiteral("SelectAll"))->isChecked());
}

void ChannelPanelTest::switchingToSingleAndBackChecksChannelOneAgain()
{
    MainWindow window;
    WindowOperator op(&window);
    op.click("MultiChannel");
    op.click("1");
    op.click("3");
    QVERIFY(!channelBox(window, 1)->isChecked());

    op.click("SignalChannel");
    QCOMPARE(read_setting(visibleKey(1), false).toBool(), true);
    QVERIFY(!channelBox(window, 1)->isChecked()); // picked up on the next switch only
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("channel_button_groupbox"))->isHidden());

    op.click("MultiChannel");
    QVERIFY(channelBox(window, 1)->isChecked());
    QVERIFY(!channelBox(window, 3)->isChecked());
    QVERIFY(!window.findChild<QWidget *>(QStringLiteral("channel_button_groupbox"))->isHidden());
}

void ChannelPanelTest::legendFramesTakeThePlotColoursOnlyInMultiChannelMode()
{
    MainWindow window;
    WindowOperator op(&window);
    const QString channelOneSheet = legendLabel(window, 1)->styleSheet();
    QVERIFY(channelOneSheet.contains(QStringLiteral("red")) ||
            channelOneSheet.contains(QStringLiteral("255, 0, 0")) ||
            channelOneSheet.contains(QStringLiteral("255,0,0")));
    auto checkFrames = [&](bool multi) {
        for (int channel = 2; channel <= channelCount; ++channel) {
            const QString colour = multi ? window.plot()->channel_colors().at(channel - 1).name()
                                         : QStringLiteral("gray");
            QCOMPARE(legendLabel(window, channel)->styleSheet(), legendSheet.arg(colour));
        }
        QCOMPARE(legendLabel(window, 1)->styleSheet(), channelOneSheet);
    };

    checkFrames(false);
    op.click("MultiChannel");
    checkFrames(true);
    QCOMPARE(legendLabel(window, 16)->styleSheet(), legendSheet.arg(QStringLiteral("#d369d3")));
    op.click("SignalChannel");
    checkFrames(false);
}

void ChannelPanelTest::channelBoxDuringARunHidesItsGraphAndBlanksItsLabel()
{
    InstrumentSimulator instrument(5);
    QVERIFY(instrument.start());
    auto window = std::make_unique<MainWindow>();
    WindowOperator op(window.get());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 60);
    op.click("7"); // hidden from the start
    op.click("SampleStart");
    QVERIFY(window->is_acquiring());
    QCOMPARE(window->plot()->graphCount(), channelCount);
    QVERIFY(!window->plot()->graph(6)->visible());

    QTRY_VERIFY_WITH_TIMEOUT(isValueText(valueLabel(*window, 3)->text()), runTimeoutMs);
    for (int channel = 1; channel <= channelCount; ++channel) {
        const QString text = valueLabel(*window, channel)->text();
        QVERIFY2(channel == 7 ? text.isEmpty() : isValueText(text), qPrintable(text));
    }

    // The channel boxes stay usable during a run.
    QVERIFY(channelBox(*window, 3)->isEnabled());
    op.click("3");
    // Read back at once, and on disk soon after.
    QCOMPARE(read_setting(visibleKey(3), true).toBool(), false);
    QCOMPARE(settingOnDisk(visibleKey(3)), QStringLiteral("false"));
    QVERIFY(!window->plot()->graph(2)->visible());
    QVERIFY(window->plot()->graph(3)->visible());
    QTRY_VERIFY_WITH_TIMEOUT(valueLabel(*window, 3)->text().isEmpty(), runTimeoutMs);
    QVERIFY(isValueText(valueLabel(*window, 4)->text()));

    op.click("3");
    QVERIFY(window->plot()->graph(2)->visible());
    QTRY_VERIFY_WITH_TIMEOUT(isValueText(valueLabel(*window, 3)->text()), runTimeoutMs);

    op.click("5");
    op.click("SampleStop");
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    QVERIFY(!window->plot()->graph(4)->visible());
    // Stopped: the labels keep their last texts until the mode changes.
    QVERIFY(isValueText(valueLabel(*window, 1)->text()));
    op.click("SignalChannel");
    for (int channel = 1; channel <= channelCount; ++channel)
        QVERIFY(valueLabel(*window, channel)->text().isEmpty());

    window.reset();
    QCOMPARE(settingOnDisk(visibleKey(5)), QStringLiteral("false"));
    QCOMPARE(settingOnDisk(visibleKey(3)), QStringLiteral("true"));
    MainWindow restarted;
    QVERIFY(!channelBox(restarted, 5)->isChecked());
    QVERIFY(channelBox(restarted, 3)->isChecked());
}

void ChannelPanelTest::widestReadingsOnSixteenChannelsLeaveTheWindowsLayoutAlone()
{
    InstrumentSimulator instrument(6);
    instrument.set_ramp(-3.0); // every channel ends the run beyond -10000 mV
    QVERIFY(instrument.start());
    QList<QList<QRect>> layouts; // the window, the control column and the legend, at every tick
    auto window = std::make_unique<MainWindow>();
    WindowOperator op(window.get());
    QCOMPARE(op.connectTo(instrument.port_name()).size(), 1);
    op.prepareRun(false, "radioButton_med", 100, 5);
    window->resize(1, 1); // at its smallest, any minimum raised during the run widens it
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QAbstractButton *start = op.button("SampleStart");
    const auto layout = [&] {
        QList<QRect> places{window->geometry(),
                            QRect(start->mapTo(window.get(), QPoint()), start->size())};
        for (int channel = 1; channel <= channelCount; ++channel) {
            const QLabel *label = valueLabel(*window, channel);
            places.append(QRect(label->mapTo(window.get(), QPoint()), label->size()));
        }
        return places;
    };
    const QList<QRect> before = layout();
    QObject::connect(window->display_timer(), &QTimer::timeout, window.get(),
                     [&] { layouts.append(layout()); });

    op.click("SampleStart");
    QVERIFY(window->is_acquiring());
    QTRY_VERIFY_WITH_TIMEOUT(!window->is_acquiring(), runTimeoutMs);
    QCoreApplication::processEvents();
    layouts.append(layout());

    for (int channel = 1; channel <= channelCount; ++channel) {
        const QString text = valueLabel(*window, channel)->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^  -1\\d{4}\\.\\d mV$")).match(text).hasMatch(),
                 qPrintable(text));
    }
    QVERIFY(layouts.size() > 10);
    for (const QList<QRect> &seen : std::as_const(layouts))
        QCOMPARE(seen, before);
}

QTEST_MAIN(ChannelPanelTest)
#include "tst_channelpanel.moc"
