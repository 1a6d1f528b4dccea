#include "busydialogjob.h"

#include "loading.h"

#include <QFuture>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pollMs{100};
}

void wait_behind_busy_dialog(const QString &text, const std::function<bool()> &done,
                             const std::function<QString()> &progress)
{
    Loading loading(text);
    QTimer poll;
    QObject::connect(
        &poll, &QTimer::timeout, &loading,
        [&]() {
            if (progress)
                loading.set_text(progress());
            if (done()) {
                loading.close();
                poll.stop();
            }
        },
        Qt::DirectConnection);
    poll.start(pollMs);
    loading.exec();
    poll.stop();
}

QString run_behind_busy_dialog(const QString &text, const std::function<QString()> &job,
                               const std::function<QString()> &progress)
{
    // A pool of its own whose thread ends with the job.
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    pool.setExpiryTimeout(0);
    QFuture<QString> task = QtConcurrent::run(&pool, job);
    wait_behind_busy_dialog(
        text, [&task] { return task.isFinished(); }, progress);
    return task.result(); // waits when the dialog was closed early
}
