#include "mainwindow.h"

#include "appicon.h"
#include "battery.h"
#include "busydialogjob.h"
#include "channelpanel.h"
#include "crashrecovery.h"
#include "csvimport.h"
#include "cursorreadout.h"
#include "dataqueues.h"
#include "formminimumsize.h"
#include "freespaceguard.h"
#include "gapbands.h"
#include "loading.h"
#include "logmanager.h"
#include "openrundialog.h"
#include "portlocation.h"
#include "portwatcher.h"
#include "protocol.h"
#include "runexport.h"
#include "runmarking.h"
#include "runsession.h"
#include "runstatusbar.h"
#include "runtablename.h"
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
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

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
// How often a lost port's path is looked at, as the recorder does.
constexpr int reconnectIntervalMs = 500;
const QString timeOfDayKey = QStringLiteral("time_axis_time_of_day");

// When the run in table started, local: its facts to the millisecond, else its name to the
// second; invalid for a run with neither (an imported CSV's scratch table).
QDateTime stored_run_start(SampleDatabase *database, const QString &table)
{
    if (const std::optional<RunFacts> facts = database->read_facts(table);
        facts && facts->started.isValid())
        return facts->started.toLocalTime();
    return run_start_time(table);
}

enum class ReviewFile { Database, Csv, Neither };

// What a file given to the window is, from its first bytes: SQLite's header (or nothing, which
// SQLite takes for an empty database), a CSV by its name or the start of an export's header.
// A file that cannot be read counts as a database, whose opening tells why.
ReviewFile review_file_kind(const QString &path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ReviewFile::Csv;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReviewFile::Database;
    QByteArray start = file.read(16);
    if (start.isEmpty() || start == QByteArray("SQLite format 3", 16))
        return ReviewFile::Database;
    if (start.startsWith("\xEF\xBB\xBF"))
        start.remove(0, 3);
    return start.startsWith("id,time,") ? ReviewFile::Csv : ReviewFile::Neither;
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::MainWindow>())
    , display_timer_(new QTimer(this))
    , status_timer_(new QTimer(this))
    , reconnect_timer_(new QTimer(this))
{
    ui_->setupUi(this);
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

    database_ = new SampleDatabase;
    database_->open_database();

    last_export_dir_ = QStringLiteral("./");
    acquiring_ = false;

    apply_initial_control_states();

    plot_ = new VoltagePlot(database_);
    ui_->voltageLayout->addWidget(plot_, 0);
    plot_->set_browse_mode(true);
    cursor_readout_ = new CursorReadout(plot_, this);
    ui_->verticalLayout->insertWidget(1, cursor_readout_);
    setup_time_of_day_action();

    session_ = new RunSession(serial_, queues_, database_, plot_);
    QObject::connect(session_, &RunSession::finished, this,
                     [this](RunSession::Outcome outcome) { run_ended(outcome); });
    run_status_ = new RunStatusBar(status_bar_, session_, this);
    marking_ = new RunMarking(this, plot_, session_, run_status_);
    status_bar_->findChild<QToolButton *>(QStringLiteral("openRunButton"))
        ->menu()
        ->addActions(marking_->menu_actions());

    channels_ = std::make_unique<ChannelPanel>(ui_.get(), plot_);
    channels_->style_value_labels(false);

    ui_->toolWidget->hide();

    port_watcher_ = new PortWatcher(this);
    QObject::connect(port_watcher_, &PortWatcher::ports_changed, this,
                     &MainWindow::refresh_port_list);
    refresh_port_list();
#ifndef Q_OS_WIN
    // Windows reports port changes as native messages (nativeEventFilter); elsewhere the
    // watcher hears of device nodes coming and going.
    port_watcher_->start();
#endif

    apply_rate_ceiling(initialRateCeiling);

    channels_->build_check_boxes(this, SLOT(on_checkboxToggled(bool)),
                                 SLOT(on_selectallToggled(bool)));

    display_timer_->setInterval(displayIntervalMs);
    status_timer_->setInterval(statusIntervalMs);
    QObject::connect(display_timer_, &QTimer::timeout, plot_, &VoltagePlot::refresh_view);
    QObject::connect(display_timer_, &QTimer::timeout, this, &MainWindow::refresh_value_labels);
    QObject::connect(display_timer_, &QTimer::timeout, run_status_, &RunStatusBar::refresh);
    QObject::connect(display_timer_, &QTimer::timeout, this, &MainWindow::show_run_gaps);
    ui_->reconnectAutomatically->setChecked(read_setting(reconnectKey, false).toBool());
    QObject::connect(ui_->reconnectAutomatically, &QCheckBox::toggled, this, [this](bool on) {
        write_setting_soon(reconnectKey, on);
        if (!on && reconnect_timer_->isActive())
            give_up_waiting();
    });
    reconnect_timer_->setInterval(reconnectIntervalMs);
    QObject::connect(reconnect_timer_, &QTimer::timeout, this, &MainWindow::try_lost_port);
    QObject::connect(status_timer_, &QTimer::timeout, this,
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
    database_->drop_tables(own_tables_);
    write_setting(normalExitKey, true);
    // It may be reading the database, and it watches the plot: it goes before both.
    delete cursor_readout_;
    cursor_readout_ = nullptr;
    channels_.reset();
    ui_.reset();
    delete marking_; // it marks through the session and the plot
    marking_ = nullptr;
    delete session_;
    session_ = nullptr;
    delete plot_;
    plot_ = nullptr;
    delete database_;
    database_ = nullptr;
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
            port_watcher_->check(); // refreshes the list through ports_changed
    }
#endif
    // Never swallow a message: answer what the window itself would.
    return QWidget::nativeEvent(eventType, message, result);
}

void MainWindow::set_extra_ports(const QStringList &ports)
{
    port_watcher_->set_extra_ports(ports);
}

void MainWindow::add_simulator_port(const QString &port)
{
    set_extra_ports(QStringList{port} + port_watcher_->extra_ports());
    ui_->PortComboBox->setCurrentIndex(ui_->PortComboBox->findText(port));
}

SampleDatabase *MainWindow::shown_database() const
{
    return review_database_ ? review_database_.get() : database_;
}

QString MainWindow::shown_table() const
{
    return reviewed_table_.isEmpty() ? database_->current_table_name() : reviewed_table_;
}

bool MainWindow::open_file(const QString &file, const QString &table)
{
    switch (review_file_kind(file)) {
    case ReviewFile::Csv:
        return open_csv(file);
    case ReviewFile::Database:
        return table.isEmpty() ? choose_run(file) : open_run(file, table);
    case ReviewFile::Neither:
        break;
    }
    QMessageBox::warning(this, tr("Warning"),
                         tr("%1 cannot be opened: it is neither a database nor a CSV file of "
                            "this program.")
                             .arg(QDir::toNativeSeparators(file)));
    return false;
}

bool MainWindow::choose_run(const QString &file)
{
    if (acquiring_) {
        show_message(tr("Stop the run before opening a recorded one."));
        return false;
    }
    OpenRunDialog dialog(file.isEmpty() ? database_->file_name() : file, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (dialog.file().endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return open_csv(dialog.file());
    return !dialog.table().isEmpty() && open_run(dialog.file(), dialog.table());
}

bool MainWindow::open_run(const QString &file, const QString &table)
{
    if (acquiring_) {
        show_message(tr("Stop the run before opening a recorded one."));
        return false;
    }
    if (file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return open_csv(file);
    const bool own = QFileInfo(file).canonicalFilePath() ==
                     QFileInfo(database_->file_name()).canonicalFilePath();
    if (own)
        return show_run(nullptr, database_, file, table, false);
    auto other = std::make_unique<SampleDatabase>(file, SampleDatabase::Access::ReadOnly);
    QString reason;
    if (!QFileInfo(file).isFile())
        reason = tr("there is no such file");
    else if (const Status opened = other->open_database(); !opened.ok())
        reason = opened.message();
    if (!reason.isEmpty()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("The run %1 of %2 cannot be opened: %3.").arg(table, file, reason));
        return false;
    }
    SampleDatabase *source = other.get();
    return show_run(std::move(other), source, file, table, true);
}

bool MainWindow::open_csv(const QString &file)
{
    if (acquiring_) {
        show_message(tr("Stop the run before opening a recorded one."));
        return false;
    }
    auto folder = std::make_unique<QTemporaryDir>();
    auto scratch = std::make_unique<SampleDatabase>(folder->filePath(QStringLiteral("run.db")),
                                                    SampleDatabase::Access::Scratch);
    if (!folder->isValid() || !scratch->open_database().ok()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("No scratch database for %1 could be made.").arg(file));
        return false;
    }
    // Read on a worker thread; the busy dialog shows how much of the file is in.
    CsvImport import;
    SampleDatabase *target = scratch.get();
    Loading loading(tr("Reading the CSV file"));
    const qint64 size = std::max<qint64>(1, QFileInfo(file).size());
    QFuture<Result<CsvImport::ImportedRun>> task =
        QtConcurrent::run([&import, file, target] { return import.read(file, *target); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loading, [&] {
        loading.set_text(
            tr("Reading the CSV file: %1 %").arg(100 * import.bytes_read().load() / size));
        if (task.isFinished())
            loading.close();
    });
    poll.start(100);
    // Shown even for a small file, closed by the poll: the operator sees one sequence always.
    loading.exec();
    poll.stop();
    const Result<CsvImport::ImportedRun> imported = task.result();
    if (!imported.ok()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("%1 cannot be opened: %2.").arg(file, imported.status().message()));
        return false;
    }
    SampleDatabase *source = scratch.get();
    const bool shown = show_run(std::move(scratch), source, file, imported->table, true);
    if (shown)
        scratch_folder_ = std::move(folder); // the one before went with its database
    return shown;
}

bool MainWindow::show_run(std::unique_ptr<SampleDatabase> owned, SampleDatabase *source,
                          const QString &file, const QString &table, bool readOnly)
{
    const Result<RunListing> run = source->describe_run(table);
    QString reason = run.status().message();
    if (run.ok() && (run->channels == 0 || !SampleDatabase::is_valid_table_name(table) ||
                     !source->table_exists(table)))
        reason = tr("it is not a run table of this program");
    if (!reason.isEmpty() || !run.ok()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("The run %1 of %2 cannot be opened: %3.").arg(table, file, reason));
        return false;
    }
    const bool single = run->channels == 1;
    if (single != is_single_channel())
        (single ? ui_->SignalChannel : ui_->MultiChannel)->click();
    plot_->show_stored_run(source, table, single, ChannelPanel::stored_visibility(),
                           run->firstTime.value_or(0.0), run->lastTime.value_or(0.0));
    plot_->set_run_start(stored_run_start(source, table));
    const QList<RunGap> gaps = source->read_gaps(table);
    plot_->gap_bands()->set_gaps(gaps);
    marking_->show_run(source, table, !readOnly);
    cursor_readout_->set_run(source, table);
    cursor_readout_->set_shown_channels(ChannelPanel::stored_visibility());
    review_database_ = std::move(owned); // the one before goes once the plot left it
    reviewed_table_ = table;
    // The status bar's counts are the last recorded run's; the reviewed run's gaps go here.
    run_status_->show_note(
        tr("Reviewing %1 of %2 (%3 rows, %4)%5. Shift+click and Ctrl+click "
           "place cursors A and B.")
            .arg(table, QDir::toNativeSeparators(file))
            .arg(run->rows)
            .arg(gaps.isEmpty() ? tr("no gaps") : tr("gaps: %1").arg(gaps.size()))
            .arg(readOnly ? tr(", read-only") : QString()),
        false);
    return true;
}

void MainWindow::setup_status_bar()
{
    status_bar_ = new QStatusBar(this);
    setStatusBar(status_bar_);
    status_bar_->setSizeGripEnabled(false);
    battery_ = new Battery(this);
    battery_->setFixedSize(32, 12);
    status_bar_->addPermanentWidget(battery_, 0);
    // Review of recorded runs: from the keyboard, and with the mouse from the status bar, where
    // it takes no room from the controls and no height from the window.
    auto *openRun = new QAction(tr("Open Run…"), this);
    openRun->setObjectName(QStringLiteral("actionOpenRun"));
    openRun->setShortcut(QKeySequence::Open);
    openRun->setToolTip(tr("Open a recorded run to browse, measure and export it (Ctrl+O)"));
    addAction(openRun);
    QObject::connect(openRun, &QAction::triggered, this, [this] { choose_run(); });
    add_status_bar_button(openRun, QStringLiteral("openRunButton"), 0);
    status_bar_->setStyleSheet(QStringLiteral("QStatusBar{background-color: rgb(255, 255, 255);}"));
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
    auto *openButton = status_bar_->findChild<QToolButton *>(QStringLiteral("openRunButton"));
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
    button->setFixedHeight(status_bar_->fontMetrics().height() + 2);
    status_bar_->insertPermanentWidget(index, button, 0);
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
    const QStringList extra = port_watcher_->extra_ports();
    for (const QString &name : extra)
        ui_->PortComboBox->addItem(QIcon(), name, QVariant());
    // As the watcher last listed them: the system's listing is too slow for the GUI thread.
    const QList<QSerialPortInfo> ports = port_watcher_->system_ports();
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
        folder_lock_ = std::move(lock);
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
        own_tables_.append(left);
        if (recovery.offer_last_run(last_export_dir_).isEmpty())
            exported_tables_.insert(left);
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
    return ui_->connect->text() != QLatin1String("Connect");
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
    cursor_readout_->set_shown_channels(ChannelPanel::stored_visibility());
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
    cursor_readout_->set_shown_channels(ChannelPanel::stored_visibility());
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
    // A run on review gives way to the new one; nothing reads its file after this.
    plot_->set_database(database_);
    cursor_readout_->set_run(database_, QString());
    review_database_.reset();
    reviewed_table_.clear();
    marking_->show_run(database_, QString(), false);
    // A run started within the same second as another one, of this or another program, gets
    // a suffixed name, so no two runs ever share a table.
    if (!session_->create_table(QDateTime::currentDateTime(), settings)) {
        show_message(tr("Data table creation failed"));
        return;
    }
    const QString table = session_->table();
    // Live first: what changes on the plot from here on is drawn by the display timer's first
    // tick, in a pass of the event loop of its own, not in queued redraws after this handler.
    plot_->set_browse_mode(false);
    write_setting_soon(lastTableKey, table);
    own_tables_.append(table);
    cursor_readout_->set_run(database_, table);
    const QList<bool> shown = ChannelPanel::stored_visibility(); // read once: a settings lock
    cursor_readout_->set_shown_channels(shown);

    plot_->setup_graphs(settings.singleChannel, shown);
    plot_->set_run_start(session_->facts().started.toLocalTime());
    marking_->show_run(database_, table, true);

    status_timer_->stop();
    session_->begin();
    display_timer_->start(displayIntervalMs);

    acquiring_ = true;
    apply_run_control_states(true);
    run_status_->run_started();
}

void MainWindow::on_SamplePause_clicked()
{
    if (ui_->SamplePause->text() == QLatin1String("Pause")) {
        ui_->SamplePause->setText(tr("Continue"));
        session_->pause();
        display_timer_->stop();
        plot_->set_browse_mode(true);
    } else {
        ui_->SamplePause->setText(tr("Pause"));
        session_->resume();
        display_timer_->start(displayIntervalMs);
        plot_->set_browse_mode(false);
    }
    show_run_gaps();
    run_status_->refresh();
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
    run_status_->stop_requested();
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
        port_in_use_ = port;
        ui_->connect->setText(tr("Disconnect"));
        ui_->PortComboBox->setEnabled(false);
        // No level of an earlier instrument stays on show: only this one's reply shows it.
        battery_->hide();
        const bool answered = query_instrument_status();
        // A port lost during the first status query has already been reported by
        // handle_port_error; the connect did not succeed after all.
        if (!is_connected())
            return;
        run_status_->set_connected(true);
        status_timer_->start(statusIntervalMs);
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
    ui_->connect->setText(tr("Connect"));
    ui_->PortComboBox->setEnabled(true);
    status_timer_->stop();
    run_status_->set_connected(false);
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
    const bool portLost = outcome == RunSession::Outcome::PortLost || !serial_->is_open();
    acquiring_ = false;
    run_rows_.insert(session_->table(), session_->table_lost() ? 0 : session_->committed_count());
    display_timer_->stop();
    if (portLost) {
        // Nothing to ask a closed port; the next connect starts the status timer again.
        status_timer_->stop();
        ui_->connect->setText(tr("Connect"));
    } else {
        check_lower_computer_status();
        status_timer_->start(statusIntervalMs);
    }
    plot_->set_browse_mode(true);
    show_run_gaps();
    apply_run_control_states(false);
    ui_->SamplePause->setText(tr("Pause"));
    run_status_->set_connected(!portLost);
    run_status_->run_ended(outcome);
    if (outcome == RunSession::Outcome::StopUnconfirmed) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("The instrument did not confirm the stop within %1 s. The run "
                                "was ended without it; the %2 samples received are kept.")
                                 .arg(RunSession::stopConfirmLimit.count() / 1000)
                                 .arg(session_->committed_count()));
    }
    if (outcome == RunSession::Outcome::StorageFailed) {
        const QString kept =
            session_->table_lost()
                ? tr("Its table %1 is gone from the database: none of its %2 samples are kept.")
                      .arg(session_->table())
                      .arg(session_->taken_count())
                : tr("%1 of its %2 samples are kept.")
                      .arg(session_->committed_count())
                      .arg(session_->taken_count());
        QMessageBox::warning(this, tr("Warning"),
                             tr("The samples could not be stored in the database (%1), so the "
                                "run was stopped. ")
                                     .arg(session_->storage_error()) +
                                 kept);
    } else {
        report_unsaved_samples(session_->taken_count(), session_->committed_count());
    }
    if (std::exchange(port_error_pending_, false))
        warn_port_error();
    if (reconnect_timer_->isActive()) // the run's own report first, then what comes next
        run_status_->show_note(tr("Waiting for the instrument on %1").arg(port_in_use_), true);
}

void MainWindow::report_unsaved_samples(qint64 saved, qint64 stored)
{
    if (stored >= saved)
        return;
    QMessageBox::warning(this, tr("Warning"),
                         tr("Only %1 of the %2 samples of this run could be stored in the "
                            "database. The disk may be full.")
                             .arg(stored)
                             .arg(saved));
}

void MainWindow::handle_port_error()
{
    const bool runWasActive = acquiring_;
    // A run's end says so in the status bar (run_ended), which tells the error once the
    // run's threads are done, after the run's own reports.
    port_error_pending_ = acquiring_;
    if (acquiring_)
        session_->port_lost();
    else
        run_status_->show_note(tr("The serial port was lost."), true);
    ui_->connect->setText(tr("Connect"));
    status_timer_->stop();
    ui_->PortComboBox->setEnabled(true);
    run_status_->set_connected(false);
    if (wait_for_lost_port(runWasActive)) {
        port_error_pending_ = false; // waiting for it to come back says enough
        return;
    }
    if (!port_error_pending_)
        warn_port_error();
}

void MainWindow::warn_port_error()
{
    QMessageBox::warning(this, tr("Error"),
                         tr("Serial port error!Please restart the lower computer"));
}

bool MainWindow::wait_for_lost_port(bool runWasActive)
{
    if (!ui_->reconnectAutomatically->isChecked() || port_in_use_.isEmpty())
        return false;
    lost_at_ = QDateTime::currentDateTime();
    restart_after_loss_ = runWasActive;
    ui_->PortComboBox->setEnabled(false);
    ui_->connect->setEnabled(false);
    const QString waiting = tr("Waiting for the instrument on %1").arg(port_in_use_);
    write_log(waiting);
    run_status_->show_note(waiting, true);
    reconnect_timer_->start();
    return true;
}

void MainWindow::give_up_waiting()
{
    // The operator takes the port back into their own hands.
    reconnect_timer_->stop();
    if (serial_->status_requested())
        serial_->close_port(); // a try under way: the port is not the window's any more
    ui_->connect->setEnabled(true);
    ui_->PortComboBox->setEnabled(true);
    run_status_->show_note(tr("The serial port was lost."), true);
}

void MainWindow::try_lost_port()
{
    if (acquiring_ || serial_->status_requested())
        return; // the lost run's threads are still ending, or the last try waits for its answer
    // Opening a missing path would only fill the log with failures.
    if (!QFileInfo::exists(port_location(port_in_use_)) || !serial_->open_port(port_in_use_))
        return;
    // An adapter back without its instrument (switched off) would hold the window for the
    // whole time-out at every try: the answer comes through status_replied.
    serial_->request_status();
}

void MainWindow::status_replied(const StatusReply &status)
{
    const bool valid = apply_instrument_status(status);
    // While the window waits for a lost port, a reply is the answer to try_lost_port.
    if (!reconnect_timer_->isActive())
        return;
    if (!valid) {
        serial_->close_port();
        return;
    }
    reconnect_timer_->stop();
    ui_->connect->setEnabled(true);
    ui_->connect->setText(tr("Disconnect"));
    run_status_->set_connected(true);
    status_timer_->start(statusIntervalMs);
    const qint64 seconds = lost_at_.secsTo(QDateTime::currentDateTime());
    QString told = tr("Instrument on %1 lost at %2, back after %3 s")
                       .arg(port_in_use_, lost_at_.toString(QStringLiteral("hh:mm:ss")))
                       .arg(seconds);
    if (restart_after_loss_) {
        // The controls still hold the lost run's settings.
        on_SampleStart_clicked();
        told += acquiring_ ? tr("; new run %1").arg(session_->table())
                           : tr("; the run could not be started again");
    }
    write_log(told);
    run_status_->show_note(told, !acquiring_ && restart_after_loss_);
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
    if (!confirm_close()) {
        event->ignore();
        return;
    }
    end_run_before_close();
    QMainWindow::closeEvent(event);
}

void MainWindow::end_run_before_close()
{
    if (session_ == nullptr || !session_->is_active())
        return;
    // The run's threads store what arrived while this thread goes on drawing; the busy
    // dialog keeps the controls out of reach until the run has ended (run_ended).
    if (!serial_->is_open())
        session_->port_lost();
    else
        session_->end_soon();
    wait_behind_busy_dialog(tr("Ending the run"), [this] { return !session_->is_active(); });
    // A dialog closed early leaves the rest of the end to be waited for here.
    session_->end_now();
}

bool MainWindow::confirm_close()
{
    if (refused_)
        return true;
    // A clean close drops the window's run tables: every one with rows that nobody has
    // exported is named first, and only what was named is dropped unsaved.
    QStringList unsaved;
    QStringList lines;
    for (const QString &table : std::as_const(own_tables_)) {
        // An exported run is not counted: a long run's COUNT would hold up the close.
        if (exported_tables_.contains(table))
            continue;
        const qint64 samples = run_sample_count(table);
        if (samples <= 0)
            continue;
        unsaved.append(table);
        lines.append(tr("%1 (%2 samples)").arg(table).arg(samples));
    }
    if (unsaved.isEmpty())
        return true;
    QString text;
    if (unsaved.size() == 1) {
        const bool live = acquiring_ && unsaved.first() == session_->table();
        const QString state = live ? tr("is still recording") : tr("has not been exported");
        text = tr("The run %1 %2. Closing the window deletes it from the database.")
                   .arg(lines.first(), state);
    } else {
        text = tr("These runs have not been exported. Closing the window deletes them from the "
                  "database:\n%1")
                   .arg(lines.join(QLatin1Char('\n')));
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, tr("Warning"), text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
        QMessageBox::Cancel);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    end_run_before_close();
    // The run on the plot is exported as the Export button does, with its picture; the
    // others as the start-up recovery does.
    for (const QString &table : std::as_const(unsaved)) {
        if (shown_database() == database_ && table == shown_table())
            on_ExportFile_clicked();
        else if (CrashRecovery(this, database_).save_run(table, last_export_dir_))
            exported_tables_.insert(table);
        if (!exported_tables_.contains(table))
            return false;
    }
    return true;
}

qint64 MainWindow::run_sample_count(const QString &table)
{
    if (acquiring_ && table == session_->table())
        return session_->taken_count();
    // A full count of a long run would hold up the close; the run left by a crash is the
    // only one this window has not counted.
    const auto known = run_rows_.constFind(table);
    return known != run_rows_.cend() ? *known : database_->row_count(table);
}

void MainWindow::on_ExportFile_clicked()
{
    if (acquiring_)
        return; // also while stopping, when the button is already enabled
    SampleDatabase *source = shown_database();
    const QString table = shown_table();
    if (RunExport(this, source, table, plot_).run(last_export_dir_) && source == database_)
        exported_tables_.insert(table);
}
