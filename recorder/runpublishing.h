#pragma once

#include "publishoptions.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class MqttPublisher;
class RunSink;

// record's side of --publish: the broker is asked before the run whether it lets us in, the
// publisher follows every run of the chain, and the end waits for the broker to take the rows
// it has not yet and says how many it did.
class RunPublishing
{
public:
    // How long the broker has to answer before the run.
    static constexpr std::chrono::milliseconds checkLimit{5000};

    RunPublishing(const PublishOptions &options, const QString &databaseFile);
    ~RunPublishing();

    // Asks the broker before the run: an exit code when it refuses our user, password or
    // certificate (the run is not started); nothing when it let us in or cannot be reached
    // now (then the runs are published once it can).
    std::optional<int> check_broker();
    // The sink to add to every run; null when the runs are not published.
    RunSink *sink() const;
    // Waits up to --publish-wait for the rows left, prints "Published: N of M rows to ...";
    // ExitUnpublished when rows are left, ExitOk otherwise (also when not publishing).
    int conclude();

private:
    const PublishOptions &options_;
    std::unique_ptr<MqttPublisher> publisher_;
};
