#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

class SerialManager;
class StatusReply;

// Brings a lost port back, for the window and the recorder alike: looks for the same path every
// retryInterval (a /dev/serial/by-id/ link given as the port is followed anew), opens it once
// it exists and asks the instrument for its status through the event loop; a valid reply ends
// the wait (port_back), no reply closes the port again until the next look. Lives in the
// serial manager's thread.
class PortReconnector : public QObject
{
    Q_OBJECT

public:
    // How often the path is looked at while it is gone; an open is tried only when it exists.
    static constexpr std::chrono::milliseconds retryInterval{500};

    PortReconnector(SerialManager *serial, QObject *parent);

    // Starts waiting for port; the loss is dated now.
    void start(const QString &port);
    // Stops waiting. A port opened for a look whose answer has not come is closed again: it is
    // not the waiter's any more.
    void stop();
    bool is_waiting() const { return retryTimer_.isActive(); }

    // The port waited for (the last one, once the wait is over).
    QString port() const { return port_; }
    QDateTime lost_at() const { return lostAt_; }
    // Milliseconds since the wait started.
    qint64 elapsed_ms() const { return sinceLoss_.elapsed(); }

    // No look is taken while held returns true (a lost run's threads still ending).
    void set_hold(std::function<bool()> held);

signals:
    // The port is open again and the instrument answered; the wait is over.
    void port_back();

private:
    void look();
    void status_replied(const StatusReply &reply);

    SerialManager *const serial_;
    QTimer retryTimer_;
    QElapsedTimer sinceLoss_;
    QDateTime lostAt_;
    QString port_;
    std::function<bool()> held_;
};
