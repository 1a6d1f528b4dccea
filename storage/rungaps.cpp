#include "rungaps.h"

#include "sidetables.h"
#include "sqliteconnection.h"

#include <sqlite3.h>

namespace run_gaps {

bool add(sqlite3 *db, const QString &runTable, const RunGap &gap, QString *reason)
{
    const QByteArray cause = gap.cause.toUtf8();
    return side_tables::append_row(
        db, side_tables::name(runTable, side_tables::gapsSuffix),
        QStringLiteral("start DOUBLE, length DOUBLE, cause TEXT, count INTEGER"),
        QStringLiteral("INSERT INTO %1 (start, length, cause, count) VALUES (?1, ?2, ?3, ?4)"),
        [&](sqlite3_stmt *insert) {
            sqlite3_bind_double(insert, 1, gap.start);
            sqlite3_bind_double(insert, 2, gap.length);
            sqlite3_bind_text(insert, 3, cause.constData(), int(cause.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 4, gap.count);
        },
        reason);
}

QList<RunGap> read(sqlite3 *db, const QString &runTable)
{
    QList<RunGap> gaps;
    const sqlite_connection::Statement rows =
        db == nullptr
            ? sqlite_connection::Statement()
            : sqlite_connection::prepare(
                  db, QStringLiteral("SELECT start, length, cause, count FROM %1 ORDER BY start, "
                                     "rowid")
                          .arg(sqlite_connection::quoted(
                              side_tables::name(runTable, side_tables::gapsSuffix)))
                          .toUtf8());
    while (rows && sqlite3_step(rows.get()) == SQLITE_ROW) {
        const auto *cause = reinterpret_cast<const char *>(sqlite3_column_text(rows.get(), 2));
        gaps.append({sqlite3_column_double(rows.get(), 0), sqlite3_column_double(rows.get(), 1),
                     cause == nullptr ? QString() : QString::fromUtf8(cause),
                     sqlite3_column_int64(rows.get(), 3)});
    }
    return gaps;
}

} // namespace run_gaps
