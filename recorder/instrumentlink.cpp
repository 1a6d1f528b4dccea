#include "instrumentlink.h"

#include "dataqueues.h"
#include "instrumentchoice.h"
#include "instrumentsimulator.h"
#include "serialmanager.h"

InstrumentLink::InstrumentLink()
    : queues_(std::make_unique<DataQueues>())
    , serial_(std::make_unique<SerialManager>(queues_.get()))
{}

// The serial manager closes the port before the simulator's line goes away.
InstrumentLink::~InstrumentLink()
{
    serial_.reset();
    simulator_.reset();
}

bool InstrumentLink::open(const InstrumentChoice &choice)
{
    portName_ = choice.port();
    if (choice.simulate()) {
        simulator_ = std::make_unique<InstrumentSimulator>();
        if (!simulator_->start()) {
            error_ = QStringLiteral("could not start the instrument simulator");
            return false;
        }
        portName_ = simulator_->port_name();
    }
    if (!serial_->open_port(portName_)) {
        error_ =
            QStringLiteral("cannot open serial port %1: %2").arg(portName_, serial_->open_error());
        return false;
    }
    return true;
}

bool InstrumentLink::reopen()
{
    return serial_->open_port(portName_);
}

StatusReply InstrumentLink::query_status()
{
    return serial_->query_status();
}

QString InstrumentLink::no_reply_message() const
{
    return QStringLiteral("no valid status reply from the instrument on %1 within %2 s")
        .arg(portName_)
        .arg(SerialManager::statusReplyTimeoutMs / 1000);
}
