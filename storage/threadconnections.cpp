#include "threadconnections.h"

#include <QHash>
#include <QObject>
#include <QThread>

#include <atomic>
#include <map>
#include <memory>
#include <utility>

namespace {
std::atomic<quint64> nextInstanceId{1};
std::atomic<int> openConnections{0};

// The connections one thread holds, by the id of the ThreadConnections they belong to.
// Only its own thread touches it.
struct ThreadSlot
{
    std::map<quint64, sqlite_connection::Handle> connections;
    // Receiver of the thread's finished signal. QThread::wait() returns before
    // thread_local destructors run, so the connections are closed from finished, while
    // the thread still runs; the destructor covers threads Qt did not start.
    std::unique_ptr<QObject> finishHook;
    // Dropped by the hook itself while the thread still runs: a connection left to the
    // thread_local destructor would make it reach the QThread object after wait() returned,
    // when its owner may already have deleted it.
    QMetaObject::Connection finishConnection;

    ~ThreadSlot() { close_all(); }

    void close_all()
    {
        openConnections.fetch_sub(int(connections.size()));
        std::exchange(connections, {}).clear();
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
    openConnections.fetch_sub(int(slot.connections.erase(id_)));
}

int ThreadConnections::open_count()
{
    return openConnections.load();
}

sqlite3 *ThreadConnections::connection(bool open, QString *reason)
{
    const auto held = slot.connections.find(id_);
    if (held != slot.connections.end()) {
        return held->second.get();
    }
    if (!open) {
        return nullptr;
    }
    Result<sqlite_connection::Handle> opened =
        sqlite_connection::open(fileName_, readOnly_, journal_);
    if (!opened.ok()) {
        if (reason != nullptr) {
            *reason = opened.status().message();
        }
        return nullptr;
    }
    if (!slot.finishHook) {
        slot.finishHook = std::make_unique<QObject>();
        slot.finishConnection = QObject::connect(
            QThread::currentThread(), &QThread::finished, slot.finishHook.get(),
            [] {
                slot.close_all();
                QObject::disconnect(std::exchange(slot.finishConnection, {}));
            },
            Qt::DirectConnection);
    }
    sqlite3 *db = opened.value().get();
    slot.connections.emplace(id_, std::move(opened.value()));
    openConnections.fetch_add(1);
    return db;
}
