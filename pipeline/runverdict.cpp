#include "runverdict.h"

#include "runfacts.h"

#include <algorithm>

RunReport RunVerdict::judge(RunReport report)
{
    using Kind = RunReport::ProblemKind;
    using Severity = RunReport::Severity;
    report.factsOutcome = facts_outcome(report.outcome, report.stopAsked);
    report.problems.clear();
    const auto add = [&report](Kind kind, Severity severity, const QString &text) {
        report.problems.append({kind, severity, text});
    };
    const qint64 rows = report.committedCount;
    const QString stored = QStringLiteral("%1 samples stored in %2").arg(rows).arg(report.table);
    if (report.overran) {
        add(Kind::Overran, Severity::Warning,
            QStringLiteral("the instrument did not end the run within %1 s after its "
                           "collection time; it was asked to stop")
                .arg(report.stopWaitSeconds));
    }
    switch (report.outcome) {
    case RunOutcome::PortLost:
        add(Kind::PortLost, Severity::Error,
            QStringLiteral("serial port lost during the run; ") + stored);
        break;
    case RunOutcome::StopUnconfirmed:
        add(Kind::StopUnconfirmed, Severity::Warning,
            QStringLiteral("the instrument did not confirm the stop within %1 s; ")
                    .arg(report.stopWaitSeconds) +
                stored);
        break;
    case RunOutcome::StorageFailed:
        if (report.tableLost) {
            add(Kind::TableLost, Severity::Error,
                QStringLiteral("storing the samples failed (%1), so the run was stopped; the "
                               "table %2 is gone from the database and none of the %3 samples "
                               "are kept")
                    .arg(report.storageError, report.table)
                    .arg(report.takenCount));
        } else {
            add(Kind::StorageFailed, Severity::Error,
                QStringLiteral("storing the samples failed (%1), so the run was stopped; only "
                               "%2 of %3 samples reached the database in %4")
                    .arg(report.storageError)
                    .arg(rows)
                    .arg(report.takenCount)
                    .arg(report.table));
        }
        break;
    case RunOutcome::Completed:
    case RunOutcome::EndedByOwner:
    case RunOutcome::None:
        if (report.overran) {
            add(Kind::StoppedLate, Severity::Warning, QStringLiteral("stopped: ") + stored);
        } else if (report.stopBy == RunReport::StopCause::None &&
                   rows < report.fewestCompleteSamples) {
            // The instrument ended the run early, or frames of it were damaged on the way; a
            // run stopped early is short on purpose.
            add(Kind::RunShort, Severity::Warning,
                QStringLiteral("incomplete: %1 of %2 samples stored in %3")
                    .arg(rows)
                    .arg(report.expectedSamples)
                    .arg(report.table));
        }
        break;
    }
    if (report.droppedCount > 0) {
        add(Kind::SamplesDropped, Severity::Warning,
            QStringLiteral("%1 frames or samples were dropped because a queue was full")
                .arg(report.droppedCount));
    }
    // A storage failure tells its own shortfall.
    if (report.outcome != RunOutcome::StorageFailed && rows < report.takenCount) {
        add(Kind::RowsShort, Severity::Error,
            QStringLiteral("only %1 of %2 samples reached the database")
                .arg(rows)
                .arg(report.takenCount));
    }
    return report;
}

QString RunVerdict::facts_outcome(RunOutcome outcome, bool stopAsked)
{
    switch (outcome) {
    case RunOutcome::Completed:
        return stopAsked ? RunFacts::stopped : RunFacts::completed;
    case RunOutcome::StopUnconfirmed:
        return RunFacts::stopNotConfirmed;
    case RunOutcome::PortLost:
        return RunFacts::portLost;
    case RunOutcome::StorageFailed:
        return RunFacts::storageFailed;
    case RunOutcome::EndedByOwner:
    case RunOutcome::None:
        break;
    }
    return RunFacts::stopped;
}
