#pragma once

#include "brokeraddress.h"
#include "status.h"

#include <QString>

#include <optional>

// Everything a connection to a broker needs: the address, the password (from the
// environment, a file or a secret store, never from an argument) and the TLS files.
struct BrokerSettings
{
    // The environment variable a password may come from.
    static inline const char *const passwordVariable = "TELVANE_MQTT_PASSWORD";

    BrokerAddress address;
    std::optional<QString> password; // never logged or shown
    QString caFile;                  // mqtts: the certificate authority to trust
    QString certFile;                // mqtts: the client's own certificate and key, if any
    QString keyFile;

    // The password from passwordFile (its first line) when one is given, else from
    // TELVANE_MQTT_PASSWORD when set; none when neither. ReadFailed when the file cannot be
    // read.
    static Result<std::optional<QString>> read_password(const QString &passwordFile);
    // Invalid, saying which, when a TLS file is named for a plain address, a client
    // certificate comes without its key (or the other way round), or a named file cannot
    // be read.
    Status check_files() const;
};
