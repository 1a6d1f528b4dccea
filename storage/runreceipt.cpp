#include "runreceipt.h"

#include "sidetables.h"
#include "sqliteconnection.h"

#include <QJsonDocument>

#include <sqlite3.h>

namespace run_receipt {

bool write(sqlite3 *db, const QString &runTable, const QJsonObject &object, QString *reason)
{
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    // Appended: the last row is the receipt, and a write never leaves the run without one.
    return side_tables::append_row(
        db, side_tables::name(runTable, side_tables::receivedSuffix), QStringLiteral("text TEXT"),
        QStringLiteral("INSERT INTO %1 (text) VALUES (?1)"),
        [&](sqlite3_stmt *insert) {
            sqlite3_bind_text(insert, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        },
        reason);
}

std::optional<QJsonObject> read(sqlite3 *db, const QString &runTable)
{
    if (db == nullptr)
        return std::nullopt;
    const sqlite_connection::Statement row = sqlite_connection::prepare(
        db, QStringLiteral("SELECT text FROM %1 ORDER BY rowid DESC LIMIT 1")
                .arg(sqlite_connection::quoted(
                    side_tables::name(runTable, side_tables::receivedSuffix)))
                .toUtf8());
    if (!row || sqlite3_step(row.get()) != SQLITE_ROW)
        return std::nullopt;
    const auto *text = static_cast<const char *>(sqlite3_column_blob(row.get(), 0));
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text, sqlite3_column_bytes(row.get(), 0)));
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace run_receipt
