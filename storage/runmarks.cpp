#include "runmarks.h"

#include "sidetables.h"
#include "sqliteconnection.h"

#include <sqlite3.h>

namespace run_marks {

bool add(sqlite3 *db, const QString &runTable, const RunMark &mark, QString *reason)
{
    const QByteArray text = mark.text.toUtf8();
    return side_tables::append_row(
        db, side_tables::name(runTable, side_tables::marksSuffix),
        QStringLiteral("time DOUBLE, text TEXT"),
        QStringLiteral("INSERT INTO %1 (time, text) VALUES (?1, ?2)"),
        [&](sqlite3_stmt *insert) {
            sqlite3_bind_double(insert, 1, mark.time);
            sqlite3_bind_text(insert, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        },
        reason);
}

QList<RunMark> read(sqlite3 *db, const QString &runTable)
{
    QList<RunMark> marks;
    const sqlite_connection::Statement rows =
        db == nullptr ? sqlite_connection::Statement()
                      : sqlite_connection::prepare(
                            db, QStringLiteral("SELECT time, text FROM %1 ORDER BY time, rowid")
                                    .arg(sqlite_connection::quoted(
                                        side_tables::name(runTable, side_tables::marksSuffix)))
                                    .toUtf8());
    while (rows && sqlite3_step(rows.get()) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(rows.get(), 1));
        marks.append({sqlite3_column_double(rows.get(), 0),
                      text == nullptr ? QString() : QString::fromUtf8(text)});
    }
    return marks;
}

} // namespace run_marks
