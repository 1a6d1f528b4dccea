#pragma once

#include "loading.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

// The modal busy dialog over one wait for background work: exec() shows it until end(), which
// the work's end calls through a signal (a future watcher's finished, an object's own). A wait
// that is over at once still shows the dialog for leastShownMs, so the operator always sees
// the same sequence rather than a flicker. GUI thread only.
class BusyDialogJob
{
public:
    explicit BusyDialogJob(const QString &text);

    // The dialog: the context of connections that must not outlive it.
    QObject *dialog() { return &loading_; }
    // The wait is over: the dialog closes as soon as it has been up leastShownMs, counted from
    // exec(). May come before exec() and more than once.
    void end();
    // Shows the dialog until end() or the operator closes it (Escape). Its line is refreshed
    // with progress() when one is given.
    void exec(const std::function<QString()> &progress = {});

private:
    void close_when_seen();

    Loading loading_;
    QElapsedTimer shown_;
    bool ended_ = false;
    bool closing_ = false;
};

// Shows the modal busy dialog with text until sender emits signal; at once over (after
// leastShownMs) when done() already holds. GUI thread only, as sender must live in it.
template <typename Sender, typename Signal>
void wait_behind_busy_dialog(const QString &text, const Sender *sender, Signal signal,
                             const std::function<bool()> &done)
{
    BusyDialogJob busy(text);
    QObject::connect(sender, signal, busy.dialog(), [&busy] { busy.end(); });
    if (done())
        busy.end();
    busy.exec();
}

// Runs job on a thread of its own while the modal busy dialog shows text, and returns what
// the job returned (by convention a failure message, empty on success). While it runs, the
// dialog's line is refreshed with progress() when one is given. The thread ends with the
// job, taking along any database connection the job opened. GUI thread only.
QString run_behind_busy_dialog(const QString &text, const std::function<QString()> &job,
                               const std::function<QString()> &progress = {});
