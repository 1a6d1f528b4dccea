#pragma once

#include <QString>

#include <functional>

class MirrorTarget;
class QObject;
struct BrokerAddress;

// Passwords in the desktop's secret store (service "telvane", one entry per key: a broker's
// USER@HOST:PORT, a server's USER@HOST:PORT/DB), never in config.ini. The store answers
// later, through the event loop: nothing here waits for it.
class PasswordStore
{
public:
    enum class Answer {
        Done,     // read: the password is given; write: it is kept
        NotFound, // read: the store runs but keeps no password for the key
        NoStore,  // no secret store runs here (or none this build can use)
        Failed,   // the store refused or failed (problem says why)
    };
    // For read, password is the one kept (Done only); problem is the store's words on a failure.
    using Done =
        std::function<void(Answer answer, const QString &password, const QString &problem)>;

    static QString service() { return QStringLiteral("telvane"); }
    // "USER@HOST:PORT", or "HOST:PORT" for an address without a user.
    static QString broker_key(const BrokerAddress &address);
    // "USER@HOST[:PORT]/DB", as libpq will connect.
    static QString server_key(const MirrorTarget &target);

    // Asks the store for the password kept under key; done is called with the answer unless
    // context is gone by then.
    static void read(const QString &key, QObject *context, Done done);
    // The password kept under key, waiting for the store's answer in a local event loop (for
    // a moment: a store answers at once, and where none runs the question fails at once);
    // empty when the store keeps none or none runs.
    static QString wait_for(const QString &key);
    // Asks the store to keep password under key; done as for read.
    static void write(const QString &key, const QString &password, QObject *context, Done done);
};
