#include "battery.h"
#include "dialoganswers.h"
#include "mainwindow.h"
#include "modalresponder.h"
#include "portwatcher.h"
#include "runstatusbar.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "settingsstore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

// The start-up offer names the run a crash left and its samples, as the close question does.
QString crashWarning(const QString &table, int samples)
{
    return QStringLiteral("The program did not exit properly last time. The run %1 (%2 samples) "
                          "has not been exported. Please manually save the previous test data.")
        .arg(table)
        .arg(samples);
}

// What a crash leaves behind: a run table with two rows, its name in the settings and
// "NormalExit" still false.
void leaveCrashedRun(const QString &table)
{
    {
        SampleDatabase database;
        QVERIFY(database.open_database().ok());
        // The window drops only what it knows as its own; an earlier plant may be there.
        QVERIFY(database.drop_tables({table}));
        QVERIFY(database.create_table(table, true).ok());
        database.insert_samples({{0.01, 12.3}, {0.02, -4.5}});
    }
    write_setting(QStringLiteral("NormalExit"), false);
    write_setting(QStringLiteral("last_table_name"), table);
}

// Where the form does not fit: a control outside one of the widgets it sits in (clipped or
// out of view), smaller than it needs, or overlapping another control, or a scroll area
// narrower than what it holds. A control in a scroll area is scrolled into view first: it may
// be out of view, but not out of reach. The controls are the innermost widgets of `form`.
QStringList controlLayoutFaults(const QWidget &form, const QWidget &visibleArea)
{
    QList<QWidget *> controls;
    const QList<QWidget *> widgets = form.findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (widget->isVisibleTo(&form) && !widget->isWindow() &&
            widget->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).isEmpty() &&
            !widget->objectName().startsWith(QLatin1String("qt_")))
            controls.append(widget);
    }
    QStringList faults;
    auto name = [](const QWidget *widget) {
        return widget->objectName().isEmpty()
                   ? QString::fromLatin1(widget->metaObject()->className())
                   : widget->objectName();
    };
    const QList<QScrollArea *> areas = form.findChildren<QScrollArea *>();
    for (const QScrollArea *area : areas) {
        if (area->widget()->width() > area->viewport()->width())
            faults.append(QStringLiteral("%1 cut off").arg(name(area)));
    }
    QList<QPair<const QWidget *, QRect>> placed; // in the scroll area's widget or the form
    for (QWidget *control : controls) {
        QScrollArea *area = nullptr;
        for (QScrollArea *candidate : areas) {
            if (candidate->widget()->isAncestorOf(control))
                area = candidate;
        }
        if (area != nullptr)
            area->ensureWidgetVisible(control, 0, 0);
        const QWidget *frame = area != nullptr ? area->widget() : &visibleArea;
        placed.append({frame, QRect(control->mapTo(frame, QPoint(0, 0)), control->size())});
        const QRect rect(control->mapTo(&visibleArea, QPoint(0, 0)), control->size());
        const QSize needed = control->minimumSizeHint().expandedTo(control->minimumSize());
        if (control->width() < needed.width() || control->height() < needed.height())
            faults.append(QStringLiteral("%1 squeezed").arg(name(control)));
        for (const QWidget *outer = control->parentWidget(); outer != nullptr;
             outer = outer->parentWidget()) {
            const QRect outerRect(outer->mapTo(&visibleArea, QPoint(0, 0)), outer->size());
            if (!outerRect.contains(rect) || !visibleArea.rect().contains(rect)) {
                faults.append(QStringLiteral("%1 clipped by %2").arg(name(control), name(outer)));
                break;
            }
            if (outer == &visibleArea)
                break;
        }
    }
    for (int i = 0; i < controls.size(); ++i) {
        for (int j = i + 1; j < controls.size(); ++j) {
            if (placed.at(i).first == placed.at(j).first &&
                placed.at(i).second.intersects(placed.at(j).second))
                faults.append(QStringLiteral("%1 overlaps %2")
                                  .arg(name(controls.at(i)), name(controls.at(j))));
        }
    }
    return faults;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowStartsWithTitleStatusBarAndIdleControls();
    void timersAreCreatedButNotStarted();
    void cleanPreviousExitShowsNoPromptAndMarksTheRunOnDisk();
    void uncleanPreviousExitWarnsAndCancelAsksNothingMore();
    void savingTheCrashedRunAddsTheCsvExtension_data();
    void savingTheCrashedRunAddsTheCsvExtension();
    void uncleanExitWithoutRowsToSaveAsksNothing_data();
    void uncleanExitWithoutRowsToSaveAsksNothing();
    void cancelledSaveDialogExportsNothing();
    void portListShowsExtraPortsBeforeTheSystemPorts();
    void portListIsRebuiltOnlyWhenTheSetOfPortsChanges();
    void watcherReportsAChangedSetOnce();
    void deviceNodeComingOrGoingBringsABackgroundListing();
    void nativeMessagesAreNeverSwallowed();
    void everyControlFitsAtTheSmallestWindowSize_data();
    void everyControlFitsAtTheSmallestWindowSize();
    void controlColumnWidensForALongerTextAtTheSmallestSize();
    void legendTakesAsFewRowsAsTheWidthAllows_data();
    void legendTakesAsFewRowsAsTheWidthAllows();
    void endOfRunLineFitsBesideTheOpenRunButton();

private:
    std::unique_ptr<ScopedWorkDir> workDir_;
};

void MainWindowTest::initTestCase()
{
    // Qt's own file dialog, which the test can answer, on every platform.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // One directory for the whole run: the settings store binds to the first one it sees.
    workDir_ = std::make_unique<ScopedWorkDir>();
}

void MainWindowTest::windowStartsWithTitleStatusBarAndIdleControls()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;

    QCOMPARE(window.windowTitle(), QStringLiteral("Telvane V1.1.0"));
    QVERIFY(!window.windowIcon().pixmap(QSize(32, 32)).isNull());

    QStatusBar *bar = window.statusBar();
    QVERIFY(bar != nullptr);
    QVERIFY(!bar->isSizeGripEnabled());
    QCOMPARE(bar->styleSheet(),
             QStringLiteral("QStatusBar{background-color: rgb(255, 255, 255);}"));
    auto *battery = window.findChild<Battery *>();
    QVERIFY(battery != nullptr);
    QCOMPARE(battery->parentWidget(), bar);
    QCOMPARE(battery->size(), QSize(32, 12));
    QCOMPARE(battery->minimumSize(), QSize(32, 12));
    QCOMPARE(battery->maximumSize(), QSize(32, 12));
    QVERIFY(battery->isHidden());

    for (const char *name : {"widget_multi", "channel_button_groupbox", "toolWidget"})
        QVERIFY2(window.findChild<QWidget *>(name)->isHidden(), name);
    for (const char *name : {"widget_single", "groupBoxSample", "widget_3", "SampleStart"})
        QVERIFY2(!window.findChild<QWidget *>(name)->isHidden(), name);

    QCOMPARE(window.findChild<QWidget *>("radioButton_slow")->toolTip(),
             QStringLiteral("Maximum speed 10 p/s"));
    QCOMPARE(window.findChild<QWidget *>("radioButton_med")->toolTip(),
             QStringLiteral("Maximum speed 100 p/s"));
    QCOMPARE(window.findChild<QWidget *>("radioButton_fast")->toolTip(),
             QStringLiteral("Maximum speed 5000 p/s"));

    QVERIFY(!window.findChild<QWidget *>("SampleStop")->isEnabled());
    QVERIFY(!window.findChild<QWidget *>("SamplePause")->isEnabled());
    QVERIFY(window.findChild<QWidget *>("SampleStart")->isEnabled());
    QVERIFY(window.findChild<QWidget *>("ExportFile")->isEnabled());
    QCOMPARE(window.findChild<QPushButton *>("connect")->text(), QStringLiteral("Connect"));

    QCOMPARE(window.findChild<QLabel *>("label")->text(),
             QStringLiteral("Sampling Rate (1~100 p/s)"));
    auto *rate = window.findChild<QSpinBox *>("spinBox_sampleSpeed");
    QCOMPARE(rate->maximum(), 100);
    QCOMPARE(rate->value(), 100);
}

void MainWindowTest::timersAreCreatedButNotStarted()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    QTimer *display = nullptr;
    QTimer *status = nullptr;
    const QList<QTimer *> timers =
        window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    for (QTimer *timer : timers) {
        if (timer->interval() == 30)
            display = timer;
        else if (timer->interval() == 120000)
            status = timer;
    }
    QVERIFY(display != nullptr);
    QVERIFY(status != nullptr);
    QVERIFY(!display->isActive());
    QVERIFY(!status->isActive());
    QVERIFY(!display->isSingleShot());
    QVERIFY(!status->isSingleShot());
}

void MainWindowTest::cleanPreviousExitShowsNoPromptAndMarksTheRunOnDisk()
{
    write_setting(QStringLiteral("NormalExit"), true);
    ModalResponder responder({});
    auto window = std::make_unique<MainWindow>();
    QCOMPARE(responder.seen(), QStringList());
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));

    window.reset();
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

void MainWindowTest::uncleanPreviousExitWarnsAndCancelAsksNothingMore()
{
    leaveCrashedRun(QStringLiteral("dataSample_20240102_03_04_05"));
    MessageBoxSeen warning;
    auto responder = std::make_unique<ModalResponder>(
        QList<ModalResponder::Handler>{answerMessageBox(&warning, QMessageBox::Cancel)});
    auto window = std::make_unique<MainWindow>();

    QCOMPARE(responder->seen(), QStringList{QStringLiteral("QMessageBox")});
    QCOMPARE(responder->unexpected(), 0);
    responder.reset();
    QCOMPARE(warning.title, QStringLiteral("Warning"));
    QCOMPARE(warning.text, crashWarning(QStringLiteral("dataSample_20240102_03_04_05"), 2));
    QCOMPARE(warning.buttons, QMessageBox::Save | QMessageBox::Cancel);
    QCOMPARE(warning.defaultButton, QMessageBox::Cancel);
    QCOMPARE(warning.icon, QMessageBox::Warning);
    QCOMPARE(warning.parentTitle, QStringLiteral("Telvane V1.1.0"));

    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));

    // The run is still unsaved: closing the window, which would drop it, asks once more.
    MessageBoxSeen closing;
    ModalResponder atClose({answerMessageBox(&closing, QMessageBox::Cancel)});
    QVERIFY(!window->close());
    QVERIFY2(closing.text.contains(QStringLiteral("dataSample_20240102_03_04_05")),
             qPrintable(closing.text));
    window.reset();
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

void MainWindowTest::savingTheCrashedRunAddsTheCsvExtension_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("exported");

    QTest::newRow("no extension") << "run"
                                  << "run.csv";
    QTest::newRow("lower-case extension kept") << "run.csv"
                                               << "run.csv";
    QTest::newRow("upper-case extension is not the extension") << "run.CSV"
                                                               << "run.CSV.csv";
    QTest::newRow("other extension") << "run.txt"
                                     << "run.txt.csv";
}

void MainWindowTest::savingTheCrashedRunAddsTheCsvExtension()
{
    QFETCH(QString, typed);
    QFETCH(QString, exported);

    const QString table = QStringLiteral("dataSample_20240102_03_04_05");
    leaveCrashedRun(table);
    MessageBoxSeen warning;
    SaveDialogSeen dialog;
    QStringList busyLines;
    ModalResponder responder({answerMessageBox(&warning, QMessageBox::Save),
                              answerSaveDialog(QDir::current().filePath(typed), &dialog),
                              noteBusyDialogLines(&busyLines)});
    MainWindow window;

    QCOMPARE(responder.seen(),
             (QStringList{QStringLiteral("QMessageBox"), QStringLiteral("QFileDialog"),
                          QStringLiteral("QDialog")}));
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(dialog.title, QStringLiteral("Saving Data Files"));
    QCOMPARE(dialog.filters, QStringList{QStringLiteral("Data Files (*.csv)")});
    QCOMPARE(dialog.directory, QDir::current().canonicalPath());
    QVERIFY(dialog.save);

    // The recovery export writes four decimals in every column.
    QFile written(QDir::current().filePath(exported));
    QVERIFY2(written.open(QIODevice::ReadOnly), qPrintable(written.fileName()));
    QCOMPARE(written.readAll(), QByteArray("id,time,Vol\n1,0.0100,12.3000\n2,0.0200,-4.5000\n"));
    written.close();
    QVERIFY(written.remove());
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
}

void MainWindowTest::uncleanExitWithoutRowsToSaveAsksNothing_data()
{
    QTest::addColumn<QString>("storedName"); // last_table_name in the settings
    QTest::addColumn<int>("rows");           // of the run the crash left, -1 for none

    QTest::newRow("crash before any run") << "" << -1;
    QTest::newRow("run table missing") << "dataSample_20230101_00_00_00" << 2;
    QTest::newRow("run table empty") << "dataSample_20240102_03_04_05" << 0;
    QTest::newRow("name carrying SQL")
        << "dataSample_20240102_03_04_05; DROP TABLE dataSample_20240102_03_04_05" << 2;
}

void MainWindowTest::uncleanExitWithoutRowsToSaveAsksNothing()
{
    QFETCH(QString, storedName);
    QFETCH(int, rows);

    const QString crashedTable = QStringLiteral("dataSample_20240102_03_04_05");
    if (rows >= 0) {
        SampleDatabase database;
        QVERIFY(database.open_database().ok());
        QVERIFY(database.drop_tables({crashedTable}));
        QVERIFY(database.create_table(crashedTable, true).ok());
        QCOMPARE(database.insert_samples(QList<SampleRow>(rows, {0.01, 12.3})).rows, rows);
    }
    write_setting(QStringLiteral("NormalExit"), false);
    write_setting(QStringLiteral("last_table_name"), storedName);
    ModalResponder responder({});
    MainWindow window;

    QCOMPARE(responder.seen(), QStringList());
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
    // Nothing from the settings file ran as SQL: a run the crash left is still there.
    QCOMPARE(window.database()->row_count(crashedTable), qint64(rows));
}

void MainWindowTest::cancelledSaveDialogExportsNothing()
{
    leaveCrashedRun(QStringLiteral("dataSample_20240102_03_04_05"));
    MessageBoxSeen warning;
    SaveDialogSeen dialog;
    ModalResponder responder(
        {answerMessageBox(&warning, QMessageBox::Save), answerSaveDialog(QString(), &dialog)});
    MainWindow window;

    QCOMPARE(responder.seen().size(), 2);
    QCOMPARE(responder.unexpected(), 0);
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("false"));
}

void MainWindowTest::portListShowsExtraPortsBeforeTheSystemPorts()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    auto *combo = window.findChild<QComboBox *>("PortComboBox");

    QStringList systemPorts;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        systemPorts.append(info.portName());
    auto listed = [combo] {
        QStringList names;
        for (int index = 0; index < combo->count(); ++index)
            names.append(combo->itemText(index));
        return names;
    };
    QCOMPARE(listed(), systemPorts);

    const QStringList extra = {QStringLiteral("/dev/pts/97"), QStringLiteral("/dev/pts/98")};
    window.set_extra_ports(extra);
    QCOMPARE(listed(), extra + systemPorts);
    QVERIFY(combo->itemIcon(0).isNull());
    QVERIFY(!combo->itemData(0).isValid());

    window.set_extra_ports({});
    QCOMPARE(listed(), systemPorts);

    // A simulator started with the window: its port goes first and is chosen over the one
    // chosen before.
    window.set_extra_ports({extra[1]});
    combo->setCurrentIndex(0);
    window.add_simulator_port(extra[0]);
    QCOMPARE(listed(), extra + systemPorts);
    QCOMPARE(combo->currentText(), extra[0]);
}

void MainWindowTest::portListIsRebuiltOnlyWhenTheSetOfPortsChanges()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    auto *combo = window.findChild<QComboBox *>("PortComboBox");
    auto *watcher = window.findChild<PortWatcher *>();
    QVERIFY(watcher != nullptr);

    window.set_extra_ports({QStringLiteral("/dev/pts/97"), QStringLiteral("/dev/pts/98")});
    combo->setCurrentIndex(1);
    QSignalSpy cleared(combo->model(), &QAbstractItemModel::rowsRemoved);

    // A comparison that finds the same ports leaves the list and the operator's choice alone.
    QVERIFY(!watcher->check());
    window.set_extra_ports({QStringLiteral("/dev/pts/97"), QStringLiteral("/dev/pts/98")});
    QCOMPARE(cleared.count(), 0);
    QCOMPARE(combo->currentIndex(), 1);

    window.set_extra_ports({QStringLiteral("/dev/pts/97")});
    QVERIFY(cleared.count() > 0);
    QCOMPARE(combo->itemText(0), QStringLiteral("/dev/pts/97"));
}

void MainWindowTest::watcherReportsAChangedSetOnce()
{
    PortWatcher watcher(nullptr);
    QSignalSpy changed(&watcher, &PortWatcher::ports_changed);

    QVERIFY(!watcher.check());
    QCOMPARE(changed.count(), 0);

    watcher.set_extra_ports({QStringLiteral("/dev/pts/5")});
    QCOMPARE(changed.count(), 1);
    QVERIFY(!watcher.check());
    QCOMPARE(changed.count(), 1);

    watcher.set_extra_ports({QStringLiteral("/dev/pts/5"), QStringLiteral("/dev/pts/6")});
    QCOMPARE(changed.count(), 2);
    watcher.set_extra_ports({});
    QCOMPARE(changed.count(), 3);
    QVERIFY(watcher.extra_ports().isEmpty());
}

void MainWindowTest::deviceNodeComingOrGoingBringsABackgroundListing()
{
    // The system's listing runs only when the device folder says something changed.
    QTemporaryDir devices;
    QVERIFY(devices.isValid());
    PortWatcher watcher(nullptr, devices.path());
    QSignalSpy listed(&watcher, &PortWatcher::listed);
    watcher.start();

    QFile node(devices.filePath(QStringLiteral("ttyUSB7")));
    QVERIFY(node.open(QIODevice::WriteOnly));
    node.close();
    QTRY_VERIFY_WITH_TIMEOUT(listed.count() >= 1, 10000);
    const int afterArrival = int(listed.count());
    QVERIFY(node.remove());
    QTRY_VERIFY_WITH_TIMEOUT(listed.count() > afterArrival, 10000);
}

void MainWindowTest::nativeMessagesAreNeverSwallowed()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    qintptr result = 0;
    int message = 0;
    QVERIFY(!window.nativeEventFilter(QByteArrayLiteral("xcb_generic_event_t"), &message, &result));
}

void MainWindowTest::everyControlFitsAtTheSmallestWindowSize_data()
{
    QTest::addColumn<bool>("multiChannel");
    QTest::addColumn<bool>("readout");
    QTest::newRow("single channel") << false << false;
    QTest::newRow("multi-channel, with the channel boxes") << true << false;
    QTest::newRow("multi-channel, with two lines of text under the plot") << true << true;
}

void MainWindowTest::everyControlFitsAtTheSmallestWindowSize()
{
    QFETCH(bool, multiChannel);
    QFETCH(bool, readout);
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize smallest = window.minimumSize();
    // No wider than the window opens, and short enough for a 1366 x 768 screen with a panel
    // and a title bar.
    QVERIFY2(smallest.width() <= 1092 && smallest.height() <= 640,
             qPrintable(QStringLiteral("%1 x %2").arg(smallest.width()).arg(smallest.height())));
    if (multiChannel)
        window.findChild<QAbstractButton *>(QStringLiteral("MultiChannel"))->click();
    if (readout) {
        auto *plotColumn = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
        plotColumn->insertWidget(1, new QLabel(QStringLiteral("A 12.5000 s   B 14.2500 s\n"
                                                              "1: max -10000.0 mV   rms 12.3 mV"),
                                               window.centralWidget()));
    }
    // As small as the operator can drag it.
    window.resize(1, 1);
    QApplication::processEvents();
    QCOMPARE(window.size(), window.minimumSize());
    QCOMPARE(window.minimumSize(), smallest); // switching modes leaves it alone

    // A new arrangement of the legend takes the layouts a few passes.
    auto *form = window.findChild<QWidget *>(QStringLiteral("widget_2"));
    QStringList faults;
    QTRY_VERIFY2((faults = controlLayoutFaults(*form, *window.centralWidget())).isEmpty(),
                 qPrintable(faults.join(QStringLiteral("; "))));
}

void MainWindowTest::controlColumnWidensForALongerTextAtTheSmallestSize()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(1, 1);
    auto *rate = window.findChild<QLabel *>(QStringLiteral("label"));
    rate->setText(rate->text() + QStringLiteral(", at most 150 p/s on sixteen channels"));

    auto *form = window.findChild<QWidget *>(QStringLiteral("widget_2"));
    QStringList faults;
    QTRY_VERIFY2((faults = controlLayoutFaults(*form, *window.centralWidget())).isEmpty(),
                 qPrintable(faults.join(QStringLiteral("; "))));
}

void MainWindowTest::legendTakesAsFewRowsAsTheWidthAllows_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("rows");
    QTest::newRow("smallest") << 1 << 4;
    QTest::newRow("as it opens") << 1092 << 3;
    QTest::newRow("a 1366 px screen") << 1366 << 2;
    QTest::newRow("wider than two screens") << 3000 << 1;
}

void MainWindowTest::legendTakesAsFewRowsAsTheWidthAllows()
{
    QFETCH(int, width);
    QFETCH(int, rows);
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAbstractButton *>(QStringLiteral("MultiChannel"))->click();
    window.resize(width, window.minimumHeight());

    // Read row by row, the channels come in order, in rows as even as sixteen allow.
    auto *legend = window.findChild<QWidget *>(QStringLiteral("widget_voltage_track"));
    QMap<int, QMap<int, int>> byRow; // y, x -> channel
    const auto readRows = [&] {
        byRow.clear();
        for (int channel = 1; channel <= 16; ++channel) {
            const auto *value =
                legend->findChild<QWidget *>(QStringLiteral("voltage_label_%1").arg(channel));
            byRow[value->y()][value->x()] = channel;
        }
        return byRow.size();
    };
    QTRY_COMPARE(readRows(), rows); // a new arrangement takes the layouts a few passes
    QList<int> order;
    QList<int> counts;
    for (const QMap<int, int> &row : std::as_const(byRow)) {
        order += row.values();
        counts.append(row.size());
    }
    QVERIFY(counts.first() >= counts.last());
    QCOMPARE(counts.mid(0, rows - 1), QList<int>(rows - 1, counts.first()));
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(order.at(i), i + 1);

    QStringList faults;
    QTRY_VERIFY2((faults = controlLayoutFaults(*legend, *window.centralWidget())).isEmpty(),
                 qPrintable(faults.join(QStringLiteral("; "))));
}

// The line on how a run ended is the status bar's last field: at the width the window opens
// with, a long one is cut short with an ellipsis, its whole text in the tool tip.
void MainWindowTest::endOfRunLineFitsBesideTheOpenRunButton()
{
    write_setting(QStringLiteral("NormalExit"), true);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(1092, window.height());
    RunStatusBar *status = window.run_status();
    status->run_started();
    const QString line = QStringLiteral(
        "The instrument did not end the run after its collection time; it was stopped with "
        "600000 rows stored. Only 600000 of its 600120 samples could be stored.");
    status->show_note(line, true);
    QApplication::processEvents();

    auto *note = window.statusBar()->findChild<QLabel *>(QStringLiteral("runNote"));
    const QString shown = note->text();
    QVERIFY2(note->fontMetrics().horizontalAdvance(shown) <= note->contentsRect().width(),
             qPrintable(shown));
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QCOMPARE(note->toolTip(), line);
    QCOMPARE(status->note(), line);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
