#pragma once

#include "mqttwatcher.h"
#include "runfacts.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CursorReadout;
class QAction;
class QTemporaryDir;
class QTimer;
class QWidget;
class RunMarking;
class RunStatusBar;
class SampleDatabase;
class VoltagePlot;

// Watching another station's run over MQTT: shows what a watcher (MqttWatcher) receives on
// the window's plot as a live run, keeps the rows in a scratch run table (so a pause browses
// them and cursors, statistics and Save work as on a reviewed run) and tells the run's facts
// and the station's state in the status bar. A watch never commands the instrument. Lives in
// the GUI thread, a child of the window.
class RemoteWatch : public QObject
{
    Q_OBJECT

public:
    // The key under which config.ini keeps the last address watched.
    static inline const QString urlKey = QStringLiteral("watch/url");

    // recording says whether the window records a run (no watch starts meanwhile).
    RemoteWatch(QWidget *window, VoltagePlot *plot, CursorReadout *cursorReadout,
                RunMarking *marking, RunStatusBar *runStatus, std::function<bool()> recording);
    ~RemoteWatch() override;
    RemoteWatch(const RemoteWatch &) = delete;
    RemoteWatch &operator=(const RemoteWatch &) = delete;

    // Watches the station at url (mqtt[s]://[USER@]HOST[:PORT]/PREFIX), the password from
    // TELVANE_MQTT_PASSWORD; false, after telling the operator why, when it cannot.
    bool watch(const QString &url);
    // Asks for the address (offering the last one) and watches it; false when cancelled.
    bool ask_and_watch();
    // Stops listening; the run received stays on show, browsed, until let_go().
    void stop_watching();
    // Another run takes the plot: the scratch run goes. The plot must have left it.
    void let_go();

    // "Watch Remote…" and "Stop Watching", for a menu.
    QList<QAction *> menu_actions() const;

    bool is_watching() const { return watcher_ != nullptr; }
    bool is_paused() const { return paused_; }
    // A pause browses what was received; rows keep coming into the scratch table meanwhile.
    void set_paused(bool paused);

    // The scratch database and run table while a received run is on show; null and empty
    // otherwise.
    SampleDatabase *shown_database() const;
    QString shown_table() const;
    // Rows received of the run on show, and the ids it never got.
    qint64 received_rows() const { return receivedRows_; }
    QList<qint64> missing_ids() const { return missingIds_; }
    // The station's state as it last said it ("online", "offline"); empty before.
    QString station_state() const { return stationState_; }
    // The facts of the run on show as the station published them; nothing before they came.
    const std::optional<RunFacts> &facts() const { return facts_; }
    MqttWatcher *watcher() const { return watcher_; }

signals:
    // The received run has one channel (single) or several: the window's channel mode has to
    // match it before it is drawn.
    void channel_mode_needed(bool single);
    // A watch began or ended: the window gives the instrument's controls away or back.
    void watching_changed(bool watching);
    // The plot moved on with the rows received: the value boxes follow.
    void refreshed();

private:
    void take_facts(const QString &run, const QJsonObject &object);
    void take_samples(const run_messages::Samples &samples);
    void take_missing(const QString &run, qint64 firstId, qint64 count);
    void take_mark(const QString &run, const RunMark &mark);
    void take_gap(const QString &run, const RunGap &gap);
    // A run not seen before: its table in the scratch database, the plot prepared for it.
    bool begin_run(const QString &run, bool single);
    // Stores the rows received but not yet in the table; those SQLite refused wait.
    void store_pending();
    void write_receipt();
    // Ends the watcher and stores what it brought, leaving the plot as it is.
    void halt();
    void tick();
    void show_state();

    QWidget *const window_;
    VoltagePlot *const plot_;
    CursorReadout *const cursorReadout_;
    RunMarking *const marking_;
    RunStatusBar *const runStatus_;
    const std::function<bool()> recording_;
    QTimer *timer_ = nullptr; // Qt child: the plot's refresh while watching

    QAction *watchAction_ = nullptr; // Qt child
    QAction *stopAction_ = nullptr;  // Qt child
    MqttWatcher *watcher_ = nullptr; // Qt child while watching, null otherwise
    quint64 generation_ = 0;         // of the watcher whose signals are taken
    QString shownAddress_;           // HOST:PORT/PREFIX
    std::unique_ptr<QTemporaryDir> scratchFolder_;
    std::unique_ptr<SampleDatabase> scratch_; // goes before its folder
    QString run_;                             // the run received, as the station names it
    QString table_;                           // its table in scratch_
    bool single_ = true;
    bool factsStarted_ = false; // the table's facts have their start
    std::optional<RunFacts> facts_;
    std::vector<double> pending_; // rows received, not yet stored: time, then the values
    qint64 receivedRows_ = 0;
    double latestTime_ = 0.0;  // of the last row received
    double plottedTime_ = 0.0; // of the last row handed to the plot
    QList<qint64> missingIds_;
    QList<RunGap> gaps_;
    QString stationState_;
    QString linkProblem_;
    bool paused_ = false;
    QString shownNote_;
};
