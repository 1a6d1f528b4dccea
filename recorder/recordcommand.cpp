#include "recordcommand.h"

#include "commandparser.h"
#include "console.h"
#include "csvoutput.h"
#include "exitcode.h"
#include "instrumentlink.h"
#include "recordingsession.h"
#include "recordoptions.h"
#include "runchain.h"
#include "runfactstext.h"
#include "sampledatabase.h"
#include "scopedlogmanager.h"
#include "serialmanager.h"
#include "stopsignals.h"

int RecordCommand::run(const QStringList &arguments)
{
    CommandParser parser(
        QStringLiteral("record (--port P | --simulate) --mode single|multi --rate N --time S "
                       "[--vout V | --v1 A --v2 B --v3 C --v4 D] [--db FILE] [--csv FILE] "
                       "[--repeat N|forever] [--until TIME] [--reconnect]"),
        QStringLiteral("Records one run into a new run table, until the instrument ends it, "
                       "or a chain of runs back to back (--repeat, --until), each in a table "
                       "of its own. SIGINT, SIGTERM or SIGHUP stops the run early and ends "
                       "the chain. Each line read on standard input during a run marks it "
                       "with that text at that moment."));
    RecordOptions::add_options(parser);
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const RecordOptions options = RecordOptions::read(parser);
    if (const auto exitCode = parser.refusal()) {
        return *exitCode;
    }

    // From here a stop signal ends the run properly instead of killing the tool.
    StopSignals stopSignals;
    const ScopedLogManager logging;
    if (const QString problem = log_manager()->open_error(); !problem.isEmpty()) {
        Console::error(QStringLiteral("cannot write the log folder %1: %2; recording goes on "
                                      "without a log")
                           .arg(log_manager()->log_directory(), problem));
    }
    SampleDatabase database(options.database_file());
    if (const Status opened = database.open_database(); !opened.ok()) {
        Console::error(QStringLiteral("cannot open the database %1: %2")
                           .arg(options.database_file(), opened.message()));
        return ExitFailure;
    }
    InstrumentLink link;
    if (!link.open(options.instrument())) {
        Console::error(link.error());
        return ExitFailure;
    }
    // A stop signal during the status wait ends the wait, and the command, at once.
    link.serial()->set_wait_interruption([&stopSignals] { return stopSignals.requested(); });
    const StatusReply status = link.query_status();
    if (stopSignals.requested()) {
        Console::error(QStringLiteral("interrupted before the run started; nothing recorded"));
        return ExitIncomplete;
    }
    if (!status.is_valid()) {
        Console::error(link.no_reply_message());
        return ExitNoStatusReply;
    }
    const QString voltageError =
        options.voltage_error(status.module() == StatusReply::Module::Present);
    if (!voltageError.isEmpty()) {
        Console::error(voltageError);
        return ExitBadArguments;
    }

    RunChain chain(&link, &database, options, &stopSignals, status);
    return chain.run();
}

int RecordCommand::conclude(const RecordingSession &session, SampleDatabase &database,
                            const RecordOptions &options, const QString &csvFile,
                            const QString &stopCause)
{
    const qint64 rows = session.committed_count();
    const QString stored = QStringLiteral("%1 samples stored in %2").arg(rows).arg(session.table());
    const int waitSeconds = int(RunSession::stopConfirmLimit.count() / 1000);
    int code = ExitOk;
    // A later problem does not hide an earlier one: the first exit code sticks.
    const auto escalate = [&code](int problem) {
        if (code == ExitOk)
            code = problem;
    };
    if (session.overran()) {
        Console::error(QStringLiteral("the instrument did not end the run within %1 s after its "
                                      "collection time; it was asked to stop")
                           .arg(waitSeconds));
        code = ExitIncomplete;
    }
    switch (session.outcome()) {
    case RecordingSession::Outcome::PortLost:
        Console::error(QStringLiteral("serial port lost during the run; ") + stored);
        code = ExitPortLost;
        break;
    case RecordingSession::Outcome::StopUnconfirmed:
        Console::error(QStringLiteral("the instrument did not confirm the stop within %1 s; ")
                           .arg(waitSeconds) +
                       stored);
        code = ExitIncomplete;
        break;
    case RecordingSession::Outcome::StorageFailed:
        if (session.table_lost()) {
            Console::error(QStringLiteral("storing the samples failed (%1), so the run was "
                                          "stopped; the table %2 is gone from the database and "
                                          "none of the %3 samples are kept")
                               .arg(session.storage_error(), session.table())
                               .arg(session.taken_count()));
        } else {
            Console::error(
                QStringLiteral("storing the samples failed (%1), so the run was "
                               "stopped; only %2 of %3 samples reached the database in %4")
                    .arg(session.storage_error())
                    .arg(rows)
                    .arg(session.taken_count())
                    .arg(session.table()));
        }
        code = ExitFailure;
        break;
    default:
        if (session.overran()) {
            Console::error(QStringLiteral("stopped: ") + stored);
        } else if (!session.stop_requested() && rows < session.fewest_complete_samples()) {
            // The instrument ended the run early, or frames of it were damaged on the way.
            Console::error(QStringLiteral("incomplete: %1 of %2 samples stored in %3")
                               .arg(rows)
                               .arg(session.expected_samples())
                               .arg(session.table()));
            code = ExitIncomplete;
        } else if (session.stop_requested()) {
            // Exit 0 as well: a stop asked for is no fault, but the line says the run is short.
            Console::note(QStringLiteral("Recorded: %1 of %2, stopped %3 after %4 s")
                              .arg(stored, options.database_file(), stopCause)
                              .arg(double(session.elapsed_ms()) / 1000.0, 0, 'f', 1));
        } else {
            Console::note(QStringLiteral("Recorded: ") + stored + QStringLiteral(" of ") +
                          options.database_file());
        }
        break;
    }
    // What the run's facts now hold, as `info` prints them in full.
    Console::note(run_facts_text::summary(session.facts()));
    if (session.dropped_count() > 0) {
        Console::error(QStringLiteral("%1 frames or samples were dropped because a queue was full")
                           .arg(session.dropped_count()));
        escalate(ExitIncomplete);
    }
    if (rows != session.taken_count() &&
        session.outcome() != RecordingSession::Outcome::StorageFailed) {
        Console::error(QStringLiteral("only %1 of %2 samples reached the database")
                           .arg(rows)
                           .arg(session.taken_count()));
        escalate(ExitFailure);
    }
    if (!csvFile.isEmpty()) {
        escalate(CsvOutput::write(database, database.current_table_name(),
                                  SampleDatabase::runExportDecimals, csvFile));
    }
    return code;
}
