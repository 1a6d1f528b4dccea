#pragma once

#include <QString>

#include <memory>

class InstrumentLink;
class PortReconnector;
class StopSignals;

// Waits for a lost port for a chain of runs (--reconnect), running the event loop while the
// port reconnector looks for it. Says on standard error and in the log when the port was lost
// and when it came back, with the time without it. Lives in the main thread.
class PortWait
{
public:
    PortWait(InstrumentLink *link, StopSignals *stopSignals);
    ~PortWait();
    PortWait(const PortWait &) = delete;
    PortWait &operator=(const PortWait &) = delete;

    // Reports the loss and waits until the port is open with a valid status reply (true),
    // or a stop signal arrived (false).
    bool wait_for_port(const QString &during);

    int losses() const { return losses_; }
    // Milliseconds without the port over all losses.
    qint64 time_lost_ms() const { return timeLostMs_; }

private:
    InstrumentLink *const link_;
    StopSignals *const stopSignals_;
    // Has no parent of its own: the link's serial manager outlives this wait.
    std::unique_ptr<PortReconnector> reconnector_;
    int losses_ = 0;
    qint64 timeLostMs_ = 0;
};
