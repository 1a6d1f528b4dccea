#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal: the handler only writes a byte
// into a pipe, and a socket notifier on the other end emits stop_requested()
// in the event loop. One instance at a time; the previous handlers come back
// when it is destroyed.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // True once a stop signal has arrived (also before the event loop saw it).
    bool requested() const;

signals:
    void stop_requested();

private:
    void drain();

    QSocketNotifier *notifier_ = nullptr;
};
