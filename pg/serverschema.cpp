#include "serverschema.h"

#include "pgconnection.h"
#include "runenvelope.h"
#include "runtablename.h"
#include "sidetables.h"

#include <QStringList>

#include <functional>

namespace server_schema {

namespace {

// The advisory lock every change of the layout holds ("telvane" in ASCII).
const QString lockKey = QStringLiteral("32762613815406181");
// Run names tried before giving up; far more than runs in one second.
constexpr int suffixCeiling = 10000;

// Runs work() in a transaction under the advisory lock; rolls back when it fails.
Status locked_transaction(PgConnection &connection, const std::function<Status()> &work)
{
    if (const Status begun = connection.exec(QStringLiteral("BEGIN")); !begun.ok()) {
        return begun;
    }
    Status status =
        connection.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(lockKey));
    if (status.ok()) {
        status = work();
    }
    if (status.ok()) {
        status = connection.exec(QStringLiteral("COMMIT"));
    }
    if (!status.ok()) {
        connection.exec(QStringLiteral("ROLLBACK"));
    }
    return status;
}

QString utc_text(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QString number_or_null(const std::optional<qint64> &value)
{
    return value ? QString::number(*value) : QString();
}

Status create_run_tables(PgConnection &connection, const QString &name, bool singleChannel)
{
    QString columns = QStringLiteral("id bigint PRIMARY KEY, time double precision");
    if (singleChannel) {
        columns +=
            QStringLiteral(", %1 double precision NOT NULL").arg(PgConnection::quoted("Vol"));
    } else {
        for (int c = 1; c <= 16; ++c) {
            columns += QStringLiteral(", %1 double precision NOT NULL")
                           .arg(PgConnection::quoted(QStringLiteral("Vol%1").arg(c)));
        }
    }
    const QString table = PgConnection::quoted(name);
    const QStringList statements{
        QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns),
        QStringLiteral("CREATE INDEX ON %1 (time)").arg(table),
        QStringLiteral("CREATE TABLE %1 (started_utc text, utc_offset_s bigint, mode text, rate "
                       "bigint, collection_s bigint, excitation text, battery_percent bigint, "
                       "range_module bigint, program_version text, outcome text, committed_rows "
                       "bigint, dropped_frames bigint, dropped_samples bigint, paused_ms bigint, "
                       "ended_utc text)")
            .arg(PgConnection::quoted(side_tables::name(name, side_tables::factsSuffix))),
        QStringLiteral("CREATE TABLE %1 (time double precision, text text)")
            .arg(PgConnection::quoted(side_tables::name(name, side_tables::marksSuffix))),
        QStringLiteral("CREATE TABLE %1 (start double precision, length double precision, cause "
                       "text, count bigint)")
            .arg(PgConnection::quoted(side_tables::name(name, side_tables::gapsSuffix))),
    };
    for (const QString &statement : statements) {
        if (const Status done = connection.exec(statement); !done.ok()) {
            return done;
        }
    }
    return Status::success();
}

// Free when neither the catalogue nor any table has it.
Result<bool> name_is_free(PgConnection &connection, const QString &name)
{
    const Result<QString> taken = connection.value(
        QStringLiteral("SELECT 1 WHERE EXISTS (SELECT 1 FROM telvane_runs WHERE name = $1) OR "
                       "to_regclass($2) IS NOT NULL OR to_regclass($3) IS NOT NULL"),
        {name, PgConnection::quoted(name), PgConnection::quoted(RunEnvelope::table_name(name))});
    if (!taken.ok()) {
        return taken.status();
    }
    return taken->isNull();
}

} // namespace

Status ensure(PgConnection &connection)
{
    return locked_transaction(connection, [&connection]() -> Status {
        if (const Status made = connection.exec(QStringLiteral(
                "CREATE TABLE IF NOT EXISTS telvane_schema (version integer NOT NULL)"));
            !made.ok()) {
            return made;
        }
        const Result<QString> found =
            connection.value(QStringLiteral("SELECT max(version) FROM telvane_schema"));
        if (!found.ok()) {
            return found.status();
        }
        if (found->isNull()) {
            if (const Status written = connection.exec(
                    QStringLiteral("INSERT INTO telvane_schema (version) VALUES (%1)")
                        .arg(version));
                !written.ok()) {
                return written;
            }
        } else if (found->toInt() > version) {
            return Status::invalid(
                QStringLiteral("the server's schema is version %1; this program knows up to %2")
                    .arg(*found)
                    .arg(version));
        }
        return connection.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS telvane_runs (name text PRIMARY KEY, station text NOT "
            "NULL, source_file text NOT NULL, local_name text NOT NULL, mode text, rate integer, "
            "channels integer, started timestamptz, rows bigint NOT NULL DEFAULT 0, outcome "
            "text, complete boolean NOT NULL DEFAULT false, UNIQUE (station, source_file, "
            "local_name))"));
    });
}

Result<QString> claim_run(PgConnection &connection, const RunOrigin &origin, const RunFacts &facts)
{
    QString claimed;
    const Status status = locked_transaction(connection, [&]() -> Status {
        const Result<QString> known = connection.value(
            QStringLiteral("SELECT name FROM telvane_runs WHERE station = $1 AND source_file = "
                           "$2 AND local_name = $3"),
            {origin.station, origin.sourceFile, origin.localName});
        if (!known.ok()) {
            return known.status();
        }
        if (!known->isNull()) {
            claimed = *known;
            return Status::success();
        }
        const QString base = is_run_table_name(origin.localName)
                                 ? run_table_base_name(run_start_time(origin.localName))
                                 : origin.localName;
        QString name = origin.localName;
        for (int suffix = 2;; ++suffix) {
            const Result<bool> free = name_is_free(connection, name);
            if (!free.ok()) {
                return free.status();
            }
            if (*free) {
                break;
            }
            if (suffix > suffixCeiling) {
                return Status::exists(QStringLiteral("no free name for the run %1 on the server")
                                          .arg(origin.localName));
            }
            name = base + QLatin1Char('_') + QString::number(suffix);
        }
        if (const Status added =
                connection
                    .query(QStringLiteral("INSERT INTO telvane_runs (name, station, "
                                          "source_file, local_name, mode, rate, channels, "
                                          "started) VALUES ($1, $2, $3, $4, $5, $6, $7, $8)"),
                           {name, origin.station, origin.sourceFile, origin.localName, facts.mode(),
                            QString::number(facts.rate), QString::number(facts.channels()),
                            utc_text(facts.started)})
                    .status();
            !added.ok()) {
            return added;
        }
        if (const Status made = create_run_tables(connection, name, facts.singleChannel);
            !made.ok()) {
            return made;
        }
        claimed = name;
        return write_facts(connection, name, facts, false);
    });
    if (!status.ok()) {
        return status;
    }
    return claimed;
}

Status write_facts(PgConnection &connection, const QString &serverName, const RunFacts &facts,
                   bool complete)
{
    const QString table =
        PgConnection::quoted(side_tables::name(serverName, side_tables::factsSuffix));
    QStringList voltages;
    for (const double volts : facts.voltages) {
        voltages.append(QString::number(volts, 'g', 10));
    }
    const bool ended = facts.is_complete();
    const auto end_value = [ended](const QString &value) {
        return ended ? value : QString();
    };
    const QList<QString> values{
        utc_text(facts.started),
        QString::number(facts.utcOffsetSeconds),
        facts.mode(),
        QString::number(facts.rate),
        QString::number(facts.seconds),
        voltages.join(QLatin1Char(',')),
        number_or_null(facts.batteryPercent ? std::optional<qint64>(*facts.batteryPercent)
                                            : std::nullopt),
        number_or_null(facts.rangeModule ? std::optional<qint64>(*facts.rangeModule ? 1 : 0)
                                         : std::nullopt),
        facts.programVersion,
        end_value(facts.outcome),
        end_value(QString::number(facts.committedRows)),
        end_value(QString::number(facts.droppedFrames)),
        end_value(QString::number(facts.droppedSamples)),
        end_value(QString::number(facts.pausedMs)),
        end_value(utc_text(facts.ended)),
    };
    Status status = connection.exec(QStringLiteral("DELETE FROM %1").arg(table));
    if (status.ok()) {
        status = connection
                     .query(QStringLiteral("INSERT INTO %1 VALUES ($1, $2, $3, $4, $5, $6, $7, "
                                           "$8, $9, $10, $11, $12, $13, $14, $15)")
                                .arg(table),
                            values)
                     .status();
    }
    if (status.ok() && ended) {
        status = connection
                     .query(QStringLiteral("UPDATE telvane_runs SET outcome = $2, complete = $3 "
                                           "WHERE name = $1"),
                            {serverName, facts.outcome,
                             complete ? QStringLiteral("true") : QStringLiteral("false")})
                     .status();
    }
    return status;
}

} // namespace server_schema
