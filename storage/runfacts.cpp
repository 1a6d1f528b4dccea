#include "runfacts.h"

#include "sidetables.h"
#include "sqliteconnection.h"

#include <sqlite3.h>

#include <functional>

namespace {
QString quoted_table(const QString &runTable)
{
    return sqlite_connection::quoted(side_tables::name(runTable, side_tables::factsSuffix));
}

QString utc_text(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime utc_time(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    if (text == nullptr)
        return QDateTime();
    QDateTime time = QDateTime::fromString(QString::fromUtf8(text), Qt::ISODateWithMs);
    time.setTimeSpec(Qt::UTC);
    return time;
}

QString text_of(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text == nullptr ? QString() : QString::fromUtf8(text);
}

void bind_text(sqlite3_stmt *statement, int index, const QString &text)
{
    if (text.isNull()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

template <typename T>
void bind_optional(sqlite3_stmt *statement, int index, const std::optional<T> &value)
{
    if (value)
        sqlite3_bind_int64(statement, index, qint64(*value));
    else
        sqlite3_bind_null(statement, index);
}

bool run(sqlite3 *db, const QString &sql, QString *reason,
         const std::function<void(sqlite3_stmt *)> &bind)
{
    const sqlite_connection::Statement statement = sqlite_connection::prepare(db, sql.toUtf8());
    if (statement)
        bind(statement.get());
    if (!statement || sqlite3_step(statement.get()) != SQLITE_DONE) {
        *reason = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    return true;
}
} // namespace

int RunFacts::channels() const
{
    return singleChannel ? 1 : 16;
}

QString RunFacts::mode() const
{
    return singleChannel ? QStringLiteral("single") : QStringLiteral("multi");
}

QString RunFacts::outcome_shown() const
{
    if (is_complete())
        return outcome;
    return recordingGone ? programGone : stillOpen;
}

QStringList RunFacts::voltage_names() const
{
    if (singleChannel)
        return {QStringLiteral("Vout")};
    return {QStringLiteral("V1"), QStringLiteral("V2"), QStringLiteral("V3"), QStringLiteral("V4")};
}

namespace run_facts {

bool write_start(sqlite3 *db, const QString &runTable, const RunFacts &facts, QString *reason)
{
    if (db == nullptr) {
        *reason = QStringLiteral("the database is not open");
        return false;
    }
    const QString table = quoted_table(runTable);
    // The row is replaced only by a run that takes the name of a dropped one.
    if (!run(db,
             QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (started_utc TEXT, utc_offset_s "
                            "INTEGER, mode TEXT, rate INTEGER, collection_s INTEGER, "
                            "excitation TEXT, battery_percent INTEGER, range_module INTEGER, "
                            "program_version TEXT, outcome TEXT, committed_rows INTEGER, "
                            "dropped_frames INTEGER, dropped_samples INTEGER, paused_ms "
                            "INTEGER, ended_utc TEXT)")
                 .arg(table),
             reason, [](sqlite3_stmt *) {}) ||
        !run(db, QStringLiteral("DELETE FROM %1").arg(table), reason, [](sqlite3_stmt *) {})) {
        return false;
    }
    QStringList voltages;
    for (const double volts : facts.voltages)
        voltages.append(QString::number(volts, 'g', 10));
    return run(db,
               QStringLiteral("INSERT INTO %1 (started_utc, utc_offset_s, mode, rate, "
                              "collection_s, excitation, battery_percent, range_module, "
                              "program_version) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
                   .arg(table),
               reason, [&](sqlite3_stmt *statement) {
                   bind_text(statement, 1, utc_text(facts.started));
                   sqlite3_bind_int(statement, 2, facts.utcOffsetSeconds);
                   bind_text(statement, 3, facts.mode());
                   sqlite3_bind_int(statement, 4, facts.rate);
                   sqlite3_bind_int(statement, 5, facts.seconds);
                   bind_text(statement, 6, voltages.join(QLatin1Char(',')));
                   bind_optional(statement, 7, facts.batteryPercent);
                   bind_optional(statement, 8, facts.rangeModule);
                   bind_text(statement, 9, facts.programVersion);
               });
}

bool write_end(sqlite3 *db, const QString &runTable, const RunFacts &facts, QString *reason)
{
    if (db == nullptr) {
        *reason = QStringLiteral("the database is not open");
        return false;
    }
    return run(db,
               QStringLiteral("UPDATE %1 SET outcome = ?1, committed_rows = ?2, dropped_frames "
                              "= ?3, dropped_samples = ?4, paused_ms = ?5, ended_utc = ?6")
                   .arg(quoted_table(runTable)),
               reason,
               [&](sqlite3_stmt *statement) {
                   bind_text(statement, 1, facts.outcome);
                   sqlite3_bind_int64(statement, 2, facts.committedRows);
                   sqlite3_bind_int64(statement, 3, qint64(facts.droppedFrames));
                   sqlite3_bind_int64(statement, 4, qint64(facts.droppedSamples));
                   sqlite3_bind_int64(statement, 5, facts.pausedMs);
                   bind_text(statement, 6, utc_text(facts.ended));
               }) &&
           sqlite3_changes(db) == 1;
}

std::optional<RunFacts> read(sqlite3 *db, const QString &runTable)
{
    if (db == nullptr)
        return std::nullopt;
    const sqlite_connection::Statement row = sqlite_connection::prepare(
        db, QStringLiteral("SELECT started_utc, utc_offset_s, mode, rate, collection_s, "
                           "excitation, battery_percent, range_module, program_version, outcome, "
                           "committed_rows, dropped_frames, dropped_samples, paused_ms, ended_utc "
                           "FROM %1 LIMIT 1")
                .arg(quoted_table(runTable))
                .toUtf8());
    if (!row || sqlite3_step(row.get()) != SQLITE_ROW)
        return std::nullopt;
    sqlite3_stmt *s = row.get();
    RunFacts facts;
    facts.started = utc_time(s, 0);
    facts.utcOffsetSeconds = sqlite3_column_int(s, 1);
    facts.singleChannel = text_of(s, 2) != QLatin1String("multi");
    facts.rate = sqlite3_column_int(s, 3);
    facts.seconds = sqlite3_column_int(s, 4);
    for (const QString &volts : text_of(s, 5).split(QLatin1Char(','), Qt::SkipEmptyParts))
        facts.voltages.append(volts.toDouble());
    if (sqlite3_column_type(s, 6) != SQLITE_NULL)
        facts.batteryPercent = sqlite3_column_int(s, 6);
    if (sqlite3_column_type(s, 7) != SQLITE_NULL)
        facts.rangeModule = sqlite3_column_int(s, 7) != 0;
    facts.programVersion = text_of(s, 8);
    facts.outcome = text_of(s, 9);
    facts.committedRows = sqlite3_column_int64(s, 10);
    facts.droppedFrames = quint64(sqlite3_column_int64(s, 11));
    facts.droppedSamples = quint64(sqlite3_column_int64(s, 12));
    facts.pausedMs = sqlite3_column_int64(s, 13);
    facts.ended = utc_time(s, 14);
    return facts;
}

} // namespace run_facts
