#include "pushcommand.h"

#include "commandparser.h"
#include "console.h"
#include "existingdatabase.h"
#include "exitcode.h"
#include "mirrortarget.h"
#include "pgconnection.h"
#include "runowner.h"
#include "runpush.h"
#include "sampledatabase.h"
#include "servercheck.h"

#include <QFileInfo>
#include <QSysInfo>

namespace {
const QString tableOption = QStringLiteral("table");
const QString toOption = QStringLiteral("to");
const QString stationOption = QStringLiteral("station");
constexpr int connectSeconds = 10;

QString told(const run_push::Pushed &pushed, const QString &table)
{
    QString line;
    switch (pushed.kind) {
    case run_push::Pushed::Kind::Uploaded:
        line = QStringLiteral("%1: %2 rows uploaded").arg(table).arg(pushed.rows);
        break;
    case run_push::Pushed::Kind::AlreadyComplete:
        line = QStringLiteral("%1: already complete on the server").arg(table);
        break;
    case run_push::Pushed::Kind::Completed:
        line = QStringLiteral("%1: completed: %2 of %3 rows were missing")
                   .arg(table)
                   .arg(pushed.missing)
                   .arg(pushed.rows);
        break;
    }
    if (pushed.serverName != table) {
        line += QStringLiteral(" (on the server as %1)").arg(pushed.serverName);
    }
    return line;
}
} // namespace

int PushCommand::run(const QStringList &arguments)
{
    CommandParser parser(
        QStringLiteral("push --to URI [--db FILE] [--table NAME]... [--station NAME]"),
        QStringLiteral("Uploads finished runs (every run of the file, or each --table) to a "
                       "PostgreSQL server as record --mirror would have: a run the server has "
                       "complete is skipped, one it has in part is completed. One line per run "
                       "says what was done."));
    parser.add_option({toOption,
                       QStringLiteral("The server (a libpq connection URI, "
                                      "postgresql://[USER@]HOST[:PORT]/DB); the password comes "
                                      "from ~/.pgpass, PGPASSFILE, PGPASSWORD or a service "
                                      "file, never the URI."),
                       QStringLiteral("URI")});
    ExistingDatabase::add_option(parser);
    parser.add_repeatable_option(
        {tableOption, QStringLiteral("A run table to push; may be given more than once."),
         QStringLiteral("NAME")});
    parser.add_option({stationOption,
                       QStringLiteral("This machine's name in the server's catalogue of runs "
                                      "(default the host name; the name record --mirror used "
                                      "for a run it mirrored in part)."),
                       QStringLiteral("NAME")});
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    std::optional<MirrorTarget> target;
    if (!parser.is_set(toOption)) {
        parser.fail(QStringLiteral("--to is required (the server's connection URI)"));
    } else if (const Result<MirrorTarget> parsed =
                   MirrorTarget::parse(parser.value(toOption), QStringLiteral("--to"));
               !parsed.ok()) {
        parser.fail(parsed.status().message());
    } else {
        target = *parsed;
    }
    const QStringList tables = parser.values(tableOption);
    for (const QString &table : tables) {
        if (!SampleDatabase::is_valid_table_name(table)) {
            parser.fail(QStringLiteral("--table \"%1\" is not a run table name (allowed "
                                       "dataSample_yyyyMMdd_hh_mm_ss, optionally _N)")
                            .arg(table));
        }
    }
    const QString station = parser.is_set(stationOption) ? parser.value(stationOption).trimmed()
                                                         : QSysInfo::machineHostName();
    if (station.isEmpty()) {
        parser.fail(QStringLiteral("--station needs a name"));
    }
    if (const auto refused = parser.refusal()) {
        return *refused;
    }
    const QString file = ExistingDatabase::file(parser);
    const auto database = ExistingDatabase::open(file);
    if (!database) {
        return ExitFailure;
    }
    const QStringList runs = tables.isEmpty() ? database->run_names() : tables;
    for (const QString &table : tables) {
        if (!database->table_exists(table)) {
            Console::error(QStringLiteral("--table %1: no such run table in %2").arg(table, file));
            return ExitBadArguments;
        }
    }
    // Clear words for a server that is away or refuses us, and its layout made.
    if (const Status checked = check_server(*target, connectSeconds); !checked.ok()) {
        Console::error(checked.message());
        return ExitFailure;
    }
    PgConnection connection(target->uri(), connectSeconds);
    if (!connection.connect_status().ok()) {
        Console::error(QStringLiteral("the PostgreSQL server %1: %2")
                           .arg(target->shown(), connection.connect_status().message()));
        return ExitFailure;
    }
    const QString sourceFile = QFileInfo(file).absoluteFilePath();
    int exitCode = ExitOk;
    for (const QString &table : runs) {
        if (RunOwner::is_recording(sourceFile, table)) {
            Console::out(QStringLiteral("%1: still being recorded; not pushed").arg(table));
            continue;
        }
        const std::optional<RunFacts> facts = database->read_facts(table);
        if (!facts) {
            Console::error(QStringLiteral("%1: no facts (recorded by an older version); not pushed")
                               .arg(table));
            exitCode = ExitFailure;
            continue;
        }
        const qint64 rows = database->row_count(table);
        if (rows < 0) {
            Console::error(QStringLiteral("%1: cannot read the table; not pushed").arg(table));
            exitCode = ExitFailure;
            continue;
        }
        const Result<run_push::Pushed> pushed =
            run_push::push(connection, database->connection_handle(),
                           server_schema::RunOrigin{station, sourceFile, table}, *facts,
                           database->read_marks(table), database->read_gaps(table), rows);
        if (!pushed.ok()) {
            Console::error(QStringLiteral("%1: not pushed to %2: %3")
                               .arg(table, target->shown(), pushed.status().message()));
            exitCode = ExitFailure;
            if (!connection.is_open()) {
                // The server went away: the other runs would fail the same way.
                return exitCode;
            }
            continue;
        }
        Console::out(told(*pushed, table));
    }
    return exitCode;
}
