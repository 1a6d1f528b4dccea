#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

struct sqlite3;

// How a run came to this machine when it was not recorded here (e.g. received from a broker:
// {"over": "MQTT", "from": ..., "missing_ids": [...]}), kept in a side table of the run (its
// name with "_received" added) so its sidecar can say so. On the caller's connection and
// thread.
namespace run_receipt {

// Stores object as the run's receipt, in place of any before it; false, and reason set, when
// SQLite refuses.
bool write(sqlite3 *db, const QString &runTable, const QJsonObject &object, QString *reason);
// The receipt last written; nothing for a run recorded here.
std::optional<QJsonObject> read(sqlite3 *db, const QString &runTable);

} // namespace run_receipt
