#pragma once

#include "brokersettings.h"
#include "runsink.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>

// Publishes the runs it follows to an MQTT broker: their facts, every committed row once and
// in order (QoS 1), their marks and gaps, and the station's state ("online", "offline" as its
// retained Last Will). The run table is the queue: the publisher keeps no rows of its own, it
// remembers the last row the broker acknowledged and reads on from the table, so a broker that
// goes away (or a publisher that falls behind) never costs a row and never holds up the run.
// Its RunSink calls come from the run's follower thread and only note what is new; the
// broker connection and the table reads live on the publisher's own thread. It may follow
// several runs one after the other (a chain): each is published in full, in order.
class MqttPublisher : public RunSink
{
public:
    // How the broker answers, for the status bar and the log.
    enum class Link { Connecting, Online, Offline };

    // How far one run got.
    struct RunProgress
    {
        QString run;
        qint64 committed = 0; // rows in the run table so far
        qint64 published = 0; // of those, the rows the broker acknowledged
        bool ended = false;   // the run is over (committed is final)
    };

    // Reads the rows from the run tables of databaseFile (its own read-only connection).
    MqttPublisher(BrokerSettings settings, QString databaseFile);
    // Says "offline" to the broker if it can within a moment; rows still unpublished stay so.
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    const BrokerSettings &settings() const;
    Link link() const;
    // The broker's or the connection's last complaint; empty while there was none.
    QString last_problem() const;
    // Rows committed but not yet acknowledged, over every run followed.
    qint64 backlog_rows() const;
    QList<RunProgress> runs() const;
    // Waits until every row of every ended run is acknowledged, or limit has passed; true
    // when nothing is left. Any thread but the publisher's own.
    bool wait_published(std::chrono::milliseconds limit) const;

    QString sink_name() const override { return QStringLiteral("MQTT publisher"); }
    Status run_started(const QString &table, const RunSettings &settings,
                       const RunFacts &facts) override;
    Status take_batch(const SampleBatch &batch) override;
    Status rows_missed(qint64 firstRow, qint64 count) override;
    Status mark_added(const RunMark &mark) override;
    Status gap_found(const RunGap &gap) override;
    Status run_ended(const RunFacts &facts, const RunReport &report) override;

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};
