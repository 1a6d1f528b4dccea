#pragma once

#include <QString>

#include <functional>

class QObject;
struct BrokerAddress;

// Broker passwords in the desktop's secret store (service "telvane", one entry per
// USER@HOST:PORT), never in config.ini. The store answers later, through the event loop:
// nothing here waits for it.
class BrokerPasswordStore
{
public:
    enum class Answer {
        Done,     // read: the password is given; write: it is kept
        NotFound, // read: the store runs but keeps no password for the address
        NoStore,  // no secret store runs here (or none this build can use)
        Failed,   // the store refused or failed (problem says why)
    };
    // For read, password is the one kept (Done only); problem is the store's words on a failure.
    using Done =
        std::function<void(Answer answer, const QString &password, const QString &problem)>;

    static QString service() { return QStringLiteral("telvane"); }
    // "USER@HOST:PORT", or "HOST:PORT" for an address without a user.
    static QString key_for(const BrokerAddress &address);

    // Asks the store for the password of address; done is called with the answer unless
    // context is gone by then.
    static void read(const BrokerAddress &address, QObject *context, Done done);
    // Asks the store to keep password for address; done as for read.
    static void write(const BrokerAddress &address, const QString &password, QObject *context,
                      Done done);
};
