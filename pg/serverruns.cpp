#include "serverruns.h"

#include "mirrortarget.h"
#include "pgconnection.h"
#include "runenvelope.h"
#include "rungaps.h"
#include "runmarks.h"
#include "runtablename.h"
#include "runwriter.h"
#include "serverschema.h"
#include "sidetables.h"
#include "sqliteconnection.h"

#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cmath>
#include <limits>

namespace {

// Rows per read from the server and per SQLite transaction.
constexpr int rowsPerRead = 20000;

// The server's type numbers of the columns this program makes.
constexpr Oid int8Type = 20;
constexpr Oid int2Type = 21;
constexpr Oid int4Type = 23;
constexpr Oid float4Type = 700;
constexpr Oid float8Type = 701;

// How a sample that is not a number is stored in a run table (see RunWriter).
constexpr char notANumber[] = "nan";

QString shown(const QString &target)
{
    const Result<MirrorTarget> parsed = MirrorTarget::parse(target);
    return parsed.ok() ? parsed->shown() : target;
}

bool is_null(pg_result *rows, int row, int column)
{
    return PQgetisnull(rows, row, column) != 0;
}

QByteArray field(pg_result *rows, int row, int column)
{
    return QByteArray::fromRawData(PQgetvalue(rows, row, column), PQgetlength(rows, row, column));
}

QString text(pg_result *rows, int row, int column)
{
    return is_null(rows, row, column) ? QString() : QString::fromUtf8(field(rows, row, column));
}

qint64 integer(pg_result *rows, int row, int column)
{
    return field(rows, row, column).toLongLong();
}

// The server's text of a double precision value (with extra_float_digits set, the shortest
// text that reads back as the very same number).
double number(pg_result *rows, int row, int column)
{
    const QByteArray value = field(rows, row, column);
    if (value == "NaN") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (value == "Infinity") {
        return std::numeric_limits<double>::infinity();
    }
    if (value == "-Infinity") {
        return -std::numeric_limits<double>::infinity();
    }
    return value.toDouble();
}

std::optional<double> optional_number(pg_result *rows, int row, int column)
{
    return is_null(rows, row, column) ? std::nullopt
                                      : std::optional<double>(number(rows, row, column));
}

QDateTime utc_time(pg_result *rows, int row, int column)
{
    if (is_null(rows, row, column)) {
        return QDateTime();
    }
    QDateTime time = QDateTime::fromString(text(rows, row, column), Qt::ISODateWithMs);
    time.setTimeSpec(Qt::UTC);
    return time;
}

// The facts row as server_schema::write_facts wrote it.
RunFacts facts_of(pg_result *rows, int row)
{
    RunFacts facts;
    facts.started = utc_time(rows, row, 0);
    facts.utcOffsetSeconds = int(integer(rows, row, 1));
    facts.singleChannel = text(rows, row, 2) != QLatin1String("multi");
    facts.rate = int(integer(rows, row, 3));
    facts.seconds = int(integer(rows, row, 4));
    for (const QString &volts : text(rows, row, 5).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        facts.voltages.append(volts.toDouble());
    }
    if (!is_null(rows, row, 6)) {
        facts.batteryPercent = int(integer(rows, row, 6));
    }
    if (!is_null(rows, row, 7)) {
        facts.rangeModule = integer(rows, row, 7) != 0;
    }
    facts.programVersion = text(rows, row, 8);
    facts.outcome = text(rows, row, 9);
    if (facts.is_complete()) {
        facts.committedRows = integer(rows, row, 10);
        facts.droppedFrames = quint64(integer(rows, row, 11));
        facts.droppedSamples = quint64(integer(rows, row, 12));
        facts.pausedMs = integer(rows, row, 13);
        facts.ended = utc_time(rows, row, 14);
    }
    return facts;
}

Status sqlite_failure(sqlite3 *db)
{
    return Status::write_failed(QString::fromUtf8(sqlite3_errmsg(db)));
}

Status sqlite_exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK ? Status::success()
                                                                         : sqlite_failure(db);
}

// Binds the server's value as the file stores it: integers as integers, numbers as numbers
// (a NaN, which SQLite would turn into NULL, as the text a run table keeps for it), the rest
// as text.
void bind_field(sqlite3_stmt *insert, int index, pg_result *rows, int row, int column)
{
    if (is_null(rows, row, column)) {
        sqlite3_bind_null(insert, index);
        return;
    }
    switch (PQftype(rows, column)) {
    case int2Type:
    case int4Type:
    case int8Type:
        sqlite3_bind_int64(insert, index, integer(rows, row, column));
        return;
    case float4Type:
    case float8Type: {
        const double value = number(rows, row, column);
        if (std::isnan(value)) {
            sqlite3_bind_text(insert, index, notANumber, -1, SQLITE_STATIC);
        } else {
            sqlite3_bind_double(insert, index, value);
        }
        return;
    }
    default: {
        const QByteArray value = field(rows, row, column);
        sqlite3_bind_text(insert, index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        return;
    }
    }
}

// Inserts the server's rows into localTable, the columns both have, in the caller's
// transaction.
Status insert_rows(sqlite3 *db, const QString &localTable, pg_result *rows)
{
    QSet<QString> localColumns;
    {
        const sqlite_connection::Statement info =
            sqlite_connection::prepare(db, QStringLiteral("PRAGMA table_info(%1)")
                                               .arg(sqlite_connection::quoted(localTable))
                                               .toUtf8());
        while (info && sqlite3_step(info.get()) == SQLITE_ROW) {
            localColumns.insert(QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1))));
        }
    }
    QList<int> columns;
    QStringList names;
    QStringList places;
    for (int c = 0; c < PQnfields(rows); ++c) {
        const QString name = QString::fromUtf8(PQfname(rows, c));
        if (localColumns.contains(name)) {
            columns.append(c);
            names.append(sqlite_connection::quoted(name));
            places.append(QStringLiteral("?"));
        }
    }
    if (columns.isEmpty()) {
        return Status::invalid(
            QStringLiteral("the table %1 has no column of the server's").arg(localTable));
    }
    const sqlite_connection::Statement insert = sqlite_connection::prepare(
        db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(sqlite_connection::quoted(localTable), names.join(QLatin1Char(',')),
                     places.join(QLatin1Char(',')))
                .toUtf8());
    if (!insert) {
        return sqlite_failure(db);
    }
    for (int row = 0; row < PQntuples(rows); ++row) {
        for (qsizetype i = 0; i < columns.size(); ++i) {
            bind_field(insert.get(), int(i + 1), rows, row, columns[i]);
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            return sqlite_failure(db);
        }
        sqlite3_reset(insert.get());
    }
    return Status::success();
}

} // namespace

ServerRuns::ServerRuns(QString target, int timeoutSeconds, QString password)
    : target_(std::move(target))
    , timeoutSeconds_(timeoutSeconds)
    , password_(std::move(password))
{}

ServerRuns::~ServerRuns() = default;

Status ServerRuns::connect()
{
    if (connection_ && connection_->is_open()) {
        return Status::success();
    }
    connection_ = std::make_unique<PgConnection>(target_, timeoutSeconds_, password_);
    const Status connected = connection_->connect_status();
    if (connected.is(Status::Kind::Unavailable)) {
        return Status::unavailable(QStringLiteral("the PostgreSQL server %1 cannot be reached: %2")
                                       .arg(shown(target_), connected.message()));
    }
    if (!connected.ok()) {
        return Status::invalid(QStringLiteral("cannot connect to the PostgreSQL server %1: %2")
                                   .arg(shown(target_), connected.message()));
    }
    // Every number read back as the very number stored (the default of servers from 12 on).
    Status status = connection_->exec(QStringLiteral("SET extra_float_digits = 3"));
    const Result<bool> versioned =
        status.ok() ? has_table(QStringLiteral("telvane_schema")) : Result<bool>(status);
    const Result<QString> layout =
        !versioned.ok() ? Result<QString>(versioned.status())
        : *versioned ? connection_->value(QStringLiteral("SELECT max(version) FROM telvane_schema"))
                     : Result<QString>(QString());
    if (!layout.ok()) {
        return layout.status().prefixed(
            QStringLiteral("the PostgreSQL server %1").arg(shown(target_)));
    }
    // A server without the layout holds no runs yet: its catalogue reads as empty.
    if (!layout->isNull() && layout->toInt() > server_schema::version) {
        return Status::invalid(QStringLiteral("the PostgreSQL server %1: its schema is version "
                                              "%2; this program knows up to %3")
                                   .arg(shown(target_), *layout)
                                   .arg(server_schema::version));
    }
    return Status::success();
}

Result<QList<ServerRun>> ServerRuns::list()
{
    if (const Status connected = connect(); !connected.ok()) {
        return connected;
    }
    return read_catalogue(QString());
}

Result<ServerRun> ServerRuns::find(const QString &name)
{
    if (const Status connected = connect(); !connected.ok()) {
        return connected;
    }
    const Result<QList<ServerRun>> runs = read_catalogue(name);
    if (!runs.ok()) {
        return runs.status();
    }
    if (runs->isEmpty()) {
        return Status::not_found(
            QStringLiteral("no run %1 on the PostgreSQL server %2").arg(name, shown(target_)));
    }
    return runs->first();
}

Result<QList<ServerRun>> ServerRuns::read_catalogue(const QString &name)
{
    const Result<bool> catalogued = has_table(QStringLiteral("telvane_runs"));
    if (!catalogued.ok()) {
        return catalogued.status();
    }
    if (!*catalogued) {
        return QList<ServerRun>();
    }
    QString sql = QStringLiteral(
        "SELECT name, station, source_file, local_name, channels, complete FROM telvane_runs");
    QList<QString> parameters;
    if (!name.isNull()) {
        sql += QStringLiteral(" WHERE name = $1");
        parameters.append(name);
    }
    sql += QStringLiteral(" ORDER BY started, name");
    const Result<PgConnection::Rows> catalogue = connection_->query(sql, parameters);
    if (!catalogue.ok()) {
        return catalogue.status();
    }
    pg_result *rows = catalogue->get();
    QList<ServerRun> runs;
    for (int row = 0; row < PQntuples(rows); ++row) {
        ServerRun run;
        run.listing.name = text(rows, row, 0);
        run.station = text(rows, row, 1);
        run.sourceFile = text(rows, row, 2);
        run.localName = text(rows, row, 3);
        run.listing.channels = int(integer(rows, row, 4));
        run.complete = field(rows, row, 5) == "t";
        run.listing.started = run_start_time(run.listing.name);
        const QString table = PgConnection::quoted(run.listing.name);
        const Result<PgConnection::Rows> span = connection_->query(
            QStringLiteral("SELECT count(*), min(time), max(time) FROM %1").arg(table));
        if (!span.ok()) {
            return span.status().prefixed(
                QStringLiteral("cannot read the run %1 on the server").arg(run.listing.name));
        }
        run.listing.rows = integer(span->get(), 0, 0);
        run.listing.firstTime = optional_number(span->get(), 0, 1);
        run.listing.lastTime = optional_number(span->get(), 0, 2);
        const QString factsTable = side_tables::name(run.listing.name, side_tables::factsSuffix);
        const Result<bool> hasFacts = has_table(factsTable);
        if (!hasFacts.ok()) {
            return hasFacts.status();
        }
        if (!*hasFacts) {
            runs.append(run);
            continue;
        }
        const Result<PgConnection::Rows> facts = connection_->query(
            QStringLiteral("SELECT started_utc, utc_offset_s, mode, rate, collection_s, "
                           "excitation, battery_percent, range_module, program_version, outcome, "
                           "committed_rows, dropped_frames, dropped_samples, paused_ms, ended_utc "
                           "FROM %1 LIMIT 1")
                .arg(PgConnection::quoted(factsTable)));
        if (!facts.ok()) {
            return facts.status().prefixed(
                QStringLiteral("cannot read the facts of the run %1 on the server")
                    .arg(run.listing.name));
        }
        if (PQntuples(facts->get()) == 1) {
            run.facts = facts_of(facts->get(), 0);
            // Complete on the server without an end: its recorder was gone (see push).
            run.facts->recordingGone = run.complete && !run.facts->is_complete();
        }
        runs.append(run);
    }
    return runs;
}

Result<bool> ServerRuns::has_table(const QString &table)
{
    const Result<QString> found = connection_->value(
        QStringLiteral("SELECT to_regclass($1) IS NOT NULL"), {PgConnection::quoted(table)});
    if (!found.ok()) {
        return found.status();
    }
    return *found == QLatin1String("t");
}

Status ServerRuns::download(const QString &name, const QString &databaseFile)
{
    rowsCopied_ = 0;
    rowsTotal_ = 0;
    if (const Status connected = connect(); !connected.ok()) {
        return connected;
    }
    // One snapshot: a run the mirror is still writing comes as it was at one moment.
    if (const Status begun =
            connection_->exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        !begun.ok()) {
        return begun;
    }
    const auto end_snapshot = [this] {
        connection_->exec(QStringLiteral("ROLLBACK"));
    };
    const Result<ServerRun> run = find(name);
    if (!run.ok()) {
        end_snapshot();
        return run.status();
    }
    const bool singleChannel = run->listing.channels == 1;
    if (!singleChannel && run->listing.channels != 16) {
        end_snapshot();
        return Status::invalid(
            QStringLiteral("the run %1 has %2 channels").arg(name).arg(run->listing.channels));
    }
    rowsTotal_ = run->listing.rows;

    const QFileInfo file(databaseFile);
    const bool fresh = !file.exists() || file.size() == 0;
    Result<sqlite_connection::Handle> opened = sqlite_connection::open(
        databaseFile, false,
        fresh ? sqlite_connection::Journal::Off : sqlite_connection::Journal::WriteAhead);
    if (!opened.ok()) {
        end_snapshot();
        return opened.status();
    }
    sqlite3 *db = opened->get();
    if (run_catalogue::has_table(db, name)) {
        end_snapshot();
        return Status::exists(
            QStringLiteral("the file %1 has a table %2 already").arg(databaseFile, name));
    }
    // Side tables a dropped run of that name may have left.
    run_catalogue::drop_tables(db, {name});
    Result<std::unique_ptr<RunWriter>> created = RunWriter::create(db, name, singleChannel);
    if (!created.ok()) {
        end_snapshot();
        return created.status();
    }
    created.value().reset();

    // The rows of a side table; none when the server has no such table.
    const auto side_rows = [this](const QString &sql,
                                  const QString &table) -> Result<PgConnection::Rows> {
        const Result<bool> found = has_table(table);
        if (!found.ok()) {
            return found.status();
        }
        return connection_->query(*found ? sql.arg(PgConnection::quoted(table))
                                         : QStringLiteral("SELECT 1 WHERE false"));
    };
    const auto copy = [&]() -> Status {
        const QString table = PgConnection::quoted(name);
        qint64 lastId = 0;
        for (;;) {
            if (cancelled_) {
                return Status::cancelled(QStringLiteral("the download was cancelled"));
            }
            const Result<PgConnection::Rows> rows = connection_->query(
                QStringLiteral("SELECT * FROM %1 WHERE id > $1 ORDER BY id LIMIT %2")
                    .arg(table)
                    .arg(rowsPerRead),
                {QString::number(lastId)});
            if (!rows.ok()) {
                return rows.status();
            }
            const int count = PQntuples(rows->get());
            if (count == 0) {
                break;
            }
            Status status = sqlite_exec(db, "BEGIN");
            if (status.ok()) {
                status = insert_rows(db, name, rows->get());
            }
            if (status.ok()) {
                status = sqlite_exec(db, "COMMIT");
            }
            if (!status.ok()) {
                return status;
            }
            lastId = integer(rows->get(), count - 1, 0);
            rowsCopied_ += count;
        }
        if (const Status begun = sqlite_exec(db, "BEGIN"); !begun.ok()) {
            return begun;
        }
        const QString envelope = RunEnvelope::table_name(name);
        // Before its end the run's envelope is not on the server (the mirror sends it last):
        // its table stays empty, and the readers read the rows.
        const Result<bool> hasEnvelope = has_table(envelope);
        if (!hasEnvelope.ok()) {
            return hasEnvelope.status();
        }
        if (*hasEnvelope) {
            const Result<PgConnection::Rows> blocks = connection_->query(
                QStringLiteral("SELECT * FROM %1").arg(PgConnection::quoted(envelope)));
            if (!blocks.ok()) {
                return blocks.status();
            }
            if (PQntuples(blocks->get()) > 0) {
                if (const Status inserted = insert_rows(db, envelope, blocks->get());
                    !inserted.ok()) {
                    return inserted;
                }
            }
        }
        QString reason;
        if (run->facts) {
            if (!run_facts::write_start(db, name, *run->facts, &reason) ||
                (run->facts->is_complete() &&
                 !run_facts::write_end(db, name, *run->facts, &reason))) {
                return Status::write_failed(reason);
            }
        }
        const Result<PgConnection::Rows> marks =
            side_rows(QStringLiteral("SELECT time, text FROM %1 ORDER BY time, ctid"),
                      side_tables::name(name, side_tables::marksSuffix));
        if (!marks.ok()) {
            return marks.status();
        }
        for (int row = 0; row < PQntuples(marks->get()); ++row) {
            if (!run_marks::add(db, name,
                                RunMark{number(marks->get(), row, 0), text(marks->get(), row, 1)},
                                &reason)) {
                return Status::write_failed(reason);
            }
        }
        const Result<PgConnection::Rows> gaps = side_rows(
            QStringLiteral("SELECT start, length, cause, count FROM %1 ORDER BY start, ctid"),
            side_tables::name(name, side_tables::gapsSuffix));
        if (!gaps.ok()) {
            return gaps.status();
        }
        for (int row = 0; row < PQntuples(gaps->get()); ++row) {
            pg_result *g = gaps->get();
            if (!run_gaps::add(db, name,
                               RunGap{number(g, row, 0), number(g, row, 1), text(g, row, 2),
                                      integer(g, row, 3)},
                               &reason)) {
                return Status::write_failed(reason);
            }
        }
        return sqlite_exec(db, "COMMIT");
    };
    const Status copied = copy();
    end_snapshot();
    if (!copied.ok()) {
        if (!sqlite3_get_autocommit(db)) {
            // Without a journal SQLite cannot roll back: what was written is dropped instead.
            sqlite3_exec(db, fresh ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        }
        // Nothing half copied stays behind to pass for the run.
        run_catalogue::drop_tables(db, {name});
    }
    return copied;
}
