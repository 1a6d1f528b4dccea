#include "pgcopy.h"

#include "pgconnection.h"
#include "samplebatch.h"
#include "sqliteconnection.h"

#include <QMap>
#include <QStringList>
#include <QtEndian>

#include <sqlite3.h>

#include <cmath>
#include <cstring>

namespace pg_copy {

namespace {

void append_int16(QByteArray &out, qint16 value)
{
    char bytes[2];
    qToBigEndian(value, bytes);
    out.append(bytes, 2);
}

void append_int32(QByteArray &out, qint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void append_int64_field(QByteArray &out, qint64 value)
{
    append_int32(out, 8);
    char bytes[8];
    qToBigEndian(value, bytes);
    out.append(bytes, 8);
}

void append_double_field(QByteArray &out, double value)
{
    quint64 bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    append_int64_field(out, qint64(bits));
}

QString server_type(const QString &declared)
{
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("INT"))) {
        return QStringLiteral("bigint");
    }
    if (type.contains(QLatin1String("DOUB")) || type.contains(QLatin1String("REAL")) ||
        type.contains(QLatin1String("FLOA"))) {
        return QStringLiteral("double precision");
    }
    return QStringLiteral("text");
}

// One field of COPY's text format.
void append_text_field(QByteArray &out, sqlite3_stmt *row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
        out += "\\N";
        return;
    case SQLITE_INTEGER:
        out += QByteArray::number(sqlite3_column_int64(row, column));
        return;
    case SQLITE_FLOAT: {
        const double value = sqlite3_column_double(row, column);
        if (std::isnan(value)) {
            out += "NaN";
        } else if (std::isinf(value)) {
            out += value > 0 ? "Infinity" : "-Infinity";
        } else {
            out += QByteArray::number(value, 'g', 17);
        }
        return;
    }
    default:
        break;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(row, column));
    const int size = sqlite3_column_bytes(row, column);
    for (int i = 0; i < size; ++i) {
        switch (text[i]) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += text[i];
        }
    }
}

} // namespace

QByteArray binary_rows(const SampleBatch &batch)
{
    const int columns = batch.column_count();
    QByteArray out;
    out.reserve(int(19 + batch.size() * (2 + 12 * (2 + columns)) + 2));
    out.append("PGCOPY\n\377\r\n\0", 11);
    append_int32(out, 0); // flags
    append_int32(out, 0); // header extension
    for (qsizetype i = 0; i < batch.size(); ++i) {
        append_int16(out, qint16(2 + columns));
        append_int64_field(out, batch.first_row() + i + 1);
        append_double_field(out, batch.times()[i]);
        for (int c = 0; c < columns; ++c) {
            append_double_field(out, batch.column(c)[i]);
        }
    }
    append_int16(out, -1);
    return out;
}

Status copy_table(sqlite3 *db, const QString &localTable, PgConnection &connection,
                  const QString &serverTable)
{
    const sqlite_connection::Statement info =
        sqlite_connection::prepare(db, QStringLiteral("PRAGMA table_info(%1)")
                                           .arg(sqlite_connection::quoted(localTable))
                                           .toUtf8());
    if (!info) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    QStringList names;
    QStringList definitions;
    QMap<int, QString> key; // by place in the primary key
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1)));
        const QString declared =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 2)));
        const bool notNull = sqlite3_column_int(info.get(), 3) != 0;
        const int keyPlace = sqlite3_column_int(info.get(), 5);
        names.append(PgConnection::quoted(name));
        definitions.append(PgConnection::quoted(name) + QLatin1Char(' ') + server_type(declared) +
                           (notNull ? QStringLiteral(" NOT NULL") : QString()));
        if (keyPlace > 0) {
            key.insert(keyPlace, PgConnection::quoted(name));
        }
    }
    if (names.isEmpty()) {
        return Status::not_found(QStringLiteral("no table %1").arg(localTable));
    }
    if (!key.isEmpty()) {
        definitions.append(QStringLiteral("PRIMARY KEY (%1)").arg(key.values().join(", ")));
    }
    const QString table = PgConnection::quoted(serverTable);
    if (const Status made = connection.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                                                .arg(table, definitions.join(", ")));
        !made.ok()) {
        return made;
    }
    if (const Status emptied = connection.exec(QStringLiteral("DELETE FROM %1").arg(table));
        !emptied.ok()) {
        return emptied;
    }
    const sqlite_connection::Statement rows = sqlite_connection::prepare(
        db, QStringLiteral("SELECT * FROM %1").arg(sqlite_connection::quoted(localTable)).toUtf8());
    if (!rows) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    QByteArray data;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        for (int c = 0; c < names.size(); ++c) {
            if (c > 0) {
                data += '\t';
            }
            append_text_field(data, rows.get(), c);
        }
        data += '\n';
    }
    if (step != SQLITE_DONE) {
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    if (data.isEmpty()) {
        return Status::success();
    }
    return connection.copy_in(
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, names.join(", ")), data);
}

} // namespace pg_copy
