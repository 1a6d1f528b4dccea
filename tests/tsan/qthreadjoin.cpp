// Linked into every test of the ThreadSanitizer build only.
//
// QThread::wait() joins a finished thread through Qt's own mutex and wait
// condition, not pthread_join, and Debian's Qt is not instrumented, so
// ThreadSanitizer never learns that everything the thread did happens before
// wait() returns. It then reports the owner's later accesses (deleting the
// thread object, reading what the thread wrote, reusing its stack memory) as
// races. These two definitions take the place of Qt's exported QThread::start()
// and QThread::wait() for calls from our own code, forward to Qt's, and tell
// ThreadSanitizer about the join: the thread releases once it has emitted finished()
// to every receiver, after run() has returned, and a wait() that saw the thread end
// acquires.

#include <QThread>

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <typename Function> Function qt_definition(const char *mangledName)
{
    void *symbol = dlsym(RTLD_NEXT, mangledName);
    if (symbol == nullptr) {
        std::fprintf(stderr, "qthreadjoin: %s not found in Qt\n", mangledName);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

} // namespace

void QThread::start(Priority priority)
{
    using Start = void (*)(QThread *, Priority);
    static const Start qtStart = qt_definition<Start>("_ZN7QThread5startENS_8PriorityE");
    connect(
        this, &QThread::finished, this,
        [this] {
            // Receivers connected later (a thread's own finish hook, which disconnects
            // itself and so reads this object) still run after this one. A deferred delete
            // posted here is delivered when the thread finishes, after the signal has
            // reached every receiver and before wait() can return: release there.
            auto *marker = new QObject;
            QObject::connect(marker, &QObject::destroyed, [this] { __tsan_release(this); });
            marker->deleteLater();
        },
        Qt::DirectConnection);
    qtStart(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const Wait qtWait = qt_definition<Wait>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = qtWait(this, deadline);
    if (ended) {
        __tsan_acquire(this);
    }
    return ended;
}
