#include "runcatalogue.h"

#include "runsettings.h"
#include "runtablename.h"
#include "sqliteconnection.h"

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

QStringList run_names(sqlite3 *db)
{
    QStringList names;
    const sqlite_connection::Statement tables = sqlite_connection::prepare(
        db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid");
    if (!tables)
        return names;
    while (sqlite3_step(tables.get()) == SQLITE_ROW) {
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(tables.get(), 0)));
        if (is_run_table_name(name))
            names.append(name);
    }
    return names;
}

std::optional<RunListing> describe(sqlite3 *db, const QString &table, QString *reason)
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
    const sqlite_connection::Statement span = sqlite_connection::prepare(
        db, QStringLiteral("SELECT COUNT(*), MIN(time), MAX(time) FROM %1").arg(quoted).toUtf8());
    if (!span || sqlite3_step(span.get()) != SQLITE_ROW)
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
    listing.rows = sqlite3_column_int64(span.get(), 0);
    listing.firstTime = time_of(span.get(), 1);
    listing.lastTime = time_of(span.get(), 2);
    listing.channels = channels_of(names);
    listing.started = run_start_time(table);
    return listing;
}

} // namespace run_catalogue
