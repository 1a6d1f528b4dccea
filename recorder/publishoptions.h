#pragma once

#include "brokersettings.h"

#include <optional>

class CommandParser;

// Where record publishes its runs (--publish) and how: the TLS files, the password file (the
// password otherwise from TELVANE_MQTT_PASSWORD, never an argument) and how long the end of
// the command waits for rows the broker has not taken yet (--publish-wait).
class PublishOptions
{
public:
    static constexpr int defaultWaitSeconds = 30;
    static constexpr int waitCeiling = 86400;

    static void add_options(CommandParser &parser);
    // A refusal is left in the parser.
    static PublishOptions read(CommandParser &parser);

    // Nothing when the runs are not published.
    const std::optional<BrokerSettings> &broker() const { return broker_; }
    int wait_seconds() const { return waitSeconds_; }

private:
    std::optional<BrokerSettings> broker_;
    int waitSeconds_ = defaultWaitSeconds;
};
