#include "portreconnector.h"

#include "portlocation.h"
#include "serialmanager.h"
#include "statusreply.h"

#include <QFileInfo>

PortReconnector::PortReconnector(SerialManager *serial, QObject *parent)
    : QObject(parent)
    , serial_(serial)
{
    retryTimer_.setInterval(retryInterval);
    QObject::connect(&retryTimer_, &QTimer::timeout, this, &PortReconnector::look);
    QObject::connect(serial_, &SerialManager::status_replied, this,
                     &PortReconnector::status_replied);
}

void PortReconnector::start(const QString &port)
{
    port_ = port;
    lostAt_ = QDateTime::currentDateTime();
    sinceLoss_.start();
    retryTimer_.start();
}

void PortReconnector::stop()
{
    if (!is_waiting())
        return;
    retryTimer_.stop();
    if (serial_->status_requested())
        serial_->close_port();
}

void PortReconnector::set_hold(std::function<bool()> held)
{
    held_ = std::move(held);
}

void PortReconnector::look()
{
    // The last look still waits for its answer.
    if (serial_->status_requested() || (held_ && held_()))
        return;
    if (!serial_->is_open()) {
        // Opening a missing path would only fill the log with failures.
        if (!QFileInfo::exists(port_location(port_)) || !serial_->open_port(port_))
            return;
    }
    // An adapter back without its instrument (switched off) would hold the caller for the
    // whole time-out at every look: the answer comes through status_replied.
    serial_->request_status();
}

void PortReconnector::status_replied(const StatusReply &reply)
{
    // While waiting, a reply is the answer to a look.
    if (!is_waiting())
        return;
    if (!reply.is_valid()) {
        serial_->close_port();
        return;
    }
    retryTimer_.stop();
    emit port_back();
}
