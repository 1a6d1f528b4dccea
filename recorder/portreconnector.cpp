#include "portreconnector.h"

#include "console.h"
#include "instrumentlink.h"
#include "logmanager.h"
#include "portlocation.h"
#include "serialmanager.h"
#include "stopsignals.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

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

PortReconnector::PortReconnector(InstrumentLink *link, StopSignals *stopSignals)
    : link_(link)
    , stopSignals_(stopSignals)
{}

bool PortReconnector::wait_for_port(const QString &during)
{
    ++losses_;
    const QDateTime lostAt = QDateTime::currentDateTime();
    QElapsedTimer without;
    without.start();
    tell(QStringLiteral("port %1 lost at %2 %3; waiting for it to come back")
             .arg(link_->port_name(), clock_text(lostAt), during));
    while (!stopSignals_->requested()) {
        if (try_port()) {
            const qint64 lostMs = without.elapsed();
            timeLostMs_ += lostMs;
            tell(QStringLiteral("port %1 back at %2, %3 s after it was lost; recording goes on")
                     .arg(link_->port_name(), clock_text(QDateTime::currentDateTime()))
                     .arg(double(lostMs) / 1000.0, 0, 'f', 1));
            return true;
        }
        pause();
    }
    timeLostMs_ += without.elapsed();
    tell(QStringLiteral("stopped while waiting for port %1").arg(link_->port_name()));
    return false;
}

bool PortReconnector::try_port()
{
    SerialManager *serial = link_->serial();
    if (!serial->is_open()) {
        // Opening a missing path would only fill the log with failures.
        if (!QFileInfo::exists(port_location(link_->port_name())) || !link_->reopen()) {
            return false;
        }
    }
    if (link_->query_status().is_valid()) {
        return true;
    }
    serial->close_port();
    return false;
}

void PortReconnector::pause()
{
    QEventLoop loop;
    QTimer::singleShot(retryInterval, &loop, &QEventLoop::quit);
    QObject::connect(stopSignals_, &StopSignals::stop_requested, &loop, &QEventLoop::quit);
    if (!stopSignals_->requested()) {
        loop.exec();
    }
}
