#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class Battery;
class PortWatcher;
class QStatusBar;
class QTimer;

namespace Ui {
class MainWindow;
}

// The application window. It builds and tears down everything the application owns, in a
// fixed order, and watches for serial ports coming and going. Lives in the GUI thread.
class MainWindow : public QMainWindow, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // Port names listed ahead of the system's serial ports, e.g. a simulator's
    // pseudo-terminal, which the system does not enumerate.
    void set_extra_ports(const QStringList &ports);

    // Where the recovery prompt of the last start asked to save the crashed run, and which
    // table; both empty when nothing was asked for.
    QString recovered_export_path() const { return recovered_export_path_; }
    QString recovered_export_table() const { return recovered_export_table_; }

private slots:
    void on_MultiChannel_clicked();
    void on_checkboxToggled(bool checked);
    void on_SignalChannel_clicked();
    void on_selectallToggled(bool checked);
    void on_radioButton_med_clicked();
    void on_radioButton_fast_clicked();
    void on_radioButton_slow_clicked();
    void on_SampleStart_clicked();
    void on_SamplePause_clicked();
    void on_SampleStop_clicked();
    void on_connect_clicked();
    void stop(bool error);
    void on_ExportFile_clicked();
    void handle_port_error();
    void check_lower_computer_status();

private:
    void setup_status_bar();
    void apply_initial_control_states();
    void apply_rate_ceiling(int ceiling);
    void refresh_port_list();
    void run_startup_check();
    void recover_last_run();
    void export_recovered_table(const QString &path, const QString &table);

    std::unique_ptr<Ui::MainWindow> ui_;
    QStatusBar *status_bar_ = nullptr;
    Battery *battery_ = nullptr;
    QTimer *display_timer_ = nullptr;
    QTimer *status_timer_ = nullptr;
    QElapsedTimer run_clock_;
    PortWatcher *port_watcher_ = nullptr;
    bool acquiring_ = false;
    bool attenuator_ = false;
    QString last_export_dir_;
    QString recovered_export_path_;
    QString recovered_export_table_;
};
