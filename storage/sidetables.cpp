#include "sidetables.h"

#include "runenvelope.h"
#include "sqliteconnection.h"

#include <sqlite3.h>

namespace side_tables {

QString name(const QString &runTable, const QString &suffix)
{
    return runTable + suffix;
}

QStringList of(const QString &runTable)
{
    QStringList names{RunEnvelope::table_name(runTable)};
    for (const QString &suffix : {factsSuffix, marksSuffix, gapsSuffix, receivedSuffix})
        names.append(name(runTable, suffix));
    return names;
}

bool is_side_table(const QString &name)
{
    return RunEnvelope::is_table_name(name) || name.endsWith(factsSuffix) ||
           name.endsWith(marksSuffix) || name.endsWith(gapsSuffix) || name.endsWith(receivedSuffix);
}

bool append_row(sqlite3 *db, const QString &table, const QString &columns, const QString &insert,
                const std::function<void(sqlite3_stmt *)> &bind, QString *reason)
{
    if (db == nullptr) {
        *reason = QStringLiteral("the database is not open");
        return false;
    }
    const QString quoted = sqlite_connection::quoted(table);
    const QByteArray create =
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(quoted, columns).toUtf8();
    const sqlite_connection::Statement statement =
        sqlite3_exec(db, create.constData(), nullptr, nullptr, nullptr) == SQLITE_OK
            ? sqlite_connection::prepare(db, insert.arg(quoted).toUtf8())
            : sqlite_connection::Statement();
    if (statement)
        bind(statement.get());
    if (!statement || sqlite3_step(statement.get()) != SQLITE_DONE) {
        *reason = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    return true;
}

} // namespace side_tables
