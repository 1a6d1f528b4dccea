#include "runmirroring.h"

#include "console.h"
#include "exitcode.h"
#include "logmanager.h"
#include "runmirror.h"
#include "servercheck.h"

#include <algorithm>

namespace {
constexpr std::chrono::milliseconds quietWait{1000};
} // namespace

RunMirroring::RunMirroring(const MirrorOptions &options, const QString &databaseFile)
    : options_(options)
    , databaseFile_(databaseFile)
{}

RunMirroring::~RunMirroring() = default;

std::optional<int> RunMirroring::check_server()
{
    if (!options_.target()) {
        return std::nullopt;
    }
    const Status answer = ::check_server(*options_.target(), checkSeconds);
    if (answer.is(Status::Kind::Invalid)) {
        Console::error(answer.message());
        return ExitBadArguments;
    }
    mirror_ = std::make_unique<RunMirror>(*options_.target(), databaseFile_, options_.station());
    if (!answer.ok()) {
        const QString line = answer.message() + QStringLiteral("; the runs are recorded and "
                                                               "mirrored once it can be reached");
        Console::note(line);
        write_log(line);
    }
    return std::nullopt;
}

RunSink *RunMirroring::sink() const
{
    return mirror_.get();
}

int RunMirroring::conclude()
{
    if (!mirror_) {
        return ExitOk;
    }
    // The last rows of a run usually go within a moment; only a longer wait is announced.
    const std::chrono::milliseconds limit = std::chrono::seconds(options_.wait_seconds());
    const std::chrono::milliseconds moment = std::min(limit, quietWait);
    bool complete = mirror_->wait_mirrored(moment);
    if (!complete && limit > moment) {
        Console::note(QStringLiteral("waiting up to %1 s for the PostgreSQL server to take %2 rows")
                          .arg(options_.wait_seconds())
                          .arg(mirror_->backlog_rows()));
        complete = mirror_->wait_mirrored(limit - moment);
    }
    qint64 mirrored = 0;
    qint64 committed = 0;
    for (const RunMirror::RunProgress &run : mirror_->runs()) {
        mirrored += run.mirrored;
        committed += run.committed;
    }
    const QString line = QStringLiteral("Mirrored: %1 of %2 rows to %3")
                             .arg(mirrored)
                             .arg(committed)
                             .arg(mirror_->target().shown());
    Console::out(line);
    write_log(line);
    if (!complete) {
        const QString problem = mirror_->last_problem();
        Console::error(
            QStringLiteral("the PostgreSQL server did not take every row within %1 s%2; they "
                           "are kept in the run table")
                .arg(options_.wait_seconds())
                .arg(problem.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(problem)));
        return ExitUnpublished;
    }
    return ExitOk;
}
