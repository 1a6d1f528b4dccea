#include "recordcommand.h"

#include "commandparser.h"
#include "console.h"
#include "exitcode.h"
#include "instrumentlink.h"
#include "recordoptions.h"
#include "runchain.h"
#include "runmirroring.h"
#include "runpublishing.h"
#include "sampledatabase.h"
#include "scopedlogmanager.h"
#include "serialmanager.h"
#include "stopsignals.h"

int RecordCommand::run(const QStringList &arguments)
{
    CommandParser parser(
        QStringLiteral(
            "record (--port P | --simulate) --mode single|multi --rate N --time S "
            "[--vout V | --v1 A --v2 B --v3 C --v4 D] [--db FILE] [--csv FILE] "
            "[--repeat N|forever] [--until TIME] [--reconnect] [--publish URL [--publish-wait S] "
            "[--mqtt-ca FILE [--mqtt-cert FILE --mqtt-key FILE]] "
            "[--mqtt-password-file FILE]] [--mirror URI [--mirror-wait S] [--station NAME]]"),
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
    // Before the instrument is touched: a broker or server that refuses us is a mistake in the
    // arguments.
    RunPublishing publishing(options.publish(), options.database_file());
    if (const auto exitCode = publishing.check_broker()) {
        return *exitCode;
    }
    RunMirroring mirroring(options.mirror(), options.database_file());
    if (const auto exitCode = mirroring.check_server()) {
        return *exitCode;
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

    QList<RunSink *> followers;
    for (RunSink *sink : {publishing.sink(), mirroring.sink()}) {
        if (sink != nullptr) {
            followers.append(sink);
        }
    }
    RunChain chain(&link, &database, options, &stopSignals, status, followers);
    const int recorded = chain.run();
    const int published = publishing.conclude();
    return worse_exit_code(worse_exit_code(recorded, published), mirroring.conclude());
}
