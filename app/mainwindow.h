#pragma once

#include <QDateTime>

#include "runsession.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class Battery;
class QAction;
class ChannelPanel;
class CursorReadout;
class DataQueues;
class PortWatcher;
class QLockFile;
class QTemporaryDir;
class QStatusBar;
class RunMarking;
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
// for serial ports coming and going. Lives in the GUI thread.
class MainWindow : public QMainWindow, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // True when another window works on this folder's database: this one has told the
    // operator which process holds it, touched nothing, and is not to be shown.
    bool is_refused() const { return refused_; }

    // Port names listed ahead of the system's serial ports, e.g. a simulator's
    // pseudo-terminal, which the system does not enumerate.
    void set_extra_ports(const QStringList &ports);
    // The port of a simulator started with the window: listed first and chosen, as it is
    // what the operator started the window for.
    void add_simulator_port(const QString &port);

    // Review: shows a recorded run of a database file in the plot as a paused run, to browse,
    // measure and export. A file other than the window's own is opened read-only and never
    // changed. False, after telling the operator why, when it cannot be opened.
    bool open_run(const QString &file, const QString &table);
    // Opens a file given to the program (command line, desktop entry): a CSV as open_csv does,
    // a database's run as open_run does (table given) or from its list (choose_run). A file that
    // is neither is refused with a dialog. False when nothing was opened.
    bool open_file(const QString &file, const QString &table = QString());
    // Asks for a file and one of its runs (starting at file, the window's own database when
    // empty) and opens it; false when cancelled or it could not be opened.
    bool choose_run(const QString &file = QString());
    // Reads a CSV file the export wrote into a scratch run table (behind the busy dialog, with
    // the share read so far) and shows it as open_run does. A CSV that is not ours is refused
    // with the line and the reason.
    bool open_csv(const QString &file);
    // The database of the run on show: the reviewed file's, or the window's own.
    SampleDatabase *shown_database() const;
    // The run table on the plot: the reviewed one, else the one recorded last.
    QString shown_table() const;

    // Read access for the tests and tools built on the window.
    VoltagePlot *plot() const { return plot_; }
    SampleDatabase *database() const { return database_; }
    bool is_acquiring() const { return acquiring_; }
    bool is_attenuator_present() const { return attenuator_; }
    QTimer *display_timer() const { return display_timer_; }
    QTimer *status_timer() const { return status_timer_; }
    QString last_export_directory() const { return last_export_dir_; }
    RunSession *run_session() const { return session_; }
    RunStatusBar *run_status() const { return run_status_; }
    CursorReadout *cursor_readout() const { return cursor_readout_; }
    RunMarking *run_marking() const { return marking_; }

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
    // Shows table of source (review_database_ afterwards when owned is given).
    bool show_run(std::unique_ptr<SampleDatabase> owned, SampleDatabase *source,
                  const QString &file, const QString &table, bool readOnly);
    void run_startup_check();
    void report_unusable_files();
    // The window's part of a run's end: controls, timers, plot and what the operator is told.
    void run_ended(RunSession::Outcome outcome);
    // Warns when fewer samples reached the table than the run handed to it (a full disk).
    void report_unsaved_samples(qint64 saved, qint64 stored);
    void warn_port_error();
    // Sends the status query, waits for the reply and applies it; false when none came.
    // Only where the next step depends on the answer (connecting); elsewhere the query is
    // answered through the event loop (check_lower_computer_status).
    bool query_instrument_status();
    // Shows the battery level and the range a valid reply reports; false for an invalid one.
    bool apply_instrument_status(const StatusReply &status);
    // A requested status: applied, and while a lost port is awaited, the instrument is back
    // (a valid reply) or not yet (the port is closed again).
    void status_replied(const StatusReply &status);
    // Asks what to do with the runs the close would delete that have not been exported; true
    // when the window may close.
    bool confirm_close();
    // Ends a run still going, without waiting for the instrument, behind the busy dialog.
    void end_run_before_close();
    // Samples of a run the close would delete, for the close question.
    qint64 run_sample_count(const QString &table);
    bool is_connected() const;
    // Reconnect automatically: starts waiting for the lost port; true when the option is on.
    bool wait_for_lost_port(bool runWasActive);
    // One look for the lost port: opens it and asks for the status; status_replied goes on.
    void try_lost_port();
    // The option turned off while waiting: back to the state of a lost port without it.
    void give_up_waiting();
    bool is_single_channel() const;
    RunSettings run_settings() const;
    void show_message(const QString &text);

    std::unique_ptr<Ui::MainWindow> ui_;
    QStatusBar *status_bar_ = nullptr;
    Battery *battery_ = nullptr;
    RunStatusBar *run_status_ = nullptr; // Qt child, after the session it reads
    QTimer *display_timer_ = nullptr;
    QTimer *status_timer_ = nullptr;
    QTimer *reconnect_timer_ = nullptr;
    QString port_in_use_; // the one last connected, waited for when lost
    QDateTime lost_at_;
    bool restart_after_loss_ = false;
    DataQueues *queues_ = nullptr;       // owned
    SerialManager *serial_ = nullptr;    // owned
    SampleDatabase *database_ = nullptr; // owned
    VoltagePlot *plot_ = nullptr;        // owned, deleted before the database
    RunSession *session_ = nullptr;      // owned, runs one run at a time
    std::unique_ptr<ChannelPanel> channels_;
    PortWatcher *port_watcher_ = nullptr;
    CursorReadout *cursor_readout_ = nullptr; // Qt child, under the plot
    RunMarking *marking_ = nullptr;           // Qt child, after the session and plot it uses
    // Where a CSV opened for review is read into; removed with the window.
    std::unique_ptr<QTemporaryDir> scratch_folder_;
    // The file of a reviewed run other than the window's own; null otherwise.
    std::unique_ptr<SampleDatabase> review_database_;
    // The run on review, of review_database_ or the window's own file; empty otherwise.
    QString reviewed_table_;
    bool acquiring_ = false;
    bool port_error_pending_ = false; // told by run_ended, after the lost run's reports
    bool attenuator_ = false;
    QString last_export_dir_;
    std::unique_ptr<QLockFile> folder_lock_; // held while the window lives; null if refused
    bool refused_ = false;
    // The run tables the close drops: this window's runs and the run a crash left behind.
    QStringList own_tables_;
    // Of those, the ones exported in this session, or with nothing to lose.
    QSet<QString> exported_tables_;
    // Rows each ended run of this window committed: the close names them without counting.
    QHash<QString, qint64> run_rows_;
};
