#include "mqttwatcher.h"

#include "mosquittoclient.h"

#include <QList>

#include <mosquitto.h>

#include <vector>

namespace {
constexpr int keepAliveSeconds = 30;
constexpr int qos = 1;
} // namespace

MqttWatcher::MqttWatcher(BrokerSettings settings, QObject *parent)
    : QObject(parent)
    , settings_(std::move(settings))
{}

MqttWatcher::~MqttWatcher()
{
    stop();
}

Status MqttWatcher::start()
{
    stop();
    {
        const QMutexLocker lock(&mutex_);
        samplesRun_.clear();
        lastId_ = 0;
        problem_.clear();
    }
    // A clean session: a watcher never takes over another's session.
    client_ = std::make_unique<MosquittoClient>(QStringLiteral("telvane-watch"), this);
    if (const Status configured = client_->configure(settings_); !configured.ok()) {
        client_.reset();
        return configured;
    }
    mosquitto *client = client_->handle();
    mosquitto_connect_callback_set(client, &MqttWatcher::on_connect);
    mosquitto_disconnect_callback_set(client, &MqttWatcher::on_disconnect);
    mosquitto_message_callback_set(client, &MqttWatcher::on_message);
    mosquitto_subscribe_callback_set(client, &MqttWatcher::on_subscribe);
    mosquitto_reconnect_delay_set(client, 1, 10, true);
    const BrokerAddress &address = settings_.address;
    set_link(Link::Connecting, QString());
    const QByteArray host = address.host.toUtf8();
    // A broker not there yet is tried again by libmosquitto's thread.
    if (const int code =
            mosquitto_connect_async(client, host.constData(), address.port, keepAliveSeconds);
        code != MOSQ_ERR_SUCCESS)
        set_link(Link::Connecting, MosquittoClient::error_text(code));
    if (const int code = mosquitto_loop_start(client); code != MOSQ_ERR_SUCCESS) {
        const QString why = MosquittoClient::error_text(code);
        stop();
        return Status::invalid(QStringLiteral("the MQTT client cannot run: %1").arg(why));
    }
    looping_ = true;
    return Status::success();
}

void MqttWatcher::stop()
{
    if (!client_)
        return;
    mosquitto_disconnect(client_->handle());
    if (looping_)
        mosquitto_loop_stop(client_->handle(), false);
    looping_ = false;
    client_.reset();
    set_link(Link::Offline, QString());
}

MqttWatcher::Link MqttWatcher::link() const
{
    const QMutexLocker lock(&mutex_);
    return link_;
}

QString MqttWatcher::last_problem() const
{
    const QMutexLocker lock(&mutex_);
    return problem_;
}

void MqttWatcher::set_link(Link link, const QString &problem)
{
    {
        const QMutexLocker lock(&mutex_);
        if (link_ == link && problem.isEmpty())
            return;
        link_ = link;
        if (!problem.isEmpty())
            problem_ = problem;
    }
    emit link_changed(link, problem);
}

void MqttWatcher::on_connect(mosquitto *client, void *self, int code)
{
    auto *watcher = static_cast<MqttWatcher *>(self);
    if (code != 0) {
        watcher->set_link(Link::Connecting, MosquittoClient::refusal_text(code));
        return;
    }
    // Every connect subscribes again: the session is a clean one. Online once the broker
    // confirms (on_subscribe), so nothing published after that is missed.
    const BrokerAddress &address = watcher->settings_.address;
    QList<QByteArray> topics;
    for (const QString &topic :
         {address.state_topic(), address.run_topic(), address.samples_topic(),
          address.marks_topic(), address.gaps_topic()})
        topics.append(topic.toUtf8());
    std::vector<char *> names;
    for (QByteArray &topic : topics)
        names.push_back(topic.data());
    if (const int rc = mosquitto_subscribe_multiple(client, nullptr, int(names.size()),
                                                    names.data(), qos, 0, nullptr);
        rc != MOSQ_ERR_SUCCESS)
        watcher->set_link(
            Link::Connecting,
            QStringLiteral("the subscription failed: %1").arg(MosquittoClient::error_text(rc)));
}

void MqttWatcher::on_subscribe(mosquitto *, void *self, int, int count, const int *granted)
{
    auto *watcher = static_cast<MqttWatcher *>(self);
    for (int i = 0; i < count; ++i) {
        if (granted[i] > qos) { // 0x80: the broker refused the topic
            watcher->set_link(Link::Connecting,
                              QStringLiteral("the broker refused the subscription"));
            return;
        }
    }
    watcher->set_link(Link::Online, QString());
}

void MqttWatcher::on_disconnect(mosquitto *, void *self, int code)
{
    auto *watcher = static_cast<MqttWatcher *>(self);
    // 0: asked for by stop(); anything else is a loss libmosquitto reconnects after.
    if (code != 0)
        watcher->set_link(
            Link::Connecting,
            QStringLiteral("the connection was lost: %1").arg(MosquittoClient::error_text(code)));
}

void MqttWatcher::on_message(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *watcher = static_cast<MqttWatcher *>(self);
    watcher->take_message(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char *>(message->payload), message->payloadlen));
}

void MqttWatcher::take_message(const QString &topic, const QByteArray &payload)
{
    const BrokerAddress &address = settings_.address;
    if (topic == address.samples_topic()) {
        take_samples(payload);
        return;
    }
    if (topic == address.state_topic()) {
        emit station_state(QString::fromUtf8(payload).trimmed());
        return;
    }
    const Result<QJsonObject> object = run_messages::read_object(payload);
    if (!object.ok()) {
        emit message_refused(
            QStringLiteral("a message on %1: %2").arg(topic, object.status().message()));
        return;
    }
    const QString run = object->value(QStringLiteral("run")).toString();
    if (topic == address.run_topic())
        emit run_facts(run, *object);
    else if (topic == address.marks_topic())
        emit mark_received(run, run_messages::read_mark(*object));
    else if (topic == address.gaps_topic())
        emit gap_received(run, run_messages::read_gap(*object));
}

void MqttWatcher::take_samples(const QByteArray &payload)
{
    const Result<run_messages::Samples> read = run_messages::read_samples(payload);
    if (!read.ok()) {
        emit message_refused(QStringLiteral("a samples message: %1").arg(read.status().message()));
        return;
    }
    const run_messages::Samples &samples = *read;
    run_messages::Samples fresh;
    fresh.run = samples.run;
    fresh.columns = samples.columns;
    fresh.values.resize(samples.values.size());
    QList<std::pair<qint64, qint64>> skipped; // first id, count
    {
        const QMutexLocker lock(&mutex_);
        if (samples.run != samplesRun_) {
            samplesRun_ = samples.run;
            lastId_ = 0;
        }
        for (qsizetype row = 0; row < samples.ids.size(); ++row) {
            const qint64 id = samples.ids.at(row);
            if (id <= lastId_)
                continue; // delivered before
            if (id > lastId_ + 1)
                skipped.append({lastId_ + 1, id - lastId_ - 1});
            lastId_ = id;
            fresh.ids.append(id);
            fresh.times.append(samples.times.at(row));
            for (qsizetype column = 0; column < samples.values.size(); ++column)
                fresh.values[column].append(samples.values.at(column).at(row));
        }
    }
    // The rows first: a run's first rows make its table, which the ids it lacks belong to.
    if (!fresh.ids.isEmpty())
        emit samples_received(fresh);
    for (const auto &[first, count] : skipped)
        emit rows_missing(fresh.run, first, count);
}
