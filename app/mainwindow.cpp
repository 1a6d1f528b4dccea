#include "mainwindow.h"

#include "appicon.h"
#include "battery.h"
#include "logmanager.h"
#include "portwatcher.h"
#include "settingsstore.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QFileDialog>
#include <QMessageBox>
#include <QSerialPortInfo>
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

    // The sample queues, the serial manager and the sample database follow here, in
    // that order, once those layers are wired in.

    last_export_dir_ = QStringLiteral("./");
    acquiring_ = false;

    apply_initial_control_states();

    // The voltage plot goes into voltageLayout here, in browse mode.

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

    display_timer_->setInterval(displayIntervalMs);
    status_timer_->setInterval(statusIntervalMs);
    QObject::connect(status_timer_, &QTimer::timeout, this,
                     &MainWindow::check_lower_computer_status);

    run_startup_check();
}

MainWindow::~MainWindow()
{
    if (acquiring_)
        stop(true);
    write_setting(normalExitKey, true);
    ui_.reset();
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
    recovered_export_path_ = path;
    recovered_export_table_ = table;
}

void MainWindow::on_MultiChannel_clicked()
{}

void MainWindow::on_checkboxToggled(bool)
{}

void MainWindow::on_SignalChannel_clicked()
{}

void MainWindow::on_selectallToggled(bool)
{}

void MainWindow::on_radioButton_med_clicked()
{}

void MainWindow::on_radioButton_fast_clicked()
{}

void MainWindow::on_radioButton_slow_clicked()
{}

void MainWindow::on_SampleStart_clicked()
{}

void MainWindow::on_SamplePause_clicked()
{}

void MainWindow::on_SampleStop_clicked()
{}

void MainWindow::on_connect_clicked()
{}

void MainWindow::stop(bool)
{}

void MainWindow::on_ExportFile_clicked()
{}

void MainWindow::handle_port_error()
{}

void MainWindow::check_lower_computer_status()
{}
