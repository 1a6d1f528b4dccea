#include "stopsignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};
std::atomic<bool> stopArrived{false};
struct sigaction previousInt
{};
struct sigaction previousTerm
{};
struct sigaction previousHup
{};

extern "C" void on_stop_signal(int)
{
    stopArrived.store(true);
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}
} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    stopArrived.store(false);
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::drain);

    struct sigaction action
    {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    // A closed terminal: the run is stopped properly rather than cut off.
    sigaction(SIGHUP, &action, &previousHup);
}

StopSignals::~StopSignals()
{
    if (notifier_ == nullptr) {
        return;
    }
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    sigaction(SIGHUP, &previousHup, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

bool StopSignals::requested() const
{
    return stopArrived.load();
}

void StopSignals::drain()
{
    char buffer[64];
    while (::read(pipeFds[0], buffer, sizeof buffer) > 0) {
    }
    emit stop_requested();
}
