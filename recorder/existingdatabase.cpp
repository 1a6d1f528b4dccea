#include "existingdatabase.h"

#include "commandparser.h"
#include "console.h"
#include "exitcode.h"
#include "mirrortarget.h"
#include "sampledatabase.h"
#include "servercopy.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString dbOption = QStringLiteral("db");
// The first 16 bytes of every SQLite 3 database file.
constexpr char sqliteHeader[] = "SQLite format 3";
constexpr qint64 sqliteHeaderSize = sizeof sqliteHeader; // with its closing zero byte
} // namespace

std::unique_ptr<SampleDatabase> ExistingDatabase::open(const QString &file)
{
    if (!QFileInfo(file).isFile()) {
        Console::error(QStringLiteral("no database file %1").arg(file));
        return nullptr;
    }
    if (holds_other_data(file)) {
        // SQLite's own words for a larger file of the kind.
        Console::error(
            QStringLiteral("cannot read the database %1: file is not a database").arg(file));
        return nullptr;
    }
    // Read-only: looking into a file changes no byte of it, whichever program it is from.
    auto database = std::make_unique<SampleDatabase>(file, SampleDatabase::Access::ReadOnly);
    if (const Status opened = database->open_database(); !opened.ok()) {
        Console::error(
            QStringLiteral("cannot open the database %1: %2").arg(file, opened.message()));
        return nullptr;
    }
    // SQLite opens a file lazily: one that is no database, is damaged, or cannot be read
    // where it lies (a write-ahead log in a read-only folder) only fails at the first read,
    // and would otherwise look like a database without runs.
    if (const Status readable = database->check_readable(); !readable.ok()) {
        Console::error(
            QStringLiteral("cannot read the database %1: %2").arg(file, readable.message()));
        return nullptr;
    }
    return database;
}

bool ExistingDatabase::holds_other_data(const QString &file)
{
    QFile content(file);
    if (!QFileInfo(file).isFile() || !content.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray start = content.read(sqliteHeaderSize);
    return !start.isEmpty() && start != QByteArray(sqliteHeader, sqliteHeaderSize);
}

bool ExistingDatabase::names_server(const QString &file)
{
    // A file of such a name is still read as a file.
    return MirrorTarget::names_server(file) && !QFileInfo::exists(file);
}

QString ExistingDatabase::default_file()
{
    return QStringLiteral("telvane-cli.db");
}

void ExistingDatabase::add_option(CommandParser &parser, bool server)
{
    QString help = QStringLiteral("Database file (default %1, the recorder's own; --db "
                                  "Quorlen.db reads the window's runs)")
                       .arg(default_file());
    if (server) {
        help += QStringLiteral(", or a PostgreSQL server the runs were mirrored or pushed to "
                               "(postgresql://[USER@]HOST[:PORT]/DB; the password from "
                               "~/.pgpass, PGPASSFILE, PGPASSWORD or a service file)");
    }
    parser.add_option({dbOption, help + QLatin1Char('.'),
                       server ? QStringLiteral("FILE|URI") : QStringLiteral("FILE"),
                       default_file()});
}

QString ExistingDatabase::file(const CommandParser &parser)
{
    return parser.value(dbOption);
}

void ExistingDatabase::check_table(CommandParser &parser, const QString &tableOption)
{
    const QString table = parser.value(tableOption);
    if (!parser.is_set(tableOption)) {
        parser.fail(QStringLiteral("--table is required (a run table name; see tables)"));
    } else if (!SampleDatabase::is_valid_table_name(table)) {
        parser.fail(QStringLiteral("--table \"%1\" is not a run table name (allowed "
                                   "dataSample_yyyyMMdd_hh_mm_ss, optionally _N)")
                        .arg(table));
    }
}

std::unique_ptr<SampleDatabase> ExistingDatabase::open_after_checks(const CommandParser &parser,
                                                                    const QString &table,
                                                                    int *exitCode)
{
    if (const auto refused = parser.refusal()) {
        *exitCode = *refused;
        return nullptr;
    }
    return open_with_table(file(parser), table, exitCode);
}

std::unique_ptr<SampleDatabase>
ExistingDatabase::open_with_table(const QString &file, const QString &table, int *exitCode)
{
    if (names_server(file)) {
        return ServerCopy::open_run(file, table, exitCode);
    }
    auto database = open(file);
    if (!database) {
        *exitCode = ExitFailure;
        return nullptr;
    }
    if (!database->table_exists(table)) {
        Console::error(QStringLiteral("--table %1: no such run table in %2").arg(table, file));
        *exitCode = ExitBadArguments;
        return nullptr;
    }
    return database;
}
