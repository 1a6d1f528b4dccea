#include "mainwindow.h"

#include "appicon.h"
#include "battery.h"
#include "brokerpublishing.h"
#include "servermirroring.h"
#include "channelpanel.h"
#include "closeguard.h"
#include "crashrecovery.h"
#include "cursorreadout.h"
#include "dataqueues.h"
#include "formminimumsize.h"
#include "formsetup.h"
#include "freespaceguard.h"
#include "gapbands.h"
#include "liveplotsink.h"
#include "logmanager.h"
#include "portreconnector.h"
#include "portwatcher.h"
#include "protocol.h"
#include "remotewatch.h"
#include "runexport.h"
#include "runmarking.h"
#include "runreview.h"
#include "runsession.h"
#include "runstatusbar.h"
#include "sampledatabase.h"
#include "serialmanager.h"
#include "settingsstore.h"
#include "statusreply.h"
#include "ui_mainwindow.h"
#include "voltageplot.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>

#include <dbt.h>
#endif

namespace {
constexpr std::chrono::milliseconds displayIntervalMs{30};
constexpr std::chrono::milliseconds statusIntervalMs{120000};
constexpr int initialRateCeiling = 100;
constexpr int slowRateCeiling = 10;
constexpr int fastSingleRateCeiling = InstrumentLimits::singleRateCeiling;
constexpr int fastMultiRateCeiling = InstrumentLimits::multiRateCeiling;

const QString normalExitKey = QStringLiteral("NormalExit");
const QString lastTableKey = QStringLiteral("last_table_name");
const QString reconnectKey = QStringLiteral("ReconnectAutomatically");
const QString timeOfDayKey = QStringLiteral("time_axis_time_of_day");
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::MainWindow>())
    , displayTimer_(new QTimer(this))
    , statusTimer_(new QTimer(this))
{
    ui_->setupUi(this);
    complete_form(*ui_, this);
    setWindowTitle(tr("Telvane V1.1.0"));
    setWindowIcon(application_icon());
    // A second window in the folder would take the first one's runs, settings and crash
    // check for its own: it stops here, before any of them is touched.
    if (!lock_working_folder()) {
        refused_ = true;
        return;
    }
    setup_status_bar();

    start_log_manager();

    queues_ = new DataQueues;
    serial_ = new SerialManager(queues_, this); // deleted in its place below; found as a child
    QObject::connect(serial_, &SerialManager::port_error, this, &MainWindow::handle_port_error);
    QObject::connect(serial_, &SerialManager::status_replied, this, &MainWindow::status_replied);
    // After the window's own answer to a reply, so a returning instrument's status is applied
    // before the window takes the port back.
    reconnector_ = new PortReconnector(serial_, this);
    reconnector_->set_hold([this] { return acquiring_; });
    QObject::connect(reconnector_, &PortReconnector::port_back, this, &MainWindow::lost_port_back);

    database_ = new SampleDatabase;
    database_->open_database();

    lastExportDir_ = QStringLiteral("./");
    acquiring_ = false;

    apply_initial_control_states();

    plot_ = new VoltagePlot(database_);
    ui_->voltageLayout->addWidget(plot_, 0);
    plot_->set_browse_mode(true);
    cursorReadout_ = new CursorReadout(plot_, this);
    ui_->verticalLayout->insertWidget(1, cursorReadout_);
    setup_time_of_day_action();

    session_ = new RunSession(serial_, queues_, database_);
    liveSink_ = std::make_unique<LivePlotSink>(plot_);
    session_->add_sink(liveSink_.get());
    QObject::connect(session_, &RunSession::finished, this,
                     [this](RunSession::Outcome outcome) { run_ended(outcome); });
    runStatus_ = new RunStatusBar(statusBar_, session_, this);
    publishing_ = new BrokerPublishing(this, statusBar_, session_, database_->file_name());
    mirroring_ = new ServerMirroring(this, statusBar_, session_, database_->file_name());
    closeGuard_ = new CloseGuard(
        this, serial_, session_, database_, [this] { return acquiring_; },
        [this] { return lastExportDir_; },
        [this](const QString &table) {
            return shown_database() == database_ && table == shown_table();
        });
    QObject::connect(closeGuard_, &CloseGuard::export_shown_requested, this,
                     &MainWindow::on_ExportFile_clicked);
    marking_ = new RunMarking(this, plot_, session_, runStatus_);
    statusBar_->findChild<QToolButton *>(QStringLiteral("openRunButton"))
        ->menu()
        ->addActions(marking_->menu_actions() << publishing_->settings_action()
                                              << mirroring_->settings_action());
    review_ = new RunReview(this, database_, plot_, cursorReadout_, marking_, runStatus_,
                            [this] { return acquiring_; });
    QObject::connect(review_, &RunReview::channel_mode_needed, this, [this](bool single) {
        if (single != is_single_channel())
            (single ? ui_->SignalChannel : ui_->MultiChannel)->click();
    });
    watch_ = new RemoteWatch(this, plot_, cursorReadout_, marking_, runStatus_,
                             [this] { return acquiring_; });
    QObject::connect(watch_, &RemoteWatch::channel_mode_needed, review_,
                     &RunReview::channel_mode_needed);
    QObject::connect(watch_, &RemoteWatch::refreshed, this, &MainWindow::refresh_value_labels);
    QObject::connect(review_, &RunReview::run_shown, watch_, &RemoteWatch::let_go);
    QObject::connect(watch_, &RemoteWatch::watching_changed, this, [this](bool watching) {
        ui_->SampleStart->setEnabled(!watching); // a watcher never commands the instrument
        ui_->connect->setEnabled(!watching);
        ui_->SamplePause->setEnabled(watching);
        show_run_paused(false);
    });
    statusBar_->findChild<QToolButton *>(QStringLiteral("openRunButton"))
        ->menu()
        ->addActions(watch_->menu_actions());

    channels_ = std::make_unique<ChannelPanel>(ui_.get(), plot_);
    channels_->style_value_labels(false);

    ui_->toolWidget->hide();

    portWatcher_ = new PortWatcher(this);
    QObject::connect(portWatcher_, &PortWatcher::ports_changed, this,
                     &MainWindow::refresh_port_list);
    refresh_port_list();
#ifndef Q_OS_WIN
    // Windows reports port changes as native messages (nativeEventFilter); elsewhere the
    // watcher hears of device nodes coming and going.
    portWatcher_->start();
#endif

    apply_rate_ceiling(initialRateCeiling);

    channels_->build_check_boxes(this, SLOT(on_checkboxToggled(bool)),
                                 SLOT(on_selectallToggled(bool)));

    displayTimer_->setInterval(displayIntervalMs);
    statusTimer_->setInterval(statusIntervalMs);
    QObject::connect(displayTimer_, &QTimer::timeout, plot_, &VoltagePlot::refresh_view);
    QObject::connect(displayTimer_, &QTimer::timeout, this, &MainWindow::refresh_value_labels);
    QObject::connect(displayTimer_, &QTimer::timeout, runStatus_, &RunStatusBar::refresh);
    QObject::connect(displayTimer_, &QTimer::timeout, this, &MainWindow::show_run_gaps);
    ui_->reconnectAutomatically->setChecked(read_setting(reconnectKey, false).toBool());
    QObject::connect(ui_->reconnectAutomatically, &QCheckBox::toggled, this, [this](bool on) {
        write_setting_soon(reconnectKey, on);
        if (!on && reconnector_->is_waiting())
            give_up_waiting();
    });
    QObject::connect(statusTimer_, &QTimer::timeout, this,
                     &MainWindow::check_lower_computer_status);

    fit_form_minimum_height(*ui_);
    run_startup_check();
    report_unusable_files();
}

MainWindow::~MainWindow()
{
    if (refused_) {
        return;
    }
    if (acquiring_) {
        stop(true); // sends the stop command first
    }
    // Only this window's runs: a recorder's runs in the same file are not the window's.
    database_->drop_tables(closeGuard_->tables());
    write_setting(normalExitKey, true);
    // It may be reading the database, and it watches the plot: it goes before both.
    delete cursorReadout_;
    cursorReadout_ = nullptr;
    channels_.reset();
    ui_.reset();
    delete marking_; // it marks through the session and the plot
    marking_ = nullptr;
    delete session_;
    liveSink_.reset(); // fed by the session
    session_ = nullptr;
    delete publishing_; // fed by the session too; its publisher says "offline"
    publishing_ = nullptr;
    delete mirroring_; // as publishing_
    mirroring_ = nullptr;
    delete plot_;
    plot_ = nullptr;
    delete review_; // the reviewed file goes once the plot left it
    review_ = nullptr;
    delete watch_; // as the reviewed file
    watch_ = nullptr;
    delete database_;
    database_ = nullptr;
    delete reconnector_; // it looks through the serial manager
    reconnector_ = nullptr;
    delete serial_;
    serial_ = nullptr;
    delete queues_;
    queues_ = nullptr;
    stop_log_manager();
}

bool MainWindow::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result)
{
#ifdef Q_OS_WIN
    const auto *msg = static_cast<const MSG *>(message);
    if (msg->message == WM_DEVICECHANGE &&
        (msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(msg->lParam);
        if (header != nullptr && header->dbch_devicetype == DBT_DEVTYP_PORT)
            portWatcher_->check(); // refreshes the list through ports_changed
    }
#endif
    // Never swallow a message: answer what the window itself would.
    return QWidget::nativeEvent(eventType, message, result);
}

void MainWindow::set_extra_ports(const QStringList &ports)
{
    portWatcher_->set_extra_ports(ports);
}

void MainWindow::add_simulator_port(const QString &port)
{
    set_extra_ports(QStringList{port} + portWatcher_->extra_ports());
    ui_->PortComboBox->setCurrentIndex(ui_->PortComboBox->findText(port));
}

SampleDatabase *MainWindow::shown_database() const
{
    SampleDatabase *watched = watch_->shown_database();
    return watched != nullptr ? watched : review_->shown_database();
}

QString MainWindow::shown_table() const
{
    return watch_->shown_database() != nullptr ? watch_->shown_table() : review_->shown_table();
}

bool MainWindow::watch_remote(const QString &url)
{
    return watch_->watch(url);
}

bool MainWindow::open_file(const QString &file, const QString &table)
{
    return review_->open_file(file, table);
}

bool MainWindow::choose_run(const QString &file)
{
    return review_->choose_run(file);
}

bool MainWindow::open_run(const QString &file, const QString &table)
{
    return review_->open_run(file, table);
}

bool MainWindow::open_csv(const QString &file)
{
    return review_->open_csv(file);
}

void MainWindow::setup_status_bar()
{
    statusBar_ = new QStatusBar(this);
    setStatusBar(statusBar_);
    statusBar_->setSizeGripEnabled(false);
    battery_ = new Battery(this);
    battery_->setFixedSize(32, 12);
    statusBar_->addPermanentWidget(battery_, 0);
    // Review of recorded runs: from the keyboard, and with the mouse from the status bar, where
    // it takes no room from the controls and no height from the window.
    auto *openRun = new QAction(tr("Open Run…"), this);
    openRun->setObjectName(QStringLiteral("actionOpenRun"));
    openRun->setShortcut(QKeySequence::Open);
    openRun->setToolTip(tr("Open a recorded run to browse, measure and export it (Ctrl+O)"));
    addAction(openRun);
    QObject::connect(openRun, &QAction::triggered, this, [this] { choose_run(); });
    add_status_bar_button(openRun, QStringLiteral("openRunButton"), 0);
    statusBar_->setStyleSheet(QStringLiteral("QStatusBar{background-color: rgb(255, 255, 255);}"));
    // Shown by the first status reply of the instrument.
    battery_->hide();
}

void MainWindow::setup_time_of_day_action()
{
    // In the menu of the Open Run button: no room taken from the controls or the status bar.
    auto *timeOfDay = new QAction(tr("Time of Day"), this);
    timeOfDay->setObjectName(QStringLiteral("actionTimeOfDay"));
    timeOfDay->setCheckable(true);
    timeOfDay->setToolTip(
        tr("Show times as the time of day (start time + t) rather than seconds since the start"));
    timeOfDay->setChecked(read_setting(timeOfDayKey, false).toBool());
    plot_->set_time_of_day(timeOfDay->isChecked());
    QObject::connect(timeOfDay, &QAction::toggled, this, [this](bool checked) {
        write_setting_soon(timeOfDayKey, checked);
        plot_->set_time_of_day(checked);
    });
    auto *openButton = statusBar_->findChild<QToolButton *>(QStringLiteral("openRunButton"));
    auto *menu = new QMenu(openButton);
    menu->addAction(timeOfDay);
    openButton->setMenu(menu);
    openButton->setPopupMode(QToolButton::MenuButtonPopup);
}

void MainWindow::add_status_bar_button(QAction *action, const QString &name, int index)
{
    auto *button = new QToolButton(this);
    button->setObjectName(name);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    // No taller than the status bar's text, so the window's height stays as it was.
    button->setFixedHeight(statusBar_->fontMetrics().height() + 2);
    statusBar_->insertPermanentWidget(index, button, 0);
}

void MainWindow::apply_initial_control_states()
{
    ui_->widget_multi->hide();
    ui_->channel_button_groupbox->hide();
    ui_->radioButton_med->setToolTip(tr("Maximum speed 100 p/s"));
    ui_->radioButton_slow->setToolTip(tr("Maximum speed 10 p/s"));
    ui_->radioButton_fast->setToolTip(tr("Maximum speed 5000 p/s"));
    ui_->SampleStop->setEnabled(false);
    ui_->SamplePause->setEnabled(false);
}

void MainWindow::apply_rate_ceiling(int ceiling)
{
    ui_->label->setText(tr("Sampling Rate ") + QStringLiteral("(1~%1 p/s)").arg(ceiling));
    ui_->spinBox_sampleSpeed->setMaximum(ceiling);
    ui_->spinBox_sampleSpeed->setValue(ceiling);
}

void MainWindow::apply_range_labels()
{
    const QString range = attenuator_ ? QStringLiteral("(-80~80 V)") : QStringLiteral("(-10~10 V)");
    ui_->label_vout->setText(QStringLiteral("Vout ") + range);
    ui_->label_vout0->setText(QStringLiteral("V1 ") + range);
    ui_->label_vout1->setText(QStringLiteral("V2 ") + range);
    ui_->label_vout2->setText(QStringLiteral("V3 ") + range);
    ui_->label_vout3->setText(QStringLiteral("V4 ") + range);
    const double limit = InstrumentLimits::volt_limit(attenuator_);
    for (QDoubleSpinBox *box :
         {ui_->doubleSpinBox_vout, ui_->doubleSpinBox_vout1, ui_->doubleSpinBox_vout2,
          ui_->doubleSpinBox_vout3, ui_->doubleSpinBox_vout4}) {
        box->setRange(-limit, limit);
    }
}

void MainWindow::refresh_port_list()
{
    // A port coming or going must not move the operator's choice, nor, while connected,
    // make the disabled list show a port other than the open one.
    const QString chosen = ui_->PortComboBox->currentText();
    ui_->PortComboBox->clear();
    const QStringList extra = portWatcher_->extra_ports();
    for (const QString &name : extra)
        ui_->PortComboBox->addItem(QIcon(), name, QVariant());
    // As the watcher last listed them: the system's listing is too slow for the GUI thread.
    const QList<QSerialPortInfo> ports = portWatcher_->system_ports();
    for (const QSerialPortInfo &info : ports) {
        qDebug() << "Port Name:" << info.portName();
        qDebug() << "systemLocation:" << info.systemLocation();
        qDebug() << "description:" << info.description();
        qDebug() << "manufacturer:" << info.manufacturer();
        qDebug() << "serialNumber:" << info.serialNumber();
        ui_->PortComboBox->addItem(QIcon(), info.portName(), QVariant());
    }
    const int kept = ui_->PortComboBox->findText(chosen);
    if (kept >= 0)
        ui_->PortComboBox->setCurrentIndex(kept);
}

bool MainWindow::lock_working_folder()
{
    auto lock = std::make_unique<QLockFile>(QString::fromLatin1(SampleDatabase::defaultFileName) +
                                            QStringLiteral(".lock"));
    // A window may run for weeks: only a holder that is gone makes the lock stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        folderLock_ = std::move(lock);
        return true;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        // A folder where no lock can be created cannot hold the runs either; the window
        // starts and says so (report_unusable_files).
        qDebug() << "The working folder cannot be locked:" << lock->error();
        return true;
    }
    qint64 pid = 0;
    QString host;
    QString application;
    const QString holder = lock->getLockInfo(&pid, &host, &application)
                               ? tr("process %1, %2, on %3").arg(pid).arg(application, host)
                               : tr("another process");
    QMessageBox::warning(this, tr("Warning"),
                         tr("Another Telvane window (%1) is already working in this folder "
                            "with its database Quorlen.db. Only one window can work in a folder "
                            "at a time; this one closes without changing anything.")
                             .arg(holder));
    return false;
}

void MainWindow::run_startup_check()
{
    // A run a crash left behind is this window's to drop at the close, which asks about it
    // again while it is not saved.
    CrashRecovery recovery(this, database_);
    const QString left = recovery.left_run();
    if (!left.isEmpty()) {
        closeGuard_->add_run(left);
        if (recovery.offer_last_run(lastExportDir_).isEmpty())
            closeGuard_->mark_exported(left);
    }
    // Stays false on disk until a clean shutdown, so a crash is noticed at the next start.
    write_setting(normalExitKey, false);
}

void MainWindow::report_unusable_files()
{
    // Without these files the window still works, but runs or settings are not kept: the
    // operator has to hear it before recording rather than after.
    QStringList problems;
    if (const Status readable = database_->check_readable(); !readable.ok()) {
        problems.append(tr("The database Quorlen.db cannot be used (%1): runs cannot be recorded.")
                            .arg(readable.message()));
    }
    if (const QString reason = log_manager()->open_error(); !reason.isEmpty()) {
        problems.append(tr("The log folder %1 cannot be written (%2): runs are recorded without "
                           "a log.")
                            .arg(QDir::toNativeSeparators(log_manager()->log_directory()), reason));
    }
    // A garbled file reads as FormatError but is rewritten whole by the next write; only
    // a file that cannot be written at all loses the operator's settings.
    if (settings_store()->status() == QSettings::AccessError) {
        problems.append(tr("The settings file config.ini cannot be written: channel choices and "
                           "the check for an unclean exit are not kept."));
    }
    if (!problems.isEmpty())
        QMessageBox::warning(this, tr("Warning"), problems.join(QLatin1Char('\n')));
}

bool MainWindow::is_connected() const
{
    // A port opened for a look at a lost instrument is the reconnector's, not connected yet.
    return serial_->is_open() && !reconnector_->is_waiting();
}

void MainWindow::show_connection_state()
{
    ui_->connect->setText(is_connected() ? tr("Disconnect") : tr("Connect"));
}

void MainWindow::show_run_paused(bool paused)
{
    // The window's own record: a paused run the operator then stops is still shown paused.
    runPaused_ = paused;
    ui_->SamplePause->setText(paused ? tr("Continue") : tr("Pause"));
}

bool MainWindow::is_single_channel() const
{
    return ui_->SignalChannel->isChecked();
}

void MainWindow::show_message(const QString &text)
{
    QMessageBox::information(this, tr("Message"), text);
}

void MainWindow::refresh_value_labels()
{
    channels_->refresh_value_labels(is_single_channel());
}

void MainWindow::on_MultiChannel_clicked()
{
    ui_->widget_multi->show();
    ui_->widget_single->hide();
    // The instrument takes at most 150 p/s on sixteen channels, whatever preset or rate the
    // single-channel mode left: the ceiling drops to it, a lower rate is kept.
    if (ui_->spinBox_sampleSpeed->maximum() > fastMultiRateCeiling) {
        const int rate = ui_->spinBox_sampleSpeed->value();
        apply_rate_ceiling(fastMultiRateCeiling);
        ui_->spinBox_sampleSpeed->setValue(std::min(rate, fastMultiRateCeiling));
    }
    ui_->channel_button_groupbox->show();
    channels_->style_value_labels(true);
    channels_->reload_check_states();
}

void MainWindow::on_checkboxToggled(bool checked)
{
    channels_->channel_toggled(qobject_cast<QCheckBox *>(sender()), checked);
    cursorReadout_->set_shown_channels(ChannelPanel::stored_visibility());
}

void MainWindow::on_SignalChannel_clicked()
{
    ui_->widget_multi->hide();
    ui_->widget_single->show();
    channels_->style_value_labels(false);
    if (ui_->radioButton_fast->isChecked())
        apply_rate_ceiling(fastSingleRateCeiling);
    ui_->channel_button_groupbox->hide();
    // Channel 1 is the channel of single-channel mode and always shown.
    write_setting_soon(QStringLiteral("Channel0Visible"), true);
}

void MainWindow::on_selectallToggled(bool checked)
{
    channels_->select_all(checked);
    cursorReadout_->set_shown_channels(ChannelPanel::stored_visibility());
}

void MainWindow::on_radioButton_med_clicked()
{
    apply_rate_ceiling(initialRateCeiling);
}

void MainWindow::on_radioButton_fast_clicked()
{
    apply_rate_ceiling(ui_->MultiChannel->isChecked() ? fastMultiRateCeiling
                                                      : fastSingleRateCeiling);
}

void MainWindow::on_radioButton_slow_clicked()
{
    apply_rate_ceiling(slowRateCeiling);
}

void MainWindow::apply_run_control_states(bool running)
{
    for (QWidget *widget :
         {static_cast<QWidget *>(ui_->SignalChannel), static_cast<QWidget *>(ui_->MultiChannel),
          static_cast<QWidget *>(ui_->SampleStart), static_cast<QWidget *>(ui_->ExportFile),
          static_cast<QWidget *>(ui_->groupBoxSample),
          static_cast<QWidget *>(ui_->groupBoxExcitation)}) {
        widget->setEnabled(!running);
    }
    ui_->SampleStop->setEnabled(running);
    ui_->SamplePause->setEnabled(running);
}

RunSettings MainWindow::run_settings() const
{
    RunSettings settings;
    settings.singleChannel = is_single_channel();
    settings.rate = ui_->spinBox_sampleSpeed->value();
    settings.seconds = ui_->spinBox_sampleTime->value();
    if (settings.singleChannel) {
        settings.voltages = {ui_->doubleSpinBox_vout->value()};
    } else {
        settings.voltages = {ui_->doubleSpinBox_vout1->value(), ui_->doubleSpinBox_vout2->value(),
                             ui_->doubleSpinBox_vout3->value(), ui_->doubleSpinBox_vout4->value()};
    }
    return settings;
}

void MainWindow::on_SampleStart_clicked()
{
    if (acquiring_) {
        write_log(QStringLiteral("正在采集中，无法启动"));
        return;
    }
    if (!is_connected()) {
        show_message(tr("Please connect the serial port first"));
        return;
    }
    const RunSettings settings = run_settings();
    // A run the file system cannot hold would only end in a write failure hours later.
    const QString shortage =
        FreeSpaceGuard(database_->file_name(), settings.singleChannel, settings.rate)
            .shortage(settings.seconds, tr("this run"));
    if (!shortage.isEmpty()) {
        write_log(shortage);
        show_message(shortage);
        return;
    }
    review_->end_review(); // a run on review gives way to the new one
    watch_->let_go();
    // A run started within the same second as another one, of this or another program, gets
    // a suffixed name, so no two runs ever share a table.
    if (!session_->create_table(QDateTime::currentDateTime(), settings).ok()) {
        show_message(tr("Data table creation failed"));
        return;
    }
    const QString table = session_->table();
    // Live first: what changes on the plot from here on is drawn by the display timer's first
    // tick, in a pass of the event loop of its own, not in queued redraws after this handler.
    plot_->set_browse_mode(false);
    write_setting_soon(lastTableKey, table);
    closeGuard_->add_run(table);
    cursorReadout_->set_run(database_, table);
    const QList<bool> shown = ChannelPanel::stored_visibility(); // read once: a settings lock
    cursorReadout_->set_shown_channels(shown);

    plot_->setup_graphs(settings.singleChannel, shown);
    plot_->set_run_start(session_->facts().started.toLocalTime());
    marking_->show_run(database_, table, true);

    statusTimer_->stop();
    session_->begin();
    displayTimer_->start(displayIntervalMs);

    acquiring_ = true;
    apply_run_control_states(true);
    runStatus_->run_started();
}

void MainWindow::on_SamplePause_clicked()
{
    if (watch_->is_watching()) { // a pause of the watch browses what was received
        watch_->set_paused(!runPaused_);
        return show_run_paused(!runPaused_);
    }
    if (!runPaused_) {
        show_run_paused(true);
        session_->pause();
        displayTimer_->stop();
        plot_->set_browse_mode(true);
    } else {
        show_run_paused(false);
        session_->resume();
        displayTimer_->start(displayIntervalMs);
        plot_->set_browse_mode(false);
    }
    show_run_gaps();
    runStatus_->refresh();
}

void MainWindow::show_run_gaps()
{
    plot_->gap_bands()->set_gaps(session_->gaps());
}

void MainWindow::on_SampleStop_clicked()
{
    if (!acquiring_)
        return;
    ui_->groupBoxSample->setEnabled(true);
    ui_->groupBoxExcitation->setEnabled(true);
    ui_->ExportFile->setEnabled(true);
    session_->request_stop();
    runStatus_->stop_requested();
}

void MainWindow::on_connect_clicked()
{
    if (!is_connected()) {
        const QString port = ui_->PortComboBox->currentText();
        if (!serial_->open_port(port)) {
            show_message(tr("Connection Failed") + QStringLiteral("\n\n") +
                         tr("%1 cannot be opened: %2.").arg(port, serial_->open_error()));
            return;
        }
        portInUse_ = port;
        show_connection_state();
        ui_->PortComboBox->setEnabled(false);
        // No level of an earlier instrument stays on show: only this one's reply shows it.
        battery_->hide();
        const bool answered = query_instrument_status();
        // A port lost during the first status query has already been reported by
        // handle_port_error; the connect did not succeed after all.
        if (!is_connected())
            return;
        runStatus_->set_connected(true);
        statusTimer_->start(statusIntervalMs);
        if (answered) {
            show_message(tr("Connection Success"));
        } else {
            show_message(tr("The port is open, but the instrument did not answer. Check that "
                            "it is switched on and attached to this port."));
        }
        return;
    }
    if (acquiring_) {
        show_message(tr("Unable to disconnect during data collection"));
        return;
    }
    serial_->close_port();
    show_connection_state();
    ui_->PortComboBox->setEnabled(true);
    statusTimer_->stop();
    runStatus_->set_connected(false);
}

void MainWindow::stop(bool error)
{
    // Ends the run at once, without waiting for the instrument (closing, lost port); the
    // run's end then comes back through run_ended.
    if (!session_->is_active())
        return;
    if (error && !serial_->is_open())
        session_->port_lost();
    session_->end_now(); // also for a run already ending: the caller needs its end now
}

void MainWindow::run_ended(RunSession::Outcome outcome)
{
    const bool portLost = outcome == RunOutcome::PortLost || !serial_->is_open();
    acquiring_ = false;
    // A copy: the warnings below run event loops of their own.
    const RunReport report = session_->report();
    closeGuard_->set_run_rows(report.table, report.tableLost ? 0 : report.committedCount);
    displayTimer_->stop();
    if (portLost) {
        // Nothing to ask a closed port; the next connect starts the status timer again.
        statusTimer_->stop();
        show_connection_state();
    } else {
        check_lower_computer_status();
        statusTimer_->start(statusIntervalMs);
    }
    plot_->set_browse_mode(true);
    show_run_gaps();
    apply_run_control_states(false);
    show_run_paused(false);
    runStatus_->set_connected(!portLost);
    runStatus_->run_ended(report);
    for (const QString &warning : end_warnings(report))
        QMessageBox::warning(this, tr("Warning"), warning);
    if (std::exchange(portErrorPending_, false))
        warn_port_error();
    if (reconnector_->is_waiting()) // the run's own report first, then what comes next
        runStatus_->show_note(tr("Waiting for the instrument on %1").arg(portInUse_), true);
}

QStringList MainWindow::end_warnings(const RunReport &report)
{
    using Kind = RunReport::ProblemKind;
    QStringList warnings;
    if (report.has(Kind::StopUnconfirmed)) {
        warnings.append(tr("The instrument did not confirm the stop within %1 s. The run "
                           "was ended without it; the %2 samples received are kept.")
                            .arg(report.stopWaitSeconds)
                            .arg(report.committedCount));
    }
    if (report.has_any({Kind::StorageFailed, Kind::TableLost})) {
        const QString kept =
            report.tableLost
                ? tr("Its table %1 is gone from the database: none of its %2 samples are kept.")
                      .arg(report.table)
                      .arg(report.takenCount)
                : tr("%1 of its %2 samples are kept.")
                      .arg(report.committedCount)
                      .arg(report.takenCount);
        warnings.append(tr("The samples could not be stored in the database (%1), so the "
                           "run was stopped. ")
                            .arg(report.storageError) +
                        kept);
    } else if (report.has(Kind::RowsShort)) {
        warnings.append(tr("Only %1 of the %2 samples of this run could be stored in the "
                           "database. The disk may be full.")
                            .arg(report.committedCount)
                            .arg(report.takenCount));
    }
    return warnings;
}

void MainWindow::handle_port_error()
{
    const bool runWasActive = acquiring_;
    // A run's end says so in the status bar (run_ended), which tells the error once the
    // run's threads are done, after the run's own reports.
    portErrorPending_ = acquiring_;
    if (acquiring_)
        session_->port_lost();
    else
        runStatus_->show_note(tr("The serial port was lost."), true);
    show_connection_state();
    statusTimer_->stop();
    ui_->PortComboBox->setEnabled(true);
    runStatus_->set_connected(false);
    if (wait_for_lost_port(runWasActive)) {
        portErrorPending_ = false; // waiting for it to come back says enough
        return;
    }
    if (!portErrorPending_)
        warn_port_error();
}

void MainWindow::warn_port_error()
{
    QMessageBox::warning(this, tr("Error"),
                         tr("Serial port error!Please restart the lower computer"));
}

bool MainWindow::wait_for_lost_port(bool runWasActive)
{
    if (!ui_->reconnectAutomatically->isChecked() || portInUse_.isEmpty())
        return false;
    restartAfterLoss_ = runWasActive;
    ui_->PortComboBox->setEnabled(false);
    ui_->connect->setEnabled(false);
    const QString waiting = tr("Waiting for the instrument on %1").arg(portInUse_);
    write_log(waiting);
    runStatus_->show_note(waiting, true);
    reconnector_->start(portInUse_);
    return true;
}

void MainWindow::give_up_waiting()
{
    // The operator takes the port back into their own hands.
    reconnector_->stop();
    ui_->connect->setEnabled(true);
    ui_->PortComboBox->setEnabled(true);
    runStatus_->show_note(tr("The serial port was lost."), true);
}

void MainWindow::status_replied(const StatusReply &status)
{
    // While a lost port is awaited, the reconnector hears the reply too.
    apply_instrument_status(status);
}

void MainWindow::lost_port_back()
{
    ui_->connect->setEnabled(true);
    show_connection_state();
    runStatus_->set_connected(true);
    statusTimer_->start(statusIntervalMs);
    const QDateTime lostAt = reconnector_->lost_at();
    const qint64 seconds = lostAt.secsTo(QDateTime::currentDateTime());
    QString told = tr("Instrument on %1 lost at %2, back after %3 s")
                       .arg(portInUse_, lostAt.toString(QStringLiteral("hh:mm:ss")))
                       .arg(seconds);
    if (restartAfterLoss_) {
        // The controls still hold the lost run's settings.
        on_SampleStart_clicked();
        told += acquiring_ ? tr("; new run %1").arg(session_->table())
                           : tr("; the run could not be started again");
    }
    write_log(told);
    runStatus_->show_note(told, !acquiring_ && restartAfterLoss_);
}

void MainWindow::check_lower_computer_status()
{
    // Answered through status_replied: an instrument slow to answer (or silent for the
    // whole time-out) does not hold up the window.
    serial_->request_status();
}

bool MainWindow::query_instrument_status()
{
    return apply_instrument_status(serial_->query_status());
}

bool MainWindow::apply_instrument_status(const StatusReply &status)
{
    if (!status.is_valid())
        return false;
    session_->set_instrument_status(status);
    battery_->show();
    battery_->setLevel(status.battery_percent());
    if (status.module() == StatusReply::Module::Present && !attenuator_) {
        qDebug() << "检测到衰减模块";
        attenuator_ = true;
        apply_range_labels();
    } else if (status.module() == StatusReply::Module::Absent && attenuator_) {
        qDebug() << "未检测到衰减模块";
        attenuator_ = false;
        apply_range_labels();
    }
    battery_->setToolTip(RunStatusBar::battery_tool_tip(status.battery_percent(), attenuator_));
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A refused window touched nothing: it has nothing to lose.
    if (closeGuard_ != nullptr && !closeGuard_->may_close()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::on_ExportFile_clicked()
{
    if (acquiring_)
        return; // also while stopping, when the button is already enabled
    SampleDatabase *source = shown_database();
    const QString table = shown_table();
    if (RunExport(this, source, table, plot_).run(lastExportDir_) && source == database_)
        closeGuard_->mark_exported(table);
}
