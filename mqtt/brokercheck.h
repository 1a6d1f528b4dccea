#pragma once

#include "brokersettings.h"
#include "status.h"

#include <chrono>

// Connects to a broker once and waits up to limit for its answer: ok when it lets us in,
// Invalid (saying why) when it refuses the user, the password or our certificate, or the TLS
// handshake fails; Unavailable when it cannot be reached (a run may go on and be published
// later). Blocks the calling thread for at most about limit.
Status check_broker(const BrokerSettings &settings, std::chrono::milliseconds limit);
