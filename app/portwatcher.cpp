#include "portwatcher.h"

#include <QSerialPortInfo>
#include <QTimer>

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pollIntervalMs{1000};
}

PortWatcher::PortWatcher(QObject *parent)
    : QObject(parent)
    , timer_(new QTimer(this))
{
    timer_->setInterval(pollIntervalMs);
    QObject::connect(timer_, &QTimer::timeout, this, &PortWatcher::check);
    known_set_ = current_set();
}

void PortWatcher::start()
{
    timer_->start();
}

void PortWatcher::set_extra_ports(const QStringList &ports)
{
    extra_ports_ = ports;
    check();
}

bool PortWatcher::check()
{
    QStringList now = current_set();
    if (now == known_set_)
        return false;
    known_set_ = std::move(now);
    emit ports_changed();
    return true;
}

QStringList PortWatcher::current_set() const
{
    // Compared by system location, which is unique per port; the order the system lists
    // them in is not part of the set.
    QStringList locations;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        locations.append(info.systemLocation());
    locations.sort();
    return extra_ports_ + locations;
}
