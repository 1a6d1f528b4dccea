#include "recordcommand.h"

#include "commandparser.h"
#include "console.h"
#include "csvoutput.h"
#include "exitcode.h"
#include "instrumentlink.h"
#include "recordingsession.h"
#include "recordoptions.h"
#include "runtablename.h"
#include "sampledatabase.h"
#include "scopedlogmanager.h"
#include "serialmanager.h"
#include "stopsignals.h"

#include <QDateTime>
#include <QEventLoop>

int RecordCommand::run(const QStringList &arguments)
{
    CommandParser parser(
        QStringLiteral("record (--port P | --simulate) --mode single|multi --rate N --time S "
                       "[--vout V | --v1 A --v2 B --v3 C --v4 D] [--db FILE] [--csv FILE]"),
        QStringLiteral("Records one run into a new run table, until the instrument ends it. "
                       "SIGINT or SIGTERM stops the run early."));
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
    SampleDatabase database(options.database_file());
    if (!database.open_database()) {
        Console::error(QStringLiteral("cannot open the database %1: %2")
                           .arg(options.database_file(), database.open_error()));
        return ExitFailure;
    }
    InstrumentLink link;
    if (!link.open(options.instrument())) {
        Console::error(link.error());
        return ExitFailure;
    }
    const StatusReply status = link.query_status();
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
    if (stopSignals.requested()) {
        Console::error(QStringLiteral("interrupted before the run started; nothing recorded"));
        return ExitIncomplete;
    }

    RecordingSession session(&link, &database, options);
    const QString table = new_run_table_name(database, QDateTime::currentDateTime());
    if (!session.start(table)) {
        Console::error(QStringLiteral("Data table creation failed: %1: %2")
                           .arg(table, database.create_error()));
        return ExitFailure;
    }
    Console::out(table);
    QEventLoop loop;
    QObject::connect(&stopSignals, &StopSignals::stop_requested, &session,
                     &RecordingSession::request_stop);
    QObject::connect(&session, &RecordingSession::finished, &loop, &QEventLoop::quit);
    loop.exec();
    if (session.outcome() == RecordingSession::Outcome::Completed && link.serial()->is_open()) {
        // As the window does after every run; the answer is only logged.
        link.query_status();
    }
    return conclude(session, database, options);
}

int RecordCommand::conclude(const RecordingSession &session, SampleDatabase &database,
                            const RecordOptions &options)
{
    const QString stored =
        QStringLiteral("%1 samples stored in %2").arg(session.stored_count()).arg(session.table());
    int code = ExitOk;
    // A later problem does not hide an earlier one: the first exit code sticks.
    const auto escalate = [&code](int problem) {
        if (code == ExitOk)
            code = problem;
    };
    switch (session.outcome()) {
    case RecordingSession::Outcome::PortLost:
        Console::error(QStringLiteral("serial port lost during the run; ") + stored);
        code = ExitPortLost;
        break;
    case RecordingSession::Outcome::StopUnconfirmed:
        Console::error(QStringLiteral("the instrument did not confirm the stop within %1 s; ")
                           .arg(RunSession::stopConfirmLimit.count() / 1000) +
                       stored);
        code = ExitIncomplete;
        break;
    default:
        Console::note(QStringLiteral("Recorded: ") + stored + QStringLiteral(" of ") +
                      options.database_file());
        break;
    }
    if (session.dropped_count() > 0) {
        Console::error(QStringLiteral("%1 frames or samples were dropped because a queue was full")
                           .arg(session.dropped_count()));
        escalate(ExitIncomplete);
    }
    const qint64 rows = session.committed_count();
    if (rows != session.stored_count()) {
        Console::error(QStringLiteral("only %1 of %2 samples reached the database")
                           .arg(rows)
                           .arg(session.stored_count()));
        escalate(ExitFailure);
    }
    if (!options.csv_file().isEmpty()) {
        escalate(CsvOutput::write(database, database.current_table_name(),
                                  SampleDatabase::runExportDecimals, options.csv_file()));
    }
    return code;
}
