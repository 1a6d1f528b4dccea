#include "sqlrows.h"

#include <sqlite3.h>

namespace sql_rows {

QList<QVariantList> select(sqlite3 *db, const QString &sql, QString *error)
{
    QList<QVariantList> rows;
    if (error != nullptr)
        error->clear();
    if (db == nullptr) {
        if (error != nullptr)
            *error = QStringLiteral("no connection");
        return rows;
    }
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = sql.toUtf8();
    int code = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr);
    while (code == SQLITE_OK && (code = sqlite3_step(statement)) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            switch (sqlite3_column_type(statement, c)) {
            case SQLITE_INTEGER:
                row.append(qint64(sqlite3_column_int64(statement, c)));
                break;
            case SQLITE_FLOAT:
                row.append(sqlite3_column_double(statement, c));
                break;
            case SQLITE_NULL:
                row.append(QVariant());
                break;
            default:
                row.append(QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(statement, c))));
            }
        }
        rows.append(row);
        code = SQLITE_OK;
    }
    if (code != SQLITE_DONE && error != nullptr)
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    return rows;
}

bool run(sqlite3 *db, const QString &sql)
{
    return db != nullptr &&
           sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace sql_rows
