#pragma once

#include <QDateTime>

#include "runsession.h"

#include <QAbstractNativeEventFilter>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class Battery;
class BrokerPublishing;
class ServerMirroring;
class LivePlotSink;
class QAction;
class ChannelPanel;
class CloseGuard;
class CursorReadout;
class DataQueues;
class PortReconnector;
class PortWatcher;
class QLockFile;
class QStatusBar;
class RunMarking;
class RemoteWatch;
class RunReview;
class RunStatusBar;
class QTimer;
class SampleDatabase;
class SerialManager;
class StatusReply;
class VoltagePlot;

namespace Ui {
class MainWindow;
}

// The application window. It builds and tears down everything the application owns, in a
// fixed order, runs the instrument (connect, start, pause, stop, status poll), and watches
// for serial ports coming and going; review (RunReview) and the close question (CloseGuard)
// are rooms of their own. Lives in the GUI thread.
class MainWindow : public QMainWindow, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // The warnings a run's end brings up, in order: a stop the instrument did not confirm, the
    // samples that could not be stored (a failure of the table, or a full disk).
    static QStringList end_warnings(const RunReport &report);

    // True when another window works on this folder's database: this one has told the
    // operator which process holds it, touched nothing, and is not to be shown.
    bool is_refused() const { return refused_; }

    // Port names listed ahead of the system's serial ports, e.g. a simulator's
    // pseudo-terminal, which the system does not enumerate.
    void set_extra_ports(const QStringList &ports);
    // The port of a simulator started with the window: listed first and chosen, as it is
    // what the operator started the window for.
    void add_simulator_port(const QString &port);

    // Review of recorded runs, as RunReview does it (for main() and the tests).
    bool open_run(const QString &file, const QString &table);
    bool open_file(const QString &file, const QString &table = QString());
    bool choose_run(const QString &file = QString());
    bool open_csv(const QString &file);
    SampleDatabase *shown_database() const;
    // The run table on the plot: the reviewed one, else the one recorded last.
    QString shown_table() const;

    // Watches another station's run over MQTT, as RemoteWatch does it (for main() and the tests).
    bool watch_remote(const QString &url);
    RemoteWatch *remote_watch() const { return watch_; }

    // Read access for the tests and tools built on the window.
    VoltagePlot *plot() const { return plot_; }
    SampleDatabase *database() const { return database_; }
    bool is_acquiring() const { return acquiring_; }
    bool is_attenuator_present() const { return attenuator_; }
    QTimer *display_timer() const { return displayTimer_; }
    QTimer *status_timer() const { return statusTimer_; }
    QString last_export_directory() const { return lastExportDir_; }
    RunSession *run_session() const { return session_; }
    RunStatusBar *run_status() const { return runStatus_; }
    CursorReadout *cursor_readout() const { return cursorReadout_; }
    RunMarking *run_marking() const { return marking_; }
    BrokerPublishing *publishing() const { return publishing_; }
    ServerMirroring *mirroring() const { return mirroring_; }

protected:
    // A close by the operator asks first when a run would be lost with the window.
    void closeEvent(QCloseEvent *event) override;

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
    // The checkable choice of time of day on the time axis, kept in config.ini.
    void setup_time_of_day_action();
    // A flat button for action among the status bar's permanent widgets, at index.
    void add_status_bar_button(QAction *action, const QString &name, int index);
    void apply_initial_control_states();
    void apply_rate_ceiling(int ceiling);
    void apply_range_labels();
    void apply_run_control_states(bool running);
    void refresh_value_labels();
    // The current or last run's gaps as bands on the plot.
    void show_run_gaps();
    void refresh_port_list();
    // Takes the lock beside the database for the window's lifetime; false, after telling the
    // operator, when another window holds it.
    bool lock_working_folder();
    void run_startup_check();
    void report_unusable_files();
    // The window's part of a run's end: controls, timers, plot and what the operator is told.
    void run_ended(RunSession::Outcome outcome);
    void warn_port_error();
    // Sends the status query, waits for the reply and applies it; false when none came.
    // Only where the next step depends on the answer (connecting); elsewhere the query is
    // answered through the event loop (check_lower_computer_status).
    bool query_instrument_status();
    // Shows the battery level and the range a valid reply reports; false for an invalid one.
    bool apply_instrument_status(const StatusReply &status);
    // A requested status: applied.
    void status_replied(const StatusReply &status);
    // Connected: the port is open and not awaited as lost.
    bool is_connected() const;
    // The Connect button's text, from is_connected().
    void show_connection_state();
    // Pause or Continue on its button, as the run is shown.
    void show_run_paused(bool paused);
    // Reconnect automatically: starts waiting for the lost port; true when the option is on.
    bool wait_for_lost_port(bool runWasActive);
    // The lost port is open again with the instrument answering: connected, and the lost
    // run started again when there was one.
    void lost_port_back();
    // The option turned off while waiting: back to the state of a lost port without it.
    void give_up_waiting();
    bool is_single_channel() const;
    RunSettings run_settings() const;
    void show_message(const QString &text);

    std::unique_ptr<Ui::MainWindow> ui_;
    QStatusBar *statusBar_ = nullptr;
    Battery *battery_ = nullptr;
    RunStatusBar *runStatus_ = nullptr; // Qt child, after the session it reads
    QTimer *displayTimer_ = nullptr;
    QTimer *statusTimer_ = nullptr;
    PortReconnector *reconnector_ = nullptr; // Qt child, after the serial manager it opens
    QString portInUse_;                      // the one last connected, waited for when lost
    bool restartAfterLoss_ = false;
    DataQueues *queues_ = nullptr;           // owned
    SerialManager *serial_ = nullptr;        // owned
    SampleDatabase *database_ = nullptr;     // owned
    VoltagePlot *plot_ = nullptr;            // owned, deleted before the database
    std::unique_ptr<LivePlotSink> liveSink_; // the plot's feed of the session's rows
    RunSession *session_ = nullptr;          // owned, runs one run at a time
    BrokerPublishing *publishing_ = nullptr; // Qt child, fed by the session: deleted after it
    ServerMirroring *mirroring_ = nullptr;   // as publishing_
    std::unique_ptr<ChannelPanel> channels_;
    PortWatcher *portWatcher_ = nullptr;
    CursorReadout *cursorReadout_ = nullptr; // Qt child, under the plot
    RunMarking *marking_ = nullptr;          // Qt child, after the session and plot it uses
    CloseGuard *closeGuard_ = nullptr;       // Qt child, after the session it ends
    RunReview *review_ = nullptr;  // Qt child, after the plot, readout and marking it shows through
    RemoteWatch *watch_ = nullptr; // Qt child, as review_
    bool acquiring_ = false;
    bool runPaused_ = false;        // the operator paused the run on show
    bool portErrorPending_ = false; // told by run_ended, after the lost run's reports
    bool attenuator_ = false;
    QString lastExportDir_;
    std::unique_ptr<QLockFile> folderLock_; // held while the window lives; null if refused
    bool refused_ = false;
};
