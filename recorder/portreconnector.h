#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>

class InstrumentLink;
class StopSignals;

// Brings a lost port back for a chain of runs (--reconnect): waits for the same path to
// exist again (a /dev/serial/by-id/ link given as the port is followed anew), opens it and
// checks the instrument's status. Says on standard error and in the log when the port was
// lost and when it came back, with the time without it. Lives in the main thread.
class PortReconnector
{
public:
    // How often the path is looked at while it is gone; an open is tried only when it exists.
    static constexpr std::chrono::milliseconds retryInterval{500};

    PortReconnector(InstrumentLink *link, StopSignals *stopSignals);

    // Reports the loss and waits until the port is open with a valid status reply (true),
    // or a stop signal arrived (false).
    bool wait_for_port(const QString &during);

    int losses() const { return losses_; }
    // Milliseconds without the port over all losses.
    qint64 time_lost_ms() const { return timeLostMs_; }

private:
    bool try_port();
    void pause();

    InstrumentLink *const link_;
    StopSignals *const stopSignals_;
    int losses_ = 0;
    qint64 timeLostMs_ = 0;
};
