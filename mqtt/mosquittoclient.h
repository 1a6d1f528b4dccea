#pragma once

#include "brokersettings.h"
#include "status.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct mosquitto;

// One libmosquitto client, configured for a broker: user and password, TLS files, and
// optionally a retained Last Will. Made and used on one thread (libmosquitto clients are not
// to be shared); the library is set up once for the process.
class MosquittoClient
{
public:
    // A client with a unique id made of idPrefix, the host name and the process id; clean
    // sessions unless persistentId is given (a subscriber that must not miss messages while
    // it is away keeps its session under that id). `userData` is handed to the callbacks.
    MosquittoClient(const QString &idPrefix, void *userData, const QString &persistentId = {});
    ~MosquittoClient();
    MosquittoClient(const MosquittoClient &) = delete;
    MosquittoClient &operator=(const MosquittoClient &) = delete;

    // The credentials and TLS files of settings, and a Last Will when willTopic is given;
    // Invalid, saying what libmosquitto refused (an unreadable CA file, say), otherwise.
    Status configure(const BrokerSettings &settings, const QString &willTopic = {},
                     const QByteArray &willPayload = {});

    mosquitto *handle() const { return handle_.get(); }

    // libmosquitto's words for an error code, and the broker's for a refused connection.
    static QString error_text(int code);
    static QString refusal_text(int connackCode);

private:
    struct Destroyer
    {
        void operator()(mosquitto *client) const;
    };
    std::unique_ptr<mosquitto, Destroyer> handle_;
};
