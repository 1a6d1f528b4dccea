#pragma once

#include "firstframe.h"
#include "framecutter.h"
#include "statusreply.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

class FrameSink;

// Owns the serial port to the instrument: opens it with the instrument's line
// settings, writes command packets, cuts frames out of the bytes of a run into
// the frame sink, performs the status exchange (blocking, or answered through a signal)
// and reports a lost port. Lives in the GUI thread; everything here runs there.
class SerialManager : public QObject
{
    Q_OBJECT

public:
    explicit SerialManager(FrameSink *queues, QObject *parent = nullptr);
    ~SerialManager() override;
    SerialManager(const SerialManager &) = delete;
    SerialManager &operator=(const SerialManager &) = delete;

    // Opens the port read-write at 115200 8N1 without flow control; name as port_location
    // reads it. A port lost while it is being set up is a failed open, not a port_error.
    bool open_port(const QString &name);
    // Why the last open_port() failed, for the operator (see port_open_error); empty after
    // a success.
    QString open_error() const { return openError_; }
    // Sends what is still waiting to be written (bounded by closeFlushMs), then closes.
    void close_port();
    bool is_open() const { return port_.isOpen(); }

    // Logs the packet and sends it; does not wait for the bytes to leave (closing does).
    void write_data(const QByteArray &packet);

    // Attaches the frame reader to incoming bytes (true) or detaches it.
    // Attaching starts a new run: a frame tail left from before is dropped.
    void set_reading(bool on);

    // Collects incoming bytes until a whole status frame has been cut out of them and
    // returns its upper-case hexadecimal text, or an empty array when none came within
    // `timeoutMs`. What comes before the frame (stray bytes, frames of a run) is skipped,
    // and what came with it in the same read is dropped; later bytes stay unread.
    // Each read and a time-out are written to the debug output. A requested reply
    // (request_status) waits no longer.
    QByteArray read_status_frame(int timeoutMs);

    // Asked every waitCheckInterval during the status wait; true ends the wait at once, as
    // if nothing had come (the headless recorder passes its pending stop signal). Without
    // one, the wait is a single block.
    void set_wait_interruption(std::function<bool()> interrupted);
    static constexpr std::chrono::milliseconds waitCheckInterval{50};

    // How long closing waits at most for written packets to leave; only a far end that
    // stops taking bytes makes it wait that long.
    static constexpr std::chrono::milliseconds closeFlushMs{1000};

    // Sends the status query and reads the reply, blocking up to statusReplyTimeoutMs; an
    // invalid reply when no status frame came.
    static constexpr int statusReplyTimeoutMs = 2000;
    StatusReply query_status();

    // Sends the status query and returns at once: status_replied follows from the event loop
    // with the reply, or with an invalid one when none came within statusReplyTimeoutMs. A
    // request while one is waiting sends nothing more. Starting a run's reader, a blocking
    // query, closing the port or losing it drops the request without a reply.
    void request_status();
    bool status_requested() const { return statusTimeout_.isActive(); }

    // Bytes of an unfinished frame held back for the next read.
    qsizetype pending_frame_bytes() const { return cutter_.pending_bytes(); }

signals:
    // The port went away while open (adapter unplugged, far end closed).
    // Emitted once per loss; the port is already closed.
    void port_error();
    // The answer to request_status(); invalid when the instrument did not answer in time.
    void status_replied(const StatusReply &reply);

public slots:
    void read_data();

private:
    // Writes out pending bytes until none is left, the port is gone or closeFlushMs passed.
    void flush_output();
    void handle_error(QSerialPort::SerialPortError error);
    // Feeds what arrived to the requested status reply's cutter.
    void read_requested_status();
    void end_status_request();
    void drop_status_request();

    QSerialPort port_;
    FrameCutter cutter_; // hands accepted frames to the queues

    std::function<bool()> waitInterrupted_;
    QMetaObject::Connection readConnection_;
    // The status reply, waited for or requested: bytes are cut for it until it comes or the
    // time is up.
    QMetaObject::Connection statusConnection_;
    QTimer statusTimeout_;
    FirstFrame statusReply_;
    FrameCutter statusCutter_;
    bool opening_ = false; // the line is being set up inside open_port
    QString openError_;
};
