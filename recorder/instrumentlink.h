#pragma once

#include "statusreply.h"

#include <QString>

#include <memory>

class DataQueues;
class InstrumentChoice;
class InstrumentSimulator;
class SerialManager;

// The line to the instrument for one command: the frame queues, the serial
// manager on the chosen port, and the built-in simulator when asked for.
class InstrumentLink
{
public:
    InstrumentLink();
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink &) = delete;
    InstrumentLink &operator=(const InstrumentLink &) = delete;

    // Starts the simulator if chosen and opens the port; false with error() set.
    bool open(const InstrumentChoice &choice);
    QString error() const { return error_; }
    // Opens the same port again after it was lost; false when it cannot be opened (yet).
    bool reopen();
    // The port's path as given (or the simulator's terminal).
    QString port_name() const { return portName_; }

    // Sends the status query and reads the reply as the window does; an
    // invalid reply when nothing valid came within 2 s.
    StatusReply query_status();
    QString no_reply_message() const;

    DataQueues *queues() const { return queues_.get(); }
    SerialManager *serial() const { return serial_.get(); }

private:
    std::unique_ptr<DataQueues> queues_;
    std::unique_ptr<InstrumentSimulator> simulator_;
    std::unique_ptr<SerialManager> serial_;
    QString portName_;
    QString error_;
};
