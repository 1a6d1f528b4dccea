#include "busydialogjob.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <chrono>

namespace {
// The least time the dialog is up, so that a quick wait does not flash it.
constexpr std::chrono::milliseconds leastShownMs{100};
// How often a progress line is re-read: the work keeps a figure, it does not report it.
constexpr std::chrono::milliseconds progressRefreshMs{100};
} // namespace

BusyDialogJob::BusyDialogJob(const QString &text)
    : loading_(text)
{}

void BusyDialogJob::end()
{
    ended_ = true;
    if (shown_.isValid())
        close_when_seen();
}

void BusyDialogJob::close_when_seen()
{
    if (closing_)
        return;
    closing_ = true;
    const auto left = std::max<qint64>(0, leastShownMs.count() - shown_.elapsed());
    QTimer::singleShot(std::chrono::milliseconds(left), &loading_, [this] { loading_.close(); });
}

void BusyDialogJob::exec(const std::function<QString()> &progress)
{
    QTimer refresh;
    if (progress) {
        QObject::connect(&refresh, &QTimer::timeout, &loading_,
                         [this, &progress] { loading_.set_text(progress()); });
        refresh.start(progressRefreshMs);
    }
    shown_.start();
    if (ended_)
        close_when_seen();
    loading_.exec();
    refresh.stop();
}

QString run_behind_busy_dialog(const QString &text, const std::function<QString()> &job,
                               const std::function<QString()> &progress)
{
    // A pool of its own whose thread ends with the job.
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    pool.setExpiryTimeout(0);
    BusyDialogJob busy(text);
    QFutureWatcher<QString> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, busy.dialog(),
                     [&busy] { busy.end(); });
    watcher.setFuture(QtConcurrent::run(&pool, job));
    busy.exec(progress);
    return watcher.result(); // waits when the dialog was closed early
}
