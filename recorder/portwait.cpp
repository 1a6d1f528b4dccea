#include "portwait.h"

#include "console.h"
#include "instrumentlink.h"
#include "logmanager.h"
#include "portreconnector.h"
#include "stopsignals.h"

#include <QDateTime>
#include <QEventLoop>

namespace {
void tell(const QString &message)
{
    Console::error(message);
    write_log(message);
}

QString clock_text(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}
} // namespace

PortWait::PortWait(InstrumentLink *link, StopSignals *stopSignals)
    : link_(link)
    , stopSignals_(stopSignals)
    , reconnector_(std::make_unique<PortReconnector>(link->serial(), nullptr))
{}

PortWait::~PortWait() = default;

bool PortWait::wait_for_port(const QString &during)
{
    ++losses_;
    reconnector_->start(link_->port_name());
    tell(QStringLiteral("port %1 lost at %2 %3; waiting for it to come back")
             .arg(link_->port_name(), clock_text(reconnector_->lost_at()), during));
    QEventLoop loop;
    QObject::connect(reconnector_.get(), &PortReconnector::port_back, &loop, &QEventLoop::quit);
    QObject::connect(stopSignals_, &StopSignals::stop_requested, &loop, &QEventLoop::quit);
    if (!stopSignals_->requested())
        loop.exec();
    const qint64 lostMs = reconnector_->elapsed_ms();
    timeLostMs_ += lostMs;
    if (!reconnector_->is_waiting()) {
        tell(QStringLiteral("port %1 back at %2, %3 s after it was lost; recording goes on")
                 .arg(link_->port_name(), clock_text(QDateTime::currentDateTime()))
                 .arg(double(lostMs) / 1000.0, 0, 'f', 1));
        return true;
    }
    reconnector_->stop();
    tell(QStringLiteral("stopped while waiting for port %1").arg(link_->port_name()));
    return false;
}
