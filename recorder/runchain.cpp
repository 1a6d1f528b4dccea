#include "runchain.h"

#include "console.h"
#include "exitcode.h"
#include "instrumentlink.h"
#include "logmanager.h"
#include "portwait.h"
#include "recordingsession.h"
#include "recordoptions.h"
#include "runconclusion.h"
#include "runtablename.h"
#include "sampledatabase.h"
#include "serialmanager.h"
#include "stdinmarks.h"
#include "stopsignals.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

RunChain::RunChain(InstrumentLink *link, SampleDatabase *database, const RecordOptions &options,
                   StopSignals *stopSignals, const StatusReply &status,
                   const QList<RunSink *> &followers)
    : link_(link)
    , database_(database)
    , options_(options)
    , stopSignals_(stopSignals)
    , followers_(followers)
    , csvFiles_(options.csv_file(), options.chain().is_chain())
    , freeSpace_(options.database_file(), options.single_channel(), options.rate())
    , status_(status)
{}

int RunChain::run()
{
    const ChainOptions &chain = options_.chain();
    PortWait reconnector(link_, stopSignals_);
    int worst = ExitOk;
    while (!stopSignals_->requested() && chain.allows_run(runs_, QDateTime::currentDateTime())) {
        if (!link_->serial()->is_open()) {
            // The port went away between two runs.
            if (!chain.reconnect()) {
                Console::error(QStringLiteral("serial port lost between runs"));
                worst = worse_exit_code(worst, ExitPortLost);
                break;
            }
            sinceRunEnd_.invalidate();
            if (!reconnector.wait_for_port(QStringLiteral("between runs"))) {
                break;
            }
            continue;
        }
        if (!room_for_run(runs_ + 1)) {
            worst = worse_exit_code(worst, ExitFailure);
            break;
        }
        const RunResult result = record_run(runs_ + 1);
        worst = worse_exit_code(worst, result.exitCode);
        if (!result.started || result.outOfSpace || stopSignals_->requested() ||
            result.outcome == RunOutcome::StorageFailed) {
            break;
        }
        if (result.outcome == RunOutcome::PortLost) {
            if (!chain.reconnect() || !chain.allows_run(runs_, QDateTime::currentDateTime())) {
                break;
            }
            sinceRunEnd_.invalidate();
            if (!reconnector.wait_for_port(QStringLiteral("during run %1").arg(runs_))) {
                break;
            }
        }
    }
    losses_ = reconnector.losses();
    timeLostMs_ = reconnector.time_lost_ms();
    if (chain.is_chain()) {
        print_summary();
    }
    return worst;
}

RunChain::RunResult RunChain::record_run(int number)
{
    RunResult result;
    RecordingSession session(link_, database_, options_, followers_);
    session.set_instrument_status(status_);
    const QDateTime startTime = QDateTime::currentDateTime();
    if (const Status started = session.start(startTime); !started.ok()) {
        Console::error(QStringLiteral("Data table creation failed: %1: %2")
                           .arg(run_table_base_name(startTime), started.message()));
        result.exitCode = ExitFailure;
        return result;
    }
    result.started = true;
    runs_ = number;
    note_gap(number);
    Console::out(session.table());
    // Each line on standard input marks the run when it arrives.
    const StdinMarks marks([&session](const QString &text) { session.add_mark(text); });
    QEventLoop loop;
    QObject::connect(stopSignals_, &StopSignals::stop_requested, &session,
                     [&session] { session.request_stop(RunReport::StopCause::Signal); });
    QObject::connect(&session, &RecordingSession::finished, &loop, &QEventLoop::quit);
    QTimer spaceCheck;
    spaceCheck.setInterval(FreeSpaceGuard::checkInterval);
    QObject::connect(&spaceCheck, &QTimer::timeout, &session, [&] {
        const qint64 remaining = options_.seconds() - session.elapsed_ms() / 1000;
        const QString shortage =
            freeSpace_.shortage(remaining, QStringLiteral("the rest of run %1").arg(number));
        if (!shortage.isEmpty() && !result.outOfSpace) {
            result.outOfSpace = true;
            Console::error(shortage + QStringLiteral("; the run is stopped"));
            write_log(shortage);
            session.request_stop(RunReport::StopCause::FreeSpace);
        }
    });
    spaceCheck.start();
    loop.exec();
    spaceCheck.stop();
    sinceRunEnd_.start();
    const RunReport &report = session.report();
    if (report.outcome == RunOutcome::Completed && link_->serial()->is_open()) {
        // As the window does after every run; the answer is kept for the next run's facts.
        if (const StatusReply status = link_->query_status(); status.is_valid()) {
            status_ = status;
        }
    }
    QString taken;
    const QString csvFile = options_.csv_file().isEmpty()
                                ? QString()
                                : csvFiles_.file_for_run(number, startTime, &taken);
    if (!taken.isEmpty()) {
        Console::note(QStringLiteral("%1 or a number before it is taken by an existing file; "
                                     "run %2 goes to %3")
                          .arg(taken)
                          .arg(number)
                          .arg(csvFile));
    }
    result.exitCode = RunConclusion::conclude(
        session, *database_, options_, csvFile,
        result.outOfSpace ? QStringLiteral("for want of free space") : RunConclusion::onRequest);
    if (result.outOfSpace) {
        result.exitCode = worse_exit_code(result.exitCode, ExitFailure);
    }
    result.outcome = report.outcome;
    rows_ += report.committedCount;
    return result;
}

bool RunChain::room_for_run(int number) const
{
    const QString shortage =
        freeSpace_.shortage(options_.seconds(), QStringLiteral("run %1").arg(number));
    if (shortage.isEmpty()) {
        return true;
    }
    Console::error(shortage + QStringLiteral("; it is not started"));
    write_log(shortage);
    return false;
}

void RunChain::note_gap(int number)
{
    if (!sinceRunEnd_.isValid()) {
        return;
    }
    const qint64 gapMs = sinceRunEnd_.elapsed();
    shortestGapMs_ = gaps_ == 0 ? gapMs : std::min(shortestGapMs_, gapMs);
    longestGapMs_ = std::max(longestGapMs_, gapMs);
    ++gaps_;
    const QString line = QStringLiteral("gap before run %1: %2 ms").arg(number).arg(gapMs);
    Console::note(line);
    write_log(line);
}

void RunChain::print_summary() const
{
    QString line = QStringLiteral("Chain: %1 %2, %3 samples stored")
                       .arg(runs_)
                       .arg(runs_ == 1 ? QStringLiteral("run") : QStringLiteral("runs"))
                       .arg(rows_);
    if (gaps_ == 1) {
        line += QStringLiteral(", 1 gap of %1 ms").arg(longestGapMs_);
    } else if (gaps_ > 1) {
        line += QStringLiteral(", %1 gaps of %2..%3 ms")
                    .arg(gaps_)
                    .arg(shortestGapMs_)
                    .arg(longestGapMs_);
    } else {
        line += QStringLiteral(", no gaps");
    }
    if (losses_ > 0) {
        line += QStringLiteral(", port lost %1 %2 (%3 s without it)")
                    .arg(losses_)
                    .arg(losses_ == 1 ? QStringLiteral("time") : QStringLiteral("times"))
                    .arg(double(timeLostMs_) / 1000.0, 0, 'f', 1);
    }
    if (stopSignals_->requested()) {
        line += QStringLiteral(", stopped on request");
    }
    Console::note(line);
    write_log(line);
}
