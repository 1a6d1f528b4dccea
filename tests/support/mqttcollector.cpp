#include "mqttcollector.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <mosquitto.h>

namespace {

void initialise_library()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

const char *or_null(const QByteArray &bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

struct ParsedSamples
{
    QString run;
    QStringList columns;
    QList<qint64> ids;
    QList<MqttCollector::SampleRow> rows;
};

// Reads a samples message on its own terms, independent of the code that writes it.
bool parse_samples(const QByteArray &payload, ParsedSamples &parsed, QString &problem)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (!document.isObject()) {
        problem = QStringLiteral("not a JSON object (%1)").arg(error.errorString());
        return false;
    }
    const QJsonObject object = document.object();
    if (!object.value(QStringLiteral("run")).isString()) {
        problem = QStringLiteral("no \"run\" name");
        return false;
    }
    parsed.run = object.value(QStringLiteral("run")).toString();
    const QJsonArray columns = object.value(QStringLiteral("columns")).toArray();
    for (const QJsonValue &column : columns) {
        parsed.columns << column.toString();
    }
    if (parsed.columns.size() < 3 || parsed.columns[0] != QLatin1String("id") ||
        parsed.columns[1] != QLatin1String("time")) {
        problem = QStringLiteral("columns are not id, time, voltages: %1")
                      .arg(parsed.columns.join(QLatin1Char(',')));
        return false;
    }
    if (!object.value(QStringLiteral("rows")).isArray()) {
        problem = QStringLiteral("no \"rows\" array");
        return false;
    }
    for (const QJsonValue &rowValue : object.value(QStringLiteral("rows")).toArray()) {
        const QJsonArray row = rowValue.toArray();
        if (row.size() != parsed.columns.size()) {
            problem = QStringLiteral("a row of %1 fields under %2 columns")
                          .arg(row.size())
                          .arg(parsed.columns.size());
            return false;
        }
        for (const QJsonValue &field : row) {
            if (!field.isDouble()) {
                problem = QStringLiteral("a field that is not a number in a row");
                return false;
            }
        }
        const double id = row[0].toDouble();
        if (id != double(qint64(id))) {
            problem = QStringLiteral("an id that is no integer: %1").arg(id);
            return false;
        }
        MqttCollector::SampleRow sample;
        sample.time = row[1].toDouble();
        for (int i = 2; i < row.size(); ++i) {
            sample.values << row[i].toDouble();
        }
        parsed.ids << qint64(id);
        parsed.rows << sample;
    }
    return true;
}

} // namespace

MqttCollector::MqttCollector(Options options)
    : options_(std::move(options))
{
    initialise_library();
}

MqttCollector::~MqttCollector()
{
    if (client_ == nullptr) {
        return;
    }
    mosquitto_disconnect(client_);
    if (loopStarted_) {
        mosquitto_loop_stop(client_, false);
    }
    mosquitto_destroy(client_);
}

bool MqttCollector::start(int timeoutMs)
{
    const QByteArray id = options_.clientId.toUtf8();
    client_ = mosquitto_new(id.constData(), false, this);
    if (client_ == nullptr) {
        error_ = QStringLiteral("mosquitto_new failed");
        return false;
    }
    mosquitto_connect_callback_set(client_, &MqttCollector::on_connect);
    mosquitto_disconnect_callback_set(client_, &MqttCollector::on_disconnect);
    mosquitto_subscribe_callback_set(client_, &MqttCollector::on_subscribe);
    mosquitto_message_callback_set(client_, &MqttCollector::on_message);
    // Back within a second or two of the broker's restart, without piling up attempts.
    mosquitto_reconnect_delay_set(client_, 1, 2, false);
    if (!options_.user.isEmpty()) {
        const QByteArray user = options_.user.toUtf8();
        const QByteArray password = options_.password.toUtf8();
        mosquitto_username_pw_set(client_, user.constData(),
                                  options_.password.isEmpty() ? nullptr : password.constData());
    }
    if (!options_.caFile.isEmpty()) {
        const QByteArray ca = options_.caFile.toLocal8Bit();
        const QByteArray cert = options_.certFile.toLocal8Bit();
        const QByteArray key = options_.keyFile.toLocal8Bit();
        const int result = mosquitto_tls_set(client_, ca.constData(), nullptr, or_null(cert),
                                             or_null(key), nullptr);
        if (result != MOSQ_ERR_SUCCESS) {
            error_ = QStringLiteral("TLS set-up: %1").arg(mosquitto_strerror(result));
            return false;
        }
    }
    const QByteArray host = options_.host.toUtf8();
    int result = mosquitto_connect_async(client_, host.constData(), options_.port, 30);
    if (result != MOSQ_ERR_SUCCESS) {
        std::lock_guard lock(mutex_);
        error_ = QStringLiteral("connect: %1").arg(mosquitto_strerror(result));
        // The network thread retries.
    }
    result = mosquitto_loop_start(client_);
    if (result != MOSQ_ERR_SUCCESS) {
        std::lock_guard lock(mutex_);
        error_ = QStringLiteral("loop start: %1").arg(mosquitto_strerror(result));
        return false;
    }
    loopStarted_ = true;
    const bool subscribed = wait_for(
        [this] {
            std::lock_guard lock(mutex_);
            return subscribed_;
        },
        timeoutMs);
    if (!subscribed) {
        std::lock_guard lock(mutex_);
        error_ = QStringLiteral("no subscription granted within %1 ms; last problem: %2")
                     .arg(timeoutMs)
                     .arg(error_);
    }
    return subscribed;
}

QString MqttCollector::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

bool MqttCollector::connected() const
{
    std::lock_guard lock(mutex_);
    return connected_;
}

void MqttCollector::on_connect(mosquitto *client, void *self, int result)
{
    auto *collector = static_cast<MqttCollector *>(self);
    {
        std::lock_guard lock(collector->mutex_);
        collector->connected_ = result == 0;
        if (result != 0) {
            collector->error_ = QStringLiteral("refused: %1").arg(mosquitto_connack_string(result));
            return;
        }
    }
    // Again after each reconnect: harmless when the broker kept the session.
    const QByteArray pattern = (collector->options_.prefix + QStringLiteral("/#")).toUtf8();
    mosquitto_subscribe(client, nullptr, pattern.constData(), 1);
}

void MqttCollector::on_disconnect(mosquitto *, void *self, int result)
{
    auto *collector = static_cast<MqttCollector *>(self);
    std::lock_guard lock(collector->mutex_);
    collector->connected_ = false;
    if (result != 0) {
        collector->error_ = QStringLiteral("disconnected: %1").arg(mosquitto_strerror(result));
    }
}

void MqttCollector::on_subscribe(mosquitto *, void *self, int, int count, const int *granted)
{
    auto *collector = static_cast<MqttCollector *>(self);
    std::lock_guard lock(collector->mutex_);
    if (count == 1 && granted[0] == 1) {
        collector->subscribed_ = true;
    } else {
        collector->error_ = QStringLiteral("subscription not granted at QoS 1");
    }
}

void MqttCollector::on_message(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *collector = static_cast<MqttCollector *>(self);
    Message kept;
    kept.payload = QByteArray(static_cast<const char *>(message->payload), message->payloadlen);
    kept.retained = message->retain;
    const QString topic = QString::fromUtf8(message->topic);
    std::lock_guard lock(collector->mutex_);
    collector->messages_[topic].append(kept);
}

QList<MqttCollector::Message> MqttCollector::messages(const QString &topic) const
{
    std::lock_guard lock(mutex_);
    return messages_.value(topic);
}

QByteArray MqttCollector::last_payload(const QString &topic) const
{
    std::lock_guard lock(mutex_);
    const auto it = messages_.constFind(topic);
    return it == messages_.cend() || it->isEmpty() ? QByteArray() : it->last().payload;
}

int MqttCollector::message_count(const QString &topic) const
{
    std::lock_guard lock(mutex_);
    return int(messages_.value(topic).size());
}

std::map<qint64, MqttCollector::SampleRow> MqttCollector::rows_by_id(QStringList *problems) const
{
    const QList<Message> samples = messages(topic(QStringLiteral("samples")));
    std::map<qint64, SampleRow> rows;
    const auto complain = [problems](const QString &problem) {
        if (problems != nullptr) {
            problems->append(problem);
        }
    };
    for (int m = 0; m < samples.size(); ++m) {
        ParsedSamples parsed;
        QString problem;
        if (!parse_samples(samples[m].payload, parsed, problem)) {
            complain(QStringLiteral("samples message %1: %2").arg(m).arg(problem));
            continue;
        }
        for (int i = 0; i < parsed.ids.size(); ++i) {
            if (i > 0 && parsed.ids[i] <= parsed.ids[i - 1]) {
                complain(QStringLiteral("samples message %1: id %2 after id %3")
                             .arg(m)
                             .arg(parsed.ids[i])
                             .arg(parsed.ids[i - 1]));
            }
            const auto [it, inserted] = rows.emplace(parsed.ids[i], parsed.rows[i]);
            if (!inserted && !(it->second == parsed.rows[i])) {
                complain(QStringLiteral("samples message %1: id %2 differs from an earlier copy")
                             .arg(m)
                             .arg(parsed.ids[i]));
            }
        }
    }
    return rows;
}

QStringList MqttCollector::sample_columns() const
{
    ParsedSamples parsed;
    QString problem;
    parse_samples(last_payload(topic(QStringLiteral("samples"))), parsed, problem);
    return parsed.columns;
}

QString MqttCollector::sample_run() const
{
    ParsedSamples parsed;
    QString problem;
    parse_samples(last_payload(topic(QStringLiteral("samples"))), parsed, problem);
    return parsed.run;
}

bool MqttCollector::wait_for(const std::function<bool()> &predicate, int timeoutMs)
{
    return QTest::qWaitFor(predicate, timeoutMs);
}
