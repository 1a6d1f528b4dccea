#include "threadconnections.h"

#include "sqliteconnection.h"

#include <QHash>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <utility>

namespace {
std::atomic<quint64> nextInstanceId{1};
std::atomic<quint64> nextConnectionNumber{1};

// The connections one thread holds, by the id of the ThreadConnections they belong to.
// Only its own thread touches it.
struct ThreadSlot
{
    QHash<quint64, QString> names;
    // Receiver of the thread's finished signal. QThread::wait() returns before
    // thread_local destructors run, so the connections are removed from finished, while
    // the thread still runs; the destructor covers threads Qt did not start.
    std::unique_ptr<QObject> finishHook;
    // Dropped by the hook itself while the thread still runs: a connection left to the
    // thread_local destructor would make it reach the QThread object after wait() returned,
    // when its owner may already have deleted it.
    QMetaObject::Connection finishConnection;

    ~ThreadSlot() { remove_all(); }

    void remove_all()
    {
        const QHash<quint64, QString> owned = std::exchange(names, {});
        for (const QString &name : owned) {
            sqlite_connection::remove(name);
        }
    }
};

thread_local ThreadSlot slot;
} // namespace

ThreadConnections::ThreadConnections(const QString &fileName, bool readOnly,
                                     sqlite_connection::Journal journal)
    : id_(nextInstanceId.fetch_add(1))
    , fileName_(fileName)
    , readOnly_(readOnly)
    , journal_(journal)
{}

ThreadConnections::~ThreadConnections()
{
    // Connections on other threads go when those threads finish; they only keep the
    // file open until then.
    const QString name = slot.names.take(id_);
    if (!name.isEmpty()) {
        sqlite_connection::remove(name);
    }
}

QSqlDatabase ThreadConnections::connection(bool open)
{
    QString name = slot.names.value(id_);
    QSqlDatabase db;
    if (name.isEmpty()) {
        name = unique_name();
        db = sqlite_connection::add(name, fileName_, readOnly_);
        slot.names.insert(id_, name);
        if (!slot.finishHook) {
            slot.finishHook = std::make_unique<QObject>();
            slot.finishConnection = QObject::connect(
                QThread::currentThread(), &QThread::finished, slot.finishHook.get(),
                [] {
                    slot.remove_all();
                    QObject::disconnect(std::exchange(slot.finishConnection, {}));
                },
                Qt::DirectConnection);
        }
    } else {
        db = QSqlDatabase::database(name, false);
    }
    if (open && !db.isOpen()) {
        sqlite_connection::open(db, journal_);
    }
    return db;
}

QString ThreadConnections::unique_name()
{
    return QStringLiteral("telvane_samples_%1").arg(nextConnectionNumber.fetch_add(1));
}
