#pragma once

#include "brokersettings.h"
#include "rungap.h"
#include "runmark.h"
#include "runmessages.h"
#include "status.h"

#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>

#include <memory>

class MosquittoClient;
struct mosquitto;
struct mosquitto_message;

// Watches another station's runs on an MQTT broker: subscribes to its state, run, samples,
// marks and gaps (QoS 1) on libmosquitto's own thread, which connects and reconnects by
// itself, and hands what arrives to the owner's thread through queued signals. Rows already
// handed over are dropped (QoS 1 may deliver a message twice); ids skipped are reported.
class MqttWatcher : public QObject
{
    Q_OBJECT

public:
    // Online: connected and subscribed; Connecting: on the way there, or lost and trying
    // again; Offline: not watching.
    enum class Link { Connecting, Online, Offline };
    Q_ENUM(Link)

    explicit MqttWatcher(BrokerSettings settings, QObject *parent = nullptr);
    // Disconnects and waits for libmosquitto's thread: no signal comes after.
    ~MqttWatcher() override;
    MqttWatcher(const MqttWatcher &) = delete;
    MqttWatcher &operator=(const MqttWatcher &) = delete;

    // Starts connecting on libmosquitto's thread; Invalid, saying why, when the client cannot
    // be set up (a TLS file libmosquitto refuses). A broker that cannot be reached yet is no
    // failure: it is tried again until stop().
    Status start();
    // Disconnects; no signal comes after it returns.
    void stop();

    const BrokerSettings &settings() const { return settings_; }
    Link link() const;
    // The connection's last complaint; empty while there was none.
    QString last_problem() const;

signals:
    // The broker connection: its state and, when it failed or went, why.
    void link_changed(MqttWatcher::Link link, const QString &problem);
    // The station's own state as it publishes it: "online" or "offline".
    void station_state(const QString &state);
    // The run's facts (as a sidecar's "facts"), with "run" its name.
    void run_facts(const QString &run, const QJsonObject &facts);
    // Rows not handed over before, in id order.
    void samples_received(const run_messages::Samples &samples);
    // Ids [firstId, firstId + count) of run never came before later ones did; told after the
    // rows that showed it.
    void rows_missing(const QString &run, qint64 firstId, qint64 count);
    void mark_received(const QString &run, const RunMark &mark);
    void gap_received(const QString &run, const RunGap &gap);
    // A message that could not be read: what and why.
    void message_refused(const QString &reason);

private:
    static void on_connect(mosquitto *client, void *self, int code);
    static void on_disconnect(mosquitto *client, void *self, int code);
    static void on_subscribe(mosquitto *client, void *self, int mid, int count, const int *granted);
    static void on_message(mosquitto *client, void *self, const mosquitto_message *message);

    void set_link(Link link, const QString &problem);
    void take_message(const QString &topic, const QByteArray &payload);
    void take_samples(const QByteArray &payload);

    const BrokerSettings settings_;
    std::unique_ptr<MosquittoClient> client_; // made by start(), gone after stop()
    bool looping_ = false;                    // libmosquitto's thread runs; owner's thread only

    mutable QMutex mutex_;
    Link link_ = Link::Offline; // guarded by mutex_
    QString problem_;           // guarded by mutex_
    // The run whose rows came last and its highest id handed over; guarded by mutex_ (written
    // on libmosquitto's thread, reset by start()).
    QString samplesRun_;
    qint64 lastId_ = 0;
};
