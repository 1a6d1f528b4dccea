#include "tablecsv.h"

#include "fixednumber.h"
#include "savefilecommit.h"
#include "sqliteconnection.h"

#include <QDebug>
#include <QSaveFile>

#include <sqlite3.h>

#include <string>

namespace {
constexpr int timeColumn = 1;
constexpr int timeDecimals = 4;
constexpr std::size_t flushBytes = 1 << 20;

void append_field(std::string &line, sqlite3_stmt *statement, int column, int realDecimals)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_FLOAT:
        append_fixed(line, sqlite3_column_double(statement, column), realDecimals);
        break;
    case SQLITE_INTEGER:
        line += std::to_string(sqlite3_column_int64(statement, column));
        break;
    case SQLITE_NULL:
        break;
    default: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        line.append(bytes == nullptr ? "" : bytes,
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }
    }
}

bool flush(QSaveFile &file, std::string &buffer)
{
    const auto size = static_cast<qint64>(buffer.size());
    const bool ok = file.write(buffer.data(), size) == size;
    buffer.clear();
    return ok;
}
} // namespace

bool write_table_csv(sqlite3 *db, const QString &table, const QString &path, int voltageDecimals)
{
    if (db == nullptr) {
        qDebug() << "Error executing query: database not open";
        return false;
    }
    const QByteArray sql =
        QStringLiteral("SELECT * FROM %1;").arg(sqlite_connection::quoted(table)).toUtf8();
    const sqlite_connection::Statement statement = sqlite_connection::prepare(db, sql);
    if (!statement) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        return false;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qDebug() << "Error: Unable to open file for writing";
        return false;
    }

    std::string buffer;
    buffer.reserve(flushBytes + 4096);
    const int columns = sqlite3_column_count(statement.get());
    for (int column = 0; column < columns; ++column) {
        if (column > 0) {
            buffer += ',';
        }
        buffer += sqlite3_column_name(statement.get(), column);
    }
    buffer += '\n';

    bool ok = true;
    int step = SQLITE_ROW;
    while (ok && (step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0) {
                buffer += ',';
            }
            append_field(buffer, statement.get(), column,
                         column == timeColumn ? timeDecimals : voltageDecimals);
        }
        buffer += '\n';
        if (buffer.size() >= flushBytes) {
            ok = flush(file, buffer);
        }
    }
    if (ok && step != SQLITE_DONE) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        file.cancelWriting();
        return false;
    }
    if (!ok || !flush(file, buffer) || !commit_save_file(file)) {
        qDebug().noquote() << "Error: Unable to write file" << path << file.errorString();
        file.cancelWriting();
        return false;
    }
    qDebug().noquote() << "Data exported to" << path;
    return true;
}
