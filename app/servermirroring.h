#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "runmirror.h"
#include "status.h"

#include <memory>
#include <optional>

class ForwardingSink;
class MirrorTarget;
class QAction;
class QLabel;
class QStatusBar;
class QTimer;
class QWidget;
class RunSession;

// Mirrors the window's runs to a PostgreSQL server while the operator has it on
// (MirrorChoice): the RunMirror of the current settings behind a ForwardingSink of the
// window's session, the "Mirror Settings…" action and its dialog, and the server's line in the
// status bar. New settings are taken between runs, once the mirror that began a run has handed
// on what it could, so a run is never split between two servers. GUI thread only; the session
// must go before this.
class ServerMirroring : public QObject
{
    Q_OBJECT

public:
    // Adds its sink to session; the mirror reads the rows from databaseFile.
    ServerMirroring(QWidget *window, QStatusBar *bar, RunSession *session, QString databaseFile);
    ~ServerMirroring() override;
    ServerMirroring(const ServerMirroring &) = delete;
    ServerMirroring &operator=(const ServerMirroring &) = delete;

    // Opens the settings dialog; for the menu of the Open Run button.
    QAction *settings_action() const { return settingsAction_; }
    // The mirror of the current settings; null while mirroring is off, its URI unusable, or
    // its password still being looked up.
    RunMirror *mirror() const { return mirror_.get(); }
    // The status bar's line: empty while mirroring is off.
    QString status_text() const;

    // Takes the settings config.ini holds now: at once between runs, else when the run is over.
    void apply_settings();

private:
    void open_dialog();
    // Applies the settings asked for when no run needs the mirror any more; tried again on the
    // refresh and at the end of a run until it could.
    void apply_when_free();
    void start_mirror(const MirrorTarget &target);
    // Asks the server once, off the GUI thread, whether it takes the mirror: the mirror
    // itself only connects for a run, and the operator should know before.
    void check(const MirrorTarget &target);
    // The mirror's link, or before its first connection the check's answer.
    RunMirror::Link shown_link() const;
    // The status bar's line; every second.
    void refresh();

    QWidget *const window_;
    const RunSession *const session_;
    const QString databaseFile_;
    std::unique_ptr<ForwardingSink> sink_; // in the session for good
    std::unique_ptr<RunMirror> mirror_;
    bool applyPending_ = false; // new settings wait for the run to be over
    QAction *settingsAction_ = nullptr;
    QPointer<QLabel> label_; // the status bar's child: it may go first as the window closes
    QTimer *timer_ = nullptr;
    bool enabled_ = false;
    QString problem_;               // why the settings cannot be mirrored with; empty when they can
    std::optional<Status> checked_; // the check's answer for the current mirror, once it came
    // Counts apply_settings calls: a password or check answer for earlier settings is dropped.
    quint64 generation_ = 0;
};
