#include "runconclusion.h"

#include "console.h"
#include "csvoutput.h"
#include "exitcode.h"
#include "recordingsession.h"
#include "recordoptions.h"
#include "runfactstext.h"
#include "sampledatabase.h"

namespace {
using Kind = RunReport::ProblemKind;

// The problems that say how the run itself ended, told before the facts' summary.
bool tells_the_end(Kind kind)
{
    return kind != Kind::SamplesDropped && kind != Kind::RowsShort;
}
} // namespace

int RunConclusion::conclude(const RecordingSession &session, SampleDatabase &database,
                            const RecordOptions &options, const QString &csvFile,
                            const QString &stopCause)
{
    const RunReport &report = session.report();
    for (const Line &line : lines(report, options.database_file(), stopCause,
                                  run_facts_text::summary(session.facts()))) {
        if (line.error)
            Console::error(line.text);
        else
            Console::note(line.text);
    }
    int code = exit_code(report);
    if (!csvFile.isEmpty()) {
        const int written = CsvOutput::write(database, database.current_table_name(),
                                             CsvExporter::Precision::Run, csvFile);
        // A later problem does not hide an earlier one: the first exit code sticks.
        if (code == ExitOk)
            code = written;
    }
    return code;
}

QList<RunConclusion::Line> RunConclusion::lines(const RunReport &report,
                                                const QString &databaseFile,
                                                const QString &stopCause,
                                                const QString &factsSummary)
{
    QList<Line> lines;
    bool endTold = false;
    for (const RunReport::Problem &problem : report.problems) {
        if (tells_the_end(problem.kind)) {
            lines.append({true, problem.text});
            endTold = endTold || problem.kind != Kind::Overran;
        }
    }
    if (!endTold) {
        const QString stored =
            QStringLiteral("%1 samples stored in %2").arg(report.committedCount).arg(report.table);
        if (report.stopBy != RunReport::StopCause::None) {
            // Exit 0 as well: a stop asked for is no fault, but the line says the run is short.
            lines.append({false, QStringLiteral("Recorded: %1 of %2, stopped %3 after %4 s")
                                     .arg(stored, databaseFile, stopCause)
                                     .arg(double(report.elapsedMs) / 1000.0, 0, 'f', 1)});
        } else {
            lines.append({false, QStringLiteral("Recorded: ") + stored + QStringLiteral(" of ") +
                                     databaseFile});
        }
    }
    // What the run's facts now hold, as `info` prints them in full.
    lines.append({false, factsSummary});
    for (const RunReport::Problem &problem : report.problems) {
        if (!tells_the_end(problem.kind))
            lines.append({true, problem.text});
    }
    return lines;
}

int RunConclusion::exit_code(const RunReport &report)
{
    int code = report.has(Kind::Overran) ? ExitIncomplete : ExitOk;
    // How the run ended outweighs its overrun.
    if (report.has(Kind::PortLost)) {
        code = ExitPortLost;
    } else if (report.has_any({Kind::StopUnconfirmed, Kind::RunShort})) {
        code = ExitIncomplete;
    } else if (report.has_any({Kind::StorageFailed, Kind::TableLost})) {
        code = ExitFailure;
    }
    // A later problem does not hide an earlier one: the first exit code sticks.
    if (code == ExitOk && report.has(Kind::SamplesDropped)) {
        code = ExitIncomplete;
    }
    if (code == ExitOk && report.has(Kind::RowsShort)) {
        code = ExitFailure;
    }
    return code;
}
