#include "runpublishing.h"

#include "brokercheck.h"
#include "console.h"
#include "exitcode.h"
#include "logmanager.h"
#include "mqttpublisher.h"

#include <algorithm>

namespace {
constexpr std::chrono::milliseconds quietWait{1000};
} // namespace

RunPublishing::RunPublishing(const PublishOptions &options, const QString &databaseFile)
    : options_(options)
    , databaseFile_(databaseFile)
{}

RunPublishing::~RunPublishing() = default;

std::optional<int> RunPublishing::check_broker()
{
    if (!options_.broker()) {
        return std::nullopt;
    }
    const Status answer = ::check_broker(*options_.broker(), checkLimit);
    if (answer.is(Status::Kind::Invalid)) {
        Console::error(answer.message());
        return ExitBadArguments;
    }
    // Only now: libmosquitto sets up TLS on a process's first TLS connection, and two first
    // connections at once (the check's and the publisher's) would both do it.
    publisher_ = std::make_unique<MqttPublisher>(*options_.broker(), databaseFile_);
    if (!answer.ok()) {
        const QString line = answer.message() + QStringLiteral("; the runs are recorded and "
                                                               "published once it can be reached");
        Console::note(line);
        write_log(line);
    }
    return std::nullopt;
}

RunSink *RunPublishing::sink() const
{
    return publisher_.get();
}

int RunPublishing::conclude()
{
    if (!publisher_) {
        return ExitOk;
    }
    // The last rows of a run usually go within a moment; only a longer wait is announced.
    const std::chrono::milliseconds limit = std::chrono::seconds(options_.wait_seconds());
    const std::chrono::milliseconds moment = std::min(limit, quietWait);
    bool complete = publisher_->wait_published(moment);
    if (!complete && limit > moment) {
        Console::note(QStringLiteral("waiting up to %1 s for the broker to take %2 rows")
                          .arg(options_.wait_seconds())
                          .arg(publisher_->backlog_rows()));
        complete = publisher_->wait_published(limit - moment);
    }
    qint64 published = 0;
    qint64 committed = 0;
    for (const MqttPublisher::RunProgress &run : publisher_->runs()) {
        published += run.published;
        committed += run.committed;
    }
    const QString line = QStringLiteral("Published: %1 of %2 rows to %3")
                             .arg(published)
                             .arg(committed)
                             .arg(publisher_->settings().address.shown());
    Console::out(line);
    write_log(line);
    if (!complete) {
        const QString problem = publisher_->last_problem();
        Console::error(
            QStringLiteral("the broker did not take every row within %1 s%2; they are "
                           "kept in the run table")
                .arg(options_.wait_seconds())
                .arg(problem.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(problem)));
        return ExitUnpublished;
    }
    return ExitOk;
}
