#pragma once

#include "ratemeter.h"
#include "runsession.h"

#include <QObject>
#include <QString>

class ElidedLabel;
class QLabel;
class QStatusBar;

// The run at a glance in the window's status bar: what the window is doing (Idle, Connected,
// Recording, Paused, Stopping), the run time against the collection time, the rows committed
// to the table, the samples per second over the last second, the frames and samples dropped,
// the run's gaps, the run's table, and a line on how the last run ended. Read from the run's
// counters on the display timer's tick and on every change of state, never per frame. GUI thread
// only.
class RunStatusBar : public QObject
{
    Q_OBJECT

public:
    RunStatusBar(QStatusBar *bar, const RunSession *session, QObject *parent = nullptr);

    void set_connected(bool connected);
    // A run has begun: its figures replace the last run's, whose line goes.
    void run_started();
    // The operator asked the instrument to stop: the state shows it at once.
    void stop_requested();
    // The run is over: its final figures and the line saying how it ended.
    void run_ended(const RunReport &report);
    // A line on something that happened outside a run (a lost port), kept until the next run.
    void show_note(const QString &text, bool problem);

    // Reads the run's counters; the display timer's tick.
    void refresh();

    // What the bar shows, its parts separated by "  |  ".
    QString text() const;
    QString note() const;

    // The battery's tool tip: the level reported, its band, and whether the range module
    // (excitation up to ±80 V) is fitted.
    static QString battery_tool_tip(int level, bool rangeModule);

private:
    // Adds label (a new plain one when null) to the bar.
    QLabel *add_label(const char *name, int stretch = 0, QLabel *label = nullptr);

    QStatusBar *const bar_;
    const RunSession *const session_;
    QLabel *dot_ = nullptr; // red while recording
    QLabel *state_ = nullptr;
    QLabel *time_ = nullptr;
    QLabel *rows_ = nullptr;
    QLabel *rate_ = nullptr;
    QLabel *dropped_ = nullptr;
    QLabel *gaps_ = nullptr;
    QLabel *table_ = nullptr;
    ElidedLabel *note_ = nullptr; // a long line is cut short where the bar ends
    RateMeter rateMeter_;         // of the samples taken for storage
    qint64 rateShownMs_ = -1;     // the run's time when the rate was last shown; -1: not yet
    bool connected_ = false;
    bool runShown_ = false; // a run has been started since the window opened
};
