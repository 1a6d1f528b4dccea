#include "serialmanager.h"

#include "framesink.h"
#include "logmanager.h"
#include "portlocation.h"
#include "portopenerror.h"
#include "protocol.h"

#include <QDeadlineTimer>
#include <QDebug>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {
// True unless the line is known to be alive. A read can come back empty on a line whose far
// end is still there (seen on pseudo-terminals while frames stream in), which the port
// reports as a read error; a far end that went away hangs the line up.
bool line_hung_up(const QSerialPort &port)
{
#ifdef Q_OS_UNIX
    pollfd line{int(port.handle()), POLLIN, 0};
    if (::poll(&line, 1, 0) < 0) {
        return true;
    }
    return (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    Q_UNUSED(port);
    return true;
#endif
}
} // namespace

SerialManager::SerialManager(FrameSink *queues, QObject *parent)
    : QObject(parent)
    , cutter_(queues)
    , statusCutter_(&statusReply_, is_status_frame_type)
{
    port_.setParent(this); // found among its children, as the line it manages
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialManager::handle_error,
            Qt::DirectConnection);
    statusTimeout_.setSingleShot(true);
    statusTimeout_.setInterval(statusReplyTimeoutMs);
    connect(&statusTimeout_, &QTimer::timeout, this, &SerialManager::end_status_request);
}

SerialManager::~SerialManager()
{
    // Neither the frame reader nor the owner's loss handler may run for what the last
    // flush finds: the owner is usually being torn down itself.
    set_reading(false);
    const QSignalBlocker quiet(this);
    close_port();
}

bool SerialManager::open_port(const QString &name)
{
    if (port_.isOpen()) {
        port_.close();
    }
    // The same file for the port as for the reason it could not be opened.
    const QString location = port_location(name);
    port_.setPortName(location);
    openError_.clear();
    if (!port_.open(QIODevice::ReadWrite)) {
        openError_ = port_open_error(port_.error(), location, port_.errorString());
        return false;
    }
    // The far end may hang up between opening the descriptor and setting up the line; the
    // error handler then closes the port, and the open fails like any other.
    opening_ = true;
    port_.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    opening_ = false;
    if (!port_.isOpen()) {
        openError_ = QStringLiteral("the line went away while it was being set up");
        return false;
    }
    write_log(QStringLiteral("开启串口 : ") + name);
    return true;
}

void SerialManager::close_port()
{
    drop_status_request();
    flush_output();
    port_.close();
}

void SerialManager::flush_output()
{
    // QSerialPort writes from the event loop, and waitForReadyRead returns on incoming
    // frames before it writes; without this a packet written just before closing is dropped.
    const QDeadlineTimer deadline(closeFlushMs);
    while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port_.waitForBytesWritten(int(deadline.remainingTime()))) {
            break;
        }
    }
}

void SerialManager::write_data(const QByteArray &packet)
{
    write_log(QStringLiteral("write = ") + QString::fromLatin1(packet.toHex().toUpper()));
    // After a loss the port is closed; the packet is still logged, as the
    // operator's action happened, but there is nothing to write to.
    if (port_.isOpen()) {
        port_.write(packet);
    }
}

void SerialManager::set_reading(bool on)
{
    if (on) {
        drop_status_request(); // the run's reader takes every byte from here on
        cutter_.reset();
        if (!readConnection_) {
            readConnection_ =
                connect(&port_, &QSerialPort::readyRead, this, &SerialManager::read_data);
        }
    } else if (readConnection_) {
        disconnect(readConnection_);
        readConnection_ = {};
    }
}

void SerialManager::read_data()
{
    if (port_.bytesAvailable() <= 0) {
        return;
    }
    const QByteArray batch = port_.readAll();
    cutter_.feed(batch);
}

QByteArray SerialManager::read_status_frame(int timeoutMs)
{
    // The reader of a requested reply would take the bytes this wait is for.
    drop_status_request();
    if (!port_.isOpen()) {
        return {};
    }
    // The reply may come in pieces (adapters hand on a few dozen bytes at a time), after
    // stray bytes, or behind frames of a run still streaming.
    statusReply_.text.clear();
    statusCutter_.reset();
    const QDeadlineTimer deadline(timeoutMs);
    const auto interrupted = [this] {
        return waitInterrupted_ && waitInterrupted_();
    };
    while (statusReply_.text.isEmpty() && port_.isOpen() && !deadline.hasExpired() &&
           !interrupted()) {
        if (port_.bytesAvailable() <= 0) {
            int waitMs = int(deadline.remainingTime());
            if (waitInterrupted_) {
                waitMs = std::min(waitMs, int(waitCheckInterval.count()));
            }
            if (!port_.waitForReadyRead(waitMs)) {
                if (waitInterrupted_ && port_.isOpen()) {
                    continue; // a slice of the wait passed: look at the clock and the check
                }
                break;
            }
        }
        const QByteArray bytes = port_.readAll();
        const QByteArray text = bytes.toHex().toUpper();
        qDebug().nospace() << "read size = " << text.size();
        qDebug().noquote().nospace() << "read = " << text;
        statusCutter_.feed(bytes);
    }
    if (statusReply_.text.isEmpty()) {
        qDebug() << "read timeout";
    }
    return statusReply_.text;
}

void SerialManager::request_status()
{
    if (status_requested() || !port_.isOpen()) {
        return;
    }
    statusReply_.text.clear();
    statusCutter_.reset();
    write_data(status_query_command());
    statusConnection_ =
        connect(&port_, &QSerialPort::readyRead, this, &SerialManager::read_requested_status);
    statusTimeout_.start();
}

void SerialManager::read_requested_status()
{
    const QByteArray bytes = port_.readAll();
    qDebug().noquote().nospace() << "read = " << bytes.toHex().toUpper();
    statusCutter_.feed(bytes);
    if (!statusReply_.text.isEmpty()) {
        end_status_request();
    }
}

void SerialManager::end_status_request()
{
    if (statusReply_.text.isEmpty()) {
        qDebug() << "read timeout";
    }
    const StatusReply reply = StatusReply::parse(statusReply_.text);
    drop_status_request();
    emit status_replied(reply);
}

void SerialManager::drop_status_request()
{
    statusTimeout_.stop();
    if (statusConnection_) {
        disconnect(statusConnection_);
        statusConnection_ = {};
    }
}

void SerialManager::set_wait_interruption(std::function<bool()> interrupted)
{
    waitInterrupted_ = std::move(interrupted);
}

StatusReply SerialManager::query_status()
{
    drop_status_request(); // before the query goes out: its reply is this call's
    write_data(status_query_command());
    return StatusReply::parse(read_status_frame(statusReplyTimeoutMs));
}

void SerialManager::handle_error(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::PermissionError:
        break;
    default:
        // NoError on open, TimeoutError from waitForReadyRead and the
        // modem-line refusals of pseudo-terminals are not a lost port.
        return;
    }
    // A vanished far end repeats ReadError until the port is closed; closing
    // here stops that and makes every later report of the same loss a no-op.
    if (!port_.isOpen()) {
        return;
    }
    if (error == QSerialPort::ReadError && !line_hung_up(port_)) {
        qDebug() << "An empty read on a line that is still up; the port stays open";
        port_.clearError();
        return;
    }
    if (opening_) {
        port_.close(); // reported by open_port's result, not as a loss
        return;
    }
    write_log(QStringLiteral("串口意外断开"));
    drop_status_request();
    port_.close();
    emit port_error();
}
