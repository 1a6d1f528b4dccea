#include "runupload.h"

#include "pgconnection.h"
#include "pgcopy.h"
#include "runenvelope.h"
#include "runreader.h"
#include "samplebatch.h"
#include "serverschema.h"
#include "sidetables.h"

#include <functional>

namespace run_upload {

namespace {

// work() between BEGIN and COMMIT; rolled back when it fails.
Status in_transaction(PgConnection &connection, const std::function<Status()> &work)
{
    Status status = connection.exec(QStringLiteral("BEGIN"));
    if (status.ok()) {
        status = work();
    }
    if (status.ok()) {
        status = connection.exec(QStringLiteral("COMMIT"));
    }
    if (!status.ok() && connection.is_open()) {
        connection.exec(QStringLiteral("ROLLBACK"));
    }
    return status;
}

Status set_rows(PgConnection &connection, const QString &serverName, qint64 rows)
{
    return connection
        .query(QStringLiteral("UPDATE telvane_runs SET rows = $2 WHERE name = $1"),
               {serverName, QString::number(rows)})
        .status();
}

} // namespace

Result<ServerCounts> counts(PgConnection &connection, const QString &serverName)
{
    const auto count = [&](const QString &sql, const QString &table) {
        return connection.value(sql.arg(PgConnection::quoted(table)));
    };
    const Result<QString> rows =
        count(QStringLiteral("SELECT coalesce(max(id), 0) FROM %1"), serverName);
    const Result<QString> marks = count(QStringLiteral("SELECT count(*) FROM %1"),
                                        side_tables::name(serverName, side_tables::marksSuffix));
    const Result<QString> gaps = count(QStringLiteral("SELECT count(*) FROM %1"),
                                       side_tables::name(serverName, side_tables::gapsSuffix));
    for (const Result<QString> *answer : {&rows, &marks, &gaps}) {
        if (!answer->ok()) {
            return answer->status();
        }
    }
    return ServerCounts{rows->toLongLong(), marks->toLongLong(), gaps->toLongLong()};
}

Result<qint64> copy_rows(PgConnection &connection, sqlite3 *db, const QString &localTable,
                         const QString &serverName, qint64 first, qint64 count)
{
    const Result<SampleBatch> rows = run_reader::read_rows(db, localTable, first, count);
    if (!rows.ok()) {
        return rows.status();
    }
    if (rows->is_empty()) {
        return Status::not_found(
            QStringLiteral("rows %1 on are not in the table %2").arg(first + 1).arg(localTable));
    }
    const Status status = in_transaction(connection, [&]() -> Status {
        const Status copied =
            connection.copy_in(QStringLiteral("COPY %1 FROM STDIN (FORMAT binary)")
                                   .arg(PgConnection::quoted(serverName)),
                               pg_copy::binary_rows(*rows));
        return copied.ok() ? set_rows(connection, serverName, rows->end_row()) : copied;
    });
    if (!status.ok()) {
        return status;
    }
    return rows->end_row();
}

Status insert_events(PgConnection &connection, const QString &serverName,
                     const QList<RunMark> &marks, qsizetype firstMark, const QList<RunGap> &gaps,
                     qsizetype firstGap)
{
    return in_transaction(connection, [&]() -> Status {
        Status status;
        const QString marksTable =
            PgConnection::quoted(side_tables::name(serverName, side_tables::marksSuffix));
        for (qsizetype i = firstMark; status.ok() && i < marks.size(); ++i) {
            status = connection
                         .query(QStringLiteral("INSERT INTO %1 (time, text) VALUES ($1, $2)")
                                    .arg(marksTable),
                                {QString::number(marks[i].time, 'g', 17), marks[i].text})
                         .status();
        }
        const QString gapsTable =
            PgConnection::quoted(side_tables::name(serverName, side_tables::gapsSuffix));
        for (qsizetype i = firstGap; status.ok() && i < gaps.size(); ++i) {
            const RunGap &gap = gaps[i];
            status = connection
                         .query(QStringLiteral("INSERT INTO %1 (start, length, cause, count) "
                                               "VALUES ($1, $2, $3, $4)")
                                    .arg(gapsTable),
                                {QString::number(gap.start, 'g', 17),
                                 QString::number(gap.length, 'g', 17), gap.cause,
                                 QString::number(gap.count)})
                         .status();
        }
        return status;
    });
}

Status finish(PgConnection &connection, sqlite3 *db, const QString &localTable,
              const QString &serverName, const RunFacts &facts, qint64 rows)
{
    return in_transaction(connection, [&]() -> Status {
        Status status = pg_copy::copy_table(db, RunEnvelope::table_name(localTable), connection,
                                            RunEnvelope::table_name(serverName));
        if (status.is(Status::Kind::NotFound)) {
            status = Status::success(); // a run without blocks has no envelope
        }
        if (status.ok()) {
            status = server_schema::write_facts(connection, serverName, facts, true);
        }
        if (status.ok()) {
            status = connection
                         .query(QStringLiteral("UPDATE telvane_runs SET rows = $2, complete = "
                                               "true WHERE name = $1"),
                                {serverName, QString::number(rows)})
                         .status();
        }
        return status;
    });
}

} // namespace run_upload
