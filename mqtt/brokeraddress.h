#pragma once

#include "status.h"

#include <QString>

// Where a run is published or watched: an MQTT broker and the topic prefix under which one
// station's runs appear, written as mqtt://[USER@]HOST[:PORT]/PREFIX (mqtts:// for TLS).
// A password never goes into the address: it would end up in shells' histories, process
// lists and logs.
struct BrokerAddress
{
    static constexpr int plainPort = 1883;
    static constexpr int tlsPort = 8883;

    bool tls = false;
    QString user; // empty: no user name
    QString host;
    int port = plainPort;
    QString prefix; // without a trailing slash

    // Invalid, saying what is wrong, for anything but the form above; a prefix holding the
    // MQTT wildcards "+" or "#" is refused too.
    static Result<BrokerAddress> parse(const QString &url);

    // "HOST:PORT/PREFIX", as the recorder's end lines and the status bar name it.
    QString shown() const;
    // The address as parse() reads it back.
    QString url() const;

    QString state_topic() const { return prefix + QStringLiteral("/state"); }
    QString run_topic() const { return prefix + QStringLiteral("/run"); }
    QString samples_topic() const { return prefix + QStringLiteral("/samples"); }
    QString marks_topic() const { return prefix + QStringLiteral("/marks"); }
    QString gaps_topic() const { return prefix + QStringLiteral("/gaps"); }
    QString alarms_topic() const { return prefix + QStringLiteral("/alarms"); }
};
