#include "portwatcher.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pollIntervalMs{1000};
// A plugged device makes several nodes at once; one listing after them is enough.
constexpr std::chrono::milliseconds settleMs{200};
} // namespace

PortWatcher::PortWatcher(QObject *parent, const QString &deviceFolder)
    : QObject(parent)
    , deviceWatcher_(new QFileSystemWatcher(this))
    , timer_(new QTimer(this))
{
    const bool watched = deviceWatcher_->addPath(deviceFolder);
    timer_->setSingleShot(watched);
    timer_->setInterval(watched ? settleMs : pollIntervalMs);
    QObject::connect(timer_, &QTimer::timeout, this, &PortWatcher::list_in_background);
    QObject::connect(&listing_, &QFutureWatcherBase::finished, this, &PortWatcher::listing_done);
    systemPorts_ = QSerialPortInfo::availablePorts();
    knownSet_ = current_set();
}

PortWatcher::~PortWatcher()
{
    // The worker touches nothing of ours; its result just has nowhere to go.
    listing_.disconnect(this);
    listing_.waitForFinished();
}

void PortWatcher::start()
{
    if (timer_->isSingleShot()) {
        QObject::connect(deviceWatcher_, &QFileSystemWatcher::directoryChanged, timer_,
                         qOverload<>(&QTimer::start), Qt::UniqueConnection);
    } else {
        timer_->start();
    }
}

void PortWatcher::set_extra_ports(const QStringList &ports)
{
    extraPorts_ = ports;
    compare(systemPorts_);
}

bool PortWatcher::check()
{
    return compare(QSerialPortInfo::availablePorts());
}

void PortWatcher::list_in_background()
{
    if (listing_.isRunning()) {
        relist_ = true;
        return;
    }
    listing_.setFuture(QtConcurrent::run([] { return QSerialPortInfo::availablePorts(); }));
}

void PortWatcher::listing_done()
{
    compare(listing_.result());
    emit listed();
    if (relist_) {
        relist_ = false;
        list_in_background();
    }
}

bool PortWatcher::compare(QList<QSerialPortInfo> ports)
{
    systemPorts_ = std::move(ports);
    QStringList now = current_set();
    if (now == knownSet_)
        return false;
    knownSet_ = std::move(now);
    emit ports_changed();
    return true;
}

QStringList PortWatcher::current_set() const
{
    // Compared by system location, which is unique per port; the order the system lists
    // them in is not part of the set.
    QStringList locations;
    for (const QSerialPortInfo &info : systemPorts_)
        locations.append(info.systemLocation());
    locations.sort();
    return extraPorts_ + locations;
}
