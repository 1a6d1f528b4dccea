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

QString run_behind_busy_dialog(const QString &text, const std::function<QString()> &job,
                               const std::function<QString()> &progress)
{
    Loading loading(text);
    // A pool of its own whose thread ends with the job.
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    pool.setExpiryTimeout(0);
    QFuture<QString> task = QtConcurrent::run(&pool, job);
    QTimer poll;
    QObject::connect(
        &poll, &QTimer::timeout, &loading,
        [&]() {
            if (progress)
                loading.set_text(progress());
            if (task.isFinished()) {
                loading.close();
                poll.stop();
            }
        },
        Qt::DirectConnection);
    poll.start(pollMs);
    // Shown even for a quick job, closed by the poll: the operator sees one sequence always.
    loading.exec();
    poll.stop();
    return task.result(); // waits when the dialog was closed early
}
