#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <mutex>

struct mosquitto;
struct mosquitto_message;

// A real subscriber to everything under one topic prefix, as a consumer of the published runs
// would be: libmosquitto on its own network thread, a persistent session (fixed client id,
// no clean session) subscribed at QoS 1, so the broker keeps its messages while it is away or
// restarting; it reconnects by itself. Keeps every message it receives, per topic, in order.
class MqttCollector
{
public:
    struct Options
    {
        QString host = QStringLiteral("127.0.0.1");
        int port = 0;
        QString prefix; // subscribes PREFIX/#
        QString clientId = QStringLiteral("telvane-test-collector");
        QString user; // empty: none
        QString password;
        QString caFile; // non-empty: TLS
        QString certFile;
        QString keyFile;
    };
    struct Message
    {
        QByteArray payload;
        bool retained = false;
    };
    // A row of a samples message.
    struct SampleRow
    {
        double time = 0;
        QList<double> values; // one per voltage column
        bool operator==(const SampleRow &other) const
        {
            return time == other.time && values == other.values;
        }
    };

    explicit MqttCollector(Options options);
    ~MqttCollector();
    MqttCollector(const MqttCollector &) = delete;
    MqttCollector &operator=(const MqttCollector &) = delete;

    // Connects and waits until the subscription is granted; false, with error(), when that
    // does not happen within timeoutMs. It keeps reconnecting afterwards by itself.
    bool start(int timeoutMs = 20000);
    QString error() const;
    bool connected() const;

    QString prefix() const { return options_.prefix; }
    // PREFIX/leaf, e.g. topic("samples").
    QString topic(const QString &leaf) const { return options_.prefix + QLatin1Char('/') + leaf; }

    // Every message received on topic (the full name), in arrival order.
    QList<Message> messages(const QString &topic) const;
    // The last payload received on topic; empty when none came.
    QByteArray last_payload(const QString &topic) const;
    int message_count(const QString &topic) const;

    // Every row of every message on PREFIX/samples, by id, each id once. Anything a consumer
    // could not take is added to problems: a message that is not a samples message (JSON
    // {"run", "columns": ["id","time",...], "rows": [[id, time, values...], ...]}), ids not
    // rising within a message, one id with different contents in two messages.
    std::map<qint64, SampleRow> rows_by_id(QStringList *problems = nullptr) const;
    // The columns and run name of the last samples message; empty before one came.
    QStringList sample_columns() const;
    QString sample_run() const;

    // Keeps the test's event loop running until predicate holds or timeoutMs has passed;
    // true when it held.
    static bool wait_for(const std::function<bool()> &predicate, int timeoutMs);

private:
    static void on_connect(mosquitto *client, void *self, int result);
    static void on_disconnect(mosquitto *client, void *self, int result);
    static void on_subscribe(mosquitto *client, void *self, int id, int count, const int *granted);
    static void on_message(mosquitto *client, void *self, const mosquitto_message *message);

    const Options options_;
    mosquitto *client_ = nullptr; // owned: destroyed in the destructor after its thread ends
    bool loopStarted_ = false;

    mutable std::mutex mutex_; // guards everything below (the network thread writes it)
    bool connected_ = false;
    bool subscribed_ = false;
    QString error_;
    QHash<QString, QList<Message>> messages_;
};
