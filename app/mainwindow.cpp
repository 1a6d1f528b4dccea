#include "mainwindow.h"

#include "appicon.h"
#include "battery.h"
#include "channelpanel.h"
#include "dataprocess.h"
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "logmanager.h"
#include "portwatcher.h"
#include "protocol.h"
#include "runexport.h"
#include "runtablename.h"
#include "sampledatabase.h"
#include "serialmanager.h"
#include "settingsstore.h"
#include "statusreply.h"
#include "ui_mainwindow.h"
#include "voltageplot.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTimer>

#include <chrono>

#ifdef Q_OS_WIN
#include <windows.h>

#include <dbt.h>
#endif

namespace {
constexpr std::chrono::milliseconds displayIntervalMs{30};
constexpr std::chrono::milliseconds statusIntervalMs{120000};
constexpr int initialRateCeiling = 100;
constexpr int slowRateCeiling = 10;
constexpr int fastSingleRateCeiling = 5000;
constexpr int fastMultiRateCeiling = 150;
constexpr double normalExcitationVolts = 10.0;
constexpr double attenuatedExcitationVolts = 80.0;

const QString normalExitKey = QStringLiteral("NormalExit");
const QString lastTableKey = QStringLiteral("last_table_name");
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::MainWindow>())
    , display_timer_(new QTimer(this))
    , status_timer_(new QTimer(this))
{
    ui_->setupUi(this);
    setWindowTitle(tr("Telvane V1.1.0"));
    setWindowIcon(application_icon());
    setup_status_bar();

    start_log_manager();

    queues_ = new DataQueues;
    serial_ = new SerialManager(queues_);
    QObject::connect(serial_, &SerialManager::port_error, this, &MainWindow::handle_port_error);

    database_ = new SampleDatabase;
    database_->open_database();

    last_export_dir_ = QStringLiteral("./");
    acquiring_ = false;

    apply_initial_control_states();

    plot_ = new VoltagePlot(database_);
    ui_->voltageLayout->addWidget(plot_, 0);
    plot_->set_browse_mode(true);

    channels_ = std::make_unique<ChannelPanel>(ui_.get(), plot_);
    channels_->style_value_labels(false);

    ui_->toolWidget->hide();

    port_watcher_ = new PortWatcher(this);
    QObject::connect(port_watcher_, &PortWatcher::ports_changed, this,
                     &MainWindow::refresh_port_list);
    refresh_port_list();
#ifndef Q_OS_WIN
    // Windows reports port changes as native messages (nativeEventFilter); elsewhere the
    // set of ports is compared periodically.
    port_watcher_->start();
#endif

    apply_rate_ceiling(initialRateCeiling);

    channels_->build_check_boxes(this, SLOT(on_checkboxToggled(bool)),
                                 SLOT(on_selectallToggled(bool)));

    display_timer_->setInterval(displayIntervalMs);
    status_timer_->setInterval(statusIntervalMs);
    QObject::connect(display_timer_, &QTimer::timeout, plot_, &VoltagePlot::refresh_view);
    QObject::connect(display_timer_, &QTimer::timeout, this, &MainWindow::refresh_value_labels);
    QObject::connect(status_timer_, &QTimer::timeout, this,
                     &MainWindow::check_lower_computer_status);

    run_startup_check();
    report_unusable_files();
}

MainWindow::~MainWindow()
{
    if (acquiring_) {
        serial_->write_data(stop_command());
        stop(true);
    }
    database_->drop_all_tables();
    write_setting(normalExitKey, true);
    channels_.reset();
    ui_.reset();
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
            refresh_port_list();
    }
#endif
    // Never swallow a message: answer what the window itself would.
    return QWidget::nativeEvent(eventType, message, result);
}

void MainWindow::set_extra_ports(const QStringList &ports)
{
    port_watcher_->set_extra_ports(ports);
}

void MainWindow::setup_status_bar()
{
    status_bar_ = new QStatusBar(this);
    setStatusBar(status_bar_);
    status_bar_->setSizeGripEnabled(false);
    battery_ = new Battery(this);
    battery_->setFixedSize(32, 12);
    status_bar_->addPermanentWidget(battery_, 0);
    status_bar_->setStyleSheet(QStringLiteral("QStatusBar{background-color: rgb(255, 255, 255);}"));
    // Shown by the first status reply of the instrument.
    battery_->hide();
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
    const double limit = attenuator_ ? attenuatedExcitationVolts : normalExcitationVolts;
    for (QDoubleSpinBox *box :
         {ui_->doubleSpinBox_vout, ui_->doubleSpinBox_vout1, ui_->doubleSpinBox_vout2,
          ui_->doubleSpinBox_vout3, ui_->doubleSpinBox_vout4}) {
        box->setRange(-limit, limit);
    }
}

void MainWindow::refresh_port_list()
{
    ui_->PortComboBox->clear();
    const QStringList extra = port_watcher_->extra_ports();
    for (const QString &name : extra)
        ui_->PortComboBox->addItem(QIcon(), name, QVariant());
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        qDebug() << "Port Name:" << info.portName();
        qDebug() << "systemLocation:" << info.systemLocation();
        qDebug() << "description:" << info.description();
        qDebug() << "manufacturer:" << info.manufacturer();
        qDebug() << "serialNumber:" << info.serialNumber();
        ui_->PortComboBox->addItem(QIcon(), info.portName(), QVariant());
    }
}

void MainWindow::run_startup_check()
{
    if (!read_setting(normalExitKey, true).toBool()) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(
            this, tr("Warning"),
            tr("The program did not exit properly last time. Please manually save the previous "
               "test data."),
            QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer == QMessageBox::Save)
            recover_last_run();
    }
    // Stays false on disk until a clean shutdown, so a crash is noticed at the next start.
    write_setting(normalExitKey, false);
}

void MainWindow::recover_last_run()
{
    const QString table = read_setting(lastTableKey, QString()).toString();
    QString path = QFileDialog::getSaveFileName(this, tr("Saving Data Files"), last_export_dir_,
                                                tr("Data Files (*.csv)"));
    // A cancelled dialog means no export at all rather than an export to an empty path.
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".csv")))
        path += QStringLiteral(".csv");
    export_recovered_table(path, table);
}

void MainWindow::export_recovered_table(const QString &path, const QString &table)
{
    // The name comes from the editable settings file: only a run table's name is ever
    // handed to the database.
    QString failure;
    if (!SampleDatabase::is_valid_table_name(table)) {
        failure = tr("The saved table name \"%1\" is not the name of a run table.").arg(table);
    } else if (!database_->table_exists(table)) {
        failure = tr("The table %1 of the last run is not in the database.").arg(table);
    } else if (!database_->export_table(path, table)) {
        failure = tr("The file %1 could not be written.").arg(path);
    }
    if (!failure.isEmpty()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("The previous test data could not be saved. ") + failure);
    }
}

void MainWindow::report_unusable_files()
{
    // Without these files the window still works, but runs or settings are not kept: the
    // operator has to hear it before recording rather than after.
    QStringList problems;
    QSqlQuery probe =
        database_->execute_query(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (!probe.isActive()) {
        problems.append(tr("The database Quorlen.db cannot be used (%1): runs cannot be recorded.")
                            .arg(probe.lastError().text()));
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
    if (ui_->spinBox_sampleSpeed->value() > fastMultiRateCeiling)
        apply_rate_ceiling(fastMultiRateCeiling);
    ui_->channel_button_groupbox->show();
    channels_->style_value_labels(true);
    channels_->reload_check_states();
}

void MainWindow::on_checkboxToggled(bool checked)
{
    channels_->channel_toggled(qobject_cast<QCheckBox *>(sender()), checked);
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
    write_setting(QStringLiteral("Channel0Visible"), true);
}

void MainWindow::on_selectallToggled(bool checked)
{
    channels_->select_all(checked);
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

QByteArray MainWindow::start_command(int rate, int seconds) const
{
    if (is_single_channel())
        return start_single_command(float(ui_->doubleSpinBox_vout->value()), rate, seconds);
    return start_multi_command(float(ui_->doubleSpinBox_vout1->value()),
                               float(ui_->doubleSpinBox_vout2->value()),
                               float(ui_->doubleSpinBox_vout3->value()),
                               float(ui_->doubleSpinBox_vout4->value()), rate, seconds);
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
    const bool single = is_single_channel();
    // A run started within the same second as the previous one gets a suffixed name, so
    // the two runs never share a table.
    const QString table = new_run_table_name(*database_, QDateTime::currentDateTime());
    if (!database_->create_table(table, single)) {
        show_message(tr("Data table creation failed"));
        return;
    }
    write_setting(lastTableKey, table);

    plot_->setup_graphs(single, ChannelPanel::stored_visibility());
    plot_->set_browse_mode(false);

    const int rate = ui_->spinBox_sampleSpeed->value();
    const int seconds = ui_->spinBox_sampleTime->value();
    write_log(QStringLiteral("开始采集,速度=") + QString::number(rate) + QStringLiteral(",时间=") +
              QString::number(seconds));

    serial_->set_reading(true);
    process_ = new DataProcess(single, rate, queues_, plot_);
    QObject::connect(process_, &DataProcess::stop_sample_data, this, &MainWindow::stop);
    save_thread_ = new DataSaveDisplay(queues_, database_);

    serial_->write_data(start_command(rate, seconds));

    display_timer_->start(displayIntervalMs);
    run_clock_.start();
    status_timer_->stop();

    process_->start(QThread::HighPriority);
    save_thread_->start(QThread::HighPriority);

    acquiring_ = true;
    apply_run_control_states(true);
}

void MainWindow::on_SamplePause_clicked()
{
    if (ui_->SamplePause->text() == QLatin1String("Pause")) {
        write_log(QStringLiteral("暂停采集"));
        ui_->SamplePause->setText(tr("Continue"));
        serial_->write_data(pause_command());
        display_timer_->stop();
        plot_->set_browse_mode(true);
    } else {
        write_log(QStringLiteral("继续采集"));
        ui_->SamplePause->setText(tr("Pause"));
        serial_->write_data(continue_command());
        display_timer_->start(displayIntervalMs);
        plot_->set_browse_mode(false);
    }
}

void MainWindow::on_SampleStop_clicked()
{
    if (!acquiring_)
        return;
    ui_->groupBoxSample->setEnabled(true);
    ui_->groupBoxExcitation->setEnabled(true);
    ui_->ExportFile->setEnabled(true);
    write_log(QStringLiteral("停止采集"));
    serial_->write_data(stop_command());
}

void MainWindow::on_connect_clicked()
{
    if (!is_connected()) {
        if (!serial_->open_port(ui_->PortComboBox->currentText())) {
            show_message(tr("Connection Failed"));
            return;
        }
        ui_->connect->setText(tr("Disconnect"));
        ui_->PortComboBox->setEnabled(false);
        check_lower_computer_status();
        // A port lost during the first status query has already been reported by
        // handle_port_error; the connect did not succeed after all.
        if (!is_connected())
            return;
        status_timer_->start(statusIntervalMs);
        show_message(tr("Connection Success"));
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
}

void MainWindow::stop(bool error)
{
    if (process_ == nullptr)
        return; // an end frame delivered after the run was already torn down
    write_log(QStringLiteral("采集停止"));
    serial_->set_reading(false);
    QObject::disconnect(process_, &DataProcess::stop_sample_data, this, &MainWindow::stop);
    if (error)
        process_->finish_queued(); // frames that reached the queue intact
    delete process_;
    process_ = nullptr;
    save_thread_->finish();
    const qint64 saved = save_thread_->stored_count();
    const qint64 committed = save_thread_->committed_count();
    delete save_thread_;
    save_thread_ = nullptr;
    acquiring_ = false;
    write_log(QStringLiteral("执行时间 = ") + QString::number(run_clock_.elapsed()) +
              QStringLiteral(" ms"));
    check_lower_computer_status();
    status_timer_->start(statusIntervalMs);
    display_timer_->stop();
    plot_->set_browse_mode(true);
    if (error)
        ui_->connect->setText(tr("Connect"));
    apply_run_control_states(false);
    ui_->SamplePause->setText(tr("Pause"));
    report_unsaved_samples(saved, committed);
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
    if (acquiring_)
        stop(true);
    else
        ui_->connect->setText(tr("Connect"));
    ui_->PortComboBox->setEnabled(true);
    QMessageBox::warning(this, tr("Error"),
                         tr("Serial port error!Please restart the lower computer"));
}

void MainWindow::check_lower_computer_status()
{
    const StatusReply status = serial_->query_status();
    if (!status.is_valid())
        return;
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
}

void MainWindow::on_ExportFile_clicked()
{
    if (acquiring_)
        return; // also while stopping, when the button is already enabled
    RunExport(this, database_, plot_).run(last_export_dir_);
}
