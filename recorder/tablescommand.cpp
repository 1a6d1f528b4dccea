#include "tablescommand.h"

#include "commandparser.h"
#include "console.h"
#include "existingdatabase.h"
#include "exitcode.h"
#include "mirrortarget.h"
#include "sampledatabase.h"
#include "serverruns.h"

namespace {
constexpr int timeDecimals = 4;
} // namespace

int TablesCommand::run(const QStringList &arguments)
{
    CommandParser parser(QStringLiteral("tables [--db FILE|URI]"),
                         QStringLiteral("Lists the run tables: name, rows, mode (single or "
                                        "multi), first..last time, start time, rate, "
                                        "collection time and outcome, tab-separated."));
    ExistingDatabase::add_option(parser, true);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const QString file = ExistingDatabase::file(parser);
    if (ExistingDatabase::names_server(file)) {
        return list_server(file);
    }
    const auto database = ExistingDatabase::open(file);
    if (!database) {
        return ExitFailure;
    }
    // A table that cannot be read (damaged, or another program's under a run's name) is named
    // and the others listed; only when none of them could be read does the listing fail.
    bool listed = false;
    bool unread = false;
    for (const QString &table : database->run_names()) {
        // Every row is counted: a script's listing also tells whether the tables can be read.
        const Result<RunListing> run =
            database->describe_run(table, run_catalogue::RowCount::EveryRow);
        if (run.ok()) {
            Console::out(line(*run, database->read_facts(table)));
            listed = true;
        } else {
            Console::error(
                QStringLiteral("cannot read the table %1: %2").arg(table, run.status().message()));
            unread = true;
        }
    }
    return unread && !listed ? ExitFailure : ExitOk;
}

int TablesCommand::list_server(const QString &target)
{
    const Result<MirrorTarget> parsed = MirrorTarget::parse(target, QStringLiteral("--db"));
    if (!parsed.ok()) {
        Console::error(parsed.status().message());
        return ExitBadArguments;
    }
    ServerRuns server(target);
    const Result<QList<ServerRun>> runs = server.list();
    if (!runs.ok()) {
        Console::error(runs.status().message());
        return ExitFailure;
    }
    for (const ServerRun &run : *runs) {
        Console::out(line(run.listing, run.facts));
    }
    return ExitOk;
}

QString TablesCommand::line(const RunListing &run, const std::optional<RunFacts> &facts)
{
    const QString times = run.firstTime && run.lastTime
                              ? QStringLiteral("%1..%2 s")
                                    .arg(QString::number(*run.firstTime, 'f', timeDecimals),
                                         QString::number(*run.lastTime, 'f', timeDecimals))
                              : QStringLiteral("-");
    const QString started = run.started.isValid()
                                ? run.started.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                                : QStringLiteral("-");
    QStringList fields{run.name, QStringLiteral("%1 rows").arg(run.rows), run.mode(), times,
                       started};
    if (facts) {
        fields << QStringLiteral("%1 points/s").arg(facts->rate)
               << QStringLiteral("%1 s").arg(facts->seconds) << facts->outcome_shown();
    } else {
        fields << QStringLiteral("-") << QStringLiteral("-") << QStringLiteral("-");
    }
    return fields.join(QLatin1Char('\t'));
}
