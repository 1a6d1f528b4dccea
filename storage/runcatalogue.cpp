#include "runcatalogue.h"

#include "protocol.h"
#include "runenvelope.h"
#include "runtablename.h"
#include "sidetables.h"
#include "sqliteconnection.h"

#include <QDebug>

#include <sqlite3.h>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;

int channels_of(const QStringList &columns)
{
    if (columns.contains(QLatin1String("Vol")))
        return 1;
    for (int n = 1; n <= channelCount; ++n) {
        if (!columns.contains(QStringLiteral("Vol%1").arg(n)))
            return 0;
    }
    return channelCount;
}

std::optional<double> time_of(sqlite3_stmt *statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(statement, column);
}
} // namespace

QString RunListing::mode() const
{
    if (channels == 1)
        return QStringLiteral("single");
    return channels == channelCount ? QStringLiteral("multi") : QStringLiteral("unknown");
}

double RunListing::length() const
{
    return firstTime && lastTime ? *lastTime - *firstTime : 0.0;
}

namespace run_catalogue {

QStringList table_names(sqlite3 *db)
{
    QStringList names;
    const sqlite_connection::Statement tables = sqlite_connection::prepare(
        db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid");
    if (!tables) {
        qDebug().noquote() << "Error executing query:" << sqlite3_errmsg(db);
        return names;
    }
    while (sqlite3_step(tables.get()) == SQLITE_ROW) {
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(tables.get(), 0)));
        if (!side_tables::is_side_table(name))
            names.append(name);
    }
    return names;
}

QStringList run_names(sqlite3 *db)
{
    QStringList names = table_names(db);
    names.removeIf([](const QString &name) { return !is_run_table_name(name); });
    return names;
}

bool has_table(sqlite3 *db, const QString &name)
{
    const sqlite_connection::Statement lookup = sqlite_connection::prepare(
        db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE");
    if (!lookup)
        return false;
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(lookup.get(), 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return sqlite3_step(lookup.get()) == SQLITE_ROW;
}

qint64 row_count(sqlite3 *db, const QString &table)
{
    const sqlite_connection::Statement count = sqlite_connection::prepare(
        db,
        QStringLiteral("SELECT COUNT(*) FROM %1").arg(sqlite_connection::quoted(table)).toUtf8());
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(count.get(), 0);
}

bool drop_tables(sqlite3 *db, const QStringList &names)
{
    if (db == nullptr || names.isEmpty())
        return db != nullptr || names.isEmpty();
    const auto fail = [db] {
        qDebug().noquote() << "删除表失败：" << sqlite3_errmsg(db);
        if (!sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail();
    for (const QString &name : names) {
        // The side tables go with their run table, without lines of their own.
        const bool sideTable = side_tables::is_side_table(name);
        if (!sideTable)
            qDebug().noquote() << "删除表：" << name;
        QStringList tables{name};
        if (is_run_table_name(name))
            tables << side_tables::of(name);
        for (const QString &table : std::as_const(tables)) {
            const QByteArray sql = QStringLiteral("DROP TABLE IF EXISTS %1")
                                       .arg(sqlite_connection::quoted(table))
                                       .toUtf8();
            if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                return fail();
        }
        if (!sideTable)
            qDebug().noquote() << "表删除成功：" << name;
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail();
    return true;
}

std::optional<RunListing> describe(sqlite3 *db, const QString &table, QString *reason,
                                   RowCount count)
{
    const auto fail = [db, reason]() -> std::optional<RunListing> {
        if (reason != nullptr)
            *reason = db == nullptr ? QStringLiteral("the database is not open")
                                    : QString::fromUtf8(sqlite3_errmsg(db));
        return std::nullopt;
    };
    if (db == nullptr)
        return fail();
    const QString quoted = sqlite_connection::quoted(table);
    // Three look-ups in the time index and the envelope instead of a count of every row (a
    // long run is described in a millisecond rather than in seconds): the rows the envelope's
    // blocks cover, and those stored after its last block.
    double coveredUntil = 0.0;
    const qint64 covered =
        count == RowCount::FromEnvelope ? RunEnvelope::rows_covered(db, table, &coveredUntil) : 0;
    const sqlite_connection::Statement span = sqlite_connection::prepare(
        db, QStringLiteral("SELECT (SELECT COUNT(*) FROM %1%2), (SELECT MIN(time) FROM %1), "
                           "(SELECT MAX(time) FROM %1)")
                .arg(quoted, covered > 0 ? QStringLiteral(" WHERE time > ?1") : QString())
                .toUtf8());
    if (!span || (covered > 0 && sqlite3_bind_double(span.get(), 1, coveredUntil) != SQLITE_OK) ||
        sqlite3_step(span.get()) != SQLITE_ROW)
        return fail();
    const sqlite_connection::Statement columns = sqlite_connection::prepare(
        db, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted).toUtf8());
    if (!columns)
        return fail();
    QStringList names;
    for (int c = 0; c < sqlite3_column_count(columns.get()); ++c)
        names.append(QString::fromUtf8(sqlite3_column_name(columns.get(), c)));

    RunListing listing;
    listing.name = table;
    listing.rows = covered + sqlite3_column_int64(span.get(), 0);
    listing.firstTime = time_of(span.get(), 1);
    listing.lastTime = time_of(span.get(), 2);
    listing.channels = channels_of(names);
    listing.started = run_start_time(table);
    return listing;
}

} // namespace run_catalogue
