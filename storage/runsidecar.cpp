#include "runsidecar.h"

#include "runfacts.h"
#include "rungaps.h"
#include "runmarks.h"
#include "runowner.h"
#include "runreceipt.h"
#include "savefilecommit.h"
#include "sqliteconnection.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <sqlite3.h>

namespace {
QJsonValue optional_value(const std::optional<int> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue time_text(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODateWithMs))
                          : QJsonValue(QJsonValue::Null);
}

QJsonValue column_time(sqlite3_stmt *statement, int column)
{
    return sqlite3_column_type(statement, column) == SQLITE_NULL
               ? QJsonValue(QJsonValue::Null)
               : QJsonValue(sqlite3_column_double(statement, column));
}
} // namespace

namespace run_sidecar {

QJsonObject facts_object(const RunFacts &facts)
{
    QJsonObject excitation;
    const QStringList names = facts.voltage_names();
    for (int i = 0; i < names.size() && i < facts.voltages.size(); ++i)
        excitation.insert(names[i], facts.voltages[i]);
    QJsonObject object{
        {QStringLiteral("started_utc"), time_text(facts.started)},
        {QStringLiteral("utc_offset_s"), facts.utcOffsetSeconds},
        {QStringLiteral("mode"), facts.mode()},
        {QStringLiteral("rate"), facts.rate},
        {QStringLiteral("channels"), facts.channels()},
        {QStringLiteral("collection_s"), facts.seconds},
        {QStringLiteral("excitation_v"), excitation},
        {QStringLiteral("battery_percent"), optional_value(facts.batteryPercent)},
        {QStringLiteral("range_module"),
         facts.rangeModule ? QJsonValue(*facts.rangeModule) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("program_version"), facts.programVersion},
        {QStringLiteral("complete"), facts.is_complete()},
        {QStringLiteral("outcome"), facts.outcome_shown()},
    };
    if (facts.is_complete()) {
        object.insert(QStringLiteral("committed_rows"), facts.committedRows);
        object.insert(QStringLiteral("dropped_frames"), qint64(facts.droppedFrames));
        object.insert(QStringLiteral("dropped_samples"), qint64(facts.droppedSamples));
        object.insert(QStringLiteral("paused_s"), double(facts.pausedMs) / 1000.0);
        object.insert(QStringLiteral("ended_utc"), time_text(facts.ended));
    }
    return object;
}

QJsonObject mark_object(const RunMark &mark)
{
    return QJsonObject{{QStringLiteral("time_s"), mark.time}, {QStringLiteral("text"), mark.text}};
}

QJsonObject gap_object(const RunGap &gap)
{
    return QJsonObject{{QStringLiteral("start_s"), gap.start},
                       {QStringLiteral("length_s"), gap.length},
                       {QStringLiteral("cause"), gap.cause},
                       {QStringLiteral("count"), gap.count}};
}

QString path_beside(const QString &exportedFile)
{
    QString base = exportedFile;
    for (const QLatin1String kind : {QLatin1String(".csv"), QLatin1String(".png")}) {
        if (base.endsWith(kind, Qt::CaseInsensitive)) {
            base.chop(kind.size());
            break;
        }
    }
    return base + QStringLiteral(".json");
}

Result<QJsonObject> describe(sqlite3 *db, const QString &table,
                             const std::optional<TimeRange> &range)
{
    if (db == nullptr)
        return Status::read_failed(QStringLiteral("the database is not open"));
    // The same rows as the CSV takes (see write_table_csv).
    QString sql = QStringLiteral("SELECT COUNT(*), MIN(time), MAX(time) FROM %1")
                      .arg(sqlite_connection::quoted(table));
    if (range)
        sql += QLatin1String(" WHERE time >= ?1 AND time <= ?2");
    const sqlite_connection::Statement span = sqlite_connection::prepare(db, sql.toUtf8());
    if (span && range) {
        sqlite3_bind_double(span.get(), 1, range->first_stored());
        sqlite3_bind_double(span.get(), 2, range->last_stored());
    }
    if (!span || sqlite3_step(span.get()) != SQLITE_ROW)
        return Status::read_failed(QString::fromUtf8(sqlite3_errmsg(db)));
    QJsonObject rows{
        {QStringLiteral("rows"), sqlite3_column_int64(span.get(), 0)},
        {QStringLiteral("first_time_s"), column_time(span.get(), 1)},
        {QStringLiteral("last_time_s"), column_time(span.get(), 2)},
        {QStringLiteral("from_s"), range ? QJsonValue(range->from) : QJsonValue()},
        {QStringLiteral("to_s"), range ? QJsonValue(range->to) : QJsonValue()},
    };
    std::optional<RunFacts> facts = run_facts::read(db, table);
    if (facts)
        RunOwner::complete_read_facts(QString::fromUtf8(sqlite3_db_filename(db, "main")), table,
                                      *facts);
    QJsonArray marks;
    for (const RunMark &mark : run_marks::read(db, table))
        marks.append(mark_object(mark));
    QJsonArray gaps;
    for (const RunGap &gap : run_gaps::read(db, table))
        gaps.append(gap_object(gap));
    QJsonObject described{
        {QStringLiteral("marks"), marks},
        {QStringLiteral("gaps"), gaps},
        {QStringLiteral("version"), formatVersion},
        {QStringLiteral("run"), table},
        {QStringLiteral("exported"), rows},
        {QStringLiteral("facts"), facts ? QJsonValue(facts_object(*facts)) : QJsonValue()},
    };
    // Only a run that came from elsewhere says how.
    if (const std::optional<QJsonObject> received = run_receipt::read(db, table))
        described.insert(QStringLiteral("received"), *received);
    return described;
}

Result<QByteArray> content(sqlite3 *db, const QString &table, const std::optional<TimeRange> &range)
{
    const Result<QJsonObject> object = describe(db, table, range);
    if (!object.ok())
        return object.status();
    return QJsonDocument(*object).toJson(QJsonDocument::Indented);
}

Status write(sqlite3 *db, const QString &table, const QString &exportedFile,
             const std::optional<TimeRange> &range)
{
    const Result<QByteArray> json = content(db, table, range);
    if (!json.ok())
        return json.status();
    QSaveFile file(path_beside(exportedFile));
    if (!file.open(QIODevice::WriteOnly) || file.write(*json) != json->size() ||
        !commit_save_file(file)) {
        return Status::write_failed(file.errorString());
    }
    return Status::success();
}

} // namespace run_sidecar
