#include "tablescommand.h"

#include "commandparser.h"
#include "console.h"
#include "existingdatabase.h"
#include "exitcode.h"
#include "sampledatabase.h"
#include "tablesummary.h"

int TablesCommand::run(const QStringList &arguments)
{
    CommandParser parser(QStringLiteral("tables [--db FILE]"),
                         QStringLiteral("Lists the run tables: name, rows, mode (single or "
                                        "multi) and first..last time, tab-separated."));
    ExistingDatabase::add_option(parser);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const auto database = ExistingDatabase::open(ExistingDatabase::file(parser));
    if (!database) {
        return ExitFailure;
    }
    int code = ExitOk;
    for (const QString &table : database->table_names()) {
        if (!SampleDatabase::is_valid_table_name(table)) {
            continue; // not a run's table
        }
        QString reason;
        if (const auto summary = TableSummary::read(*database, table, &reason)) {
            Console::out(summary->line());
        } else {
            Console::error(QStringLiteral("cannot read the table %1: %2").arg(table, reason));
            code = ExitFailure;
        }
    }
    return code;
}
