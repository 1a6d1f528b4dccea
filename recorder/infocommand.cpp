#include "infocommand.h"

#include "commandparser.h"
#include "console.h"
#include "existingdatabase.h"
#include "exitcode.h"
#include "runfactstext.h"
#include "sampledatabase.h"

namespace {
const QString tableOption = QStringLiteral("table");
} // namespace

int InfoCommand::run(const QStringList &arguments)
{
    CommandParser parser(QStringLiteral("info --table NAME [--db FILE|URI]"),
                         QStringLiteral("Prints what a run was taken with and how it ended, one "
                                        "tab-separated name and value per line."));
    parser.add_option({tableOption, QStringLiteral("Run table."), QStringLiteral("NAME")});
    ExistingDatabase::add_option(parser, true);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const QString table = parser.value(tableOption);
    ExistingDatabase::check_table(parser, tableOption);
    int exitCode = ExitOk;
    const auto database = ExistingDatabase::open_after_checks(parser, table, &exitCode);
    if (!database) {
        return exitCode;
    }
    const std::optional<RunFacts> facts = database->read_facts(table);
    if (!facts) {
        Console::error(
            QStringLiteral("the run %1 has no facts (recorded by an older version)").arg(table));
        return ExitFailure;
    }
    Console::out(QStringLiteral("run\t") + table);
    for (const QString &line : run_facts_text::lines(*facts)) {
        Console::out(line);
    }
    for (const RunMark &mark : database->read_marks(table)) {
        Console::out(run_facts_text::mark_line(mark));
    }
    for (const QString &line : run_facts_text::gap_lines(database->read_gaps(table))) {
        Console::out(line);
    }
    return ExitOk;
}
