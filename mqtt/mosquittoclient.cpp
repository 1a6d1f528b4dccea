#include "mosquittoclient.h"

#include <QCoreApplication>

#include <mosquitto.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <unistd.h>

namespace {

void set_up_library()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QByteArray unique_id(const QString &prefix)
{
    static std::atomic<int> made{0};
    char host[64] = {};
    gethostname(host, sizeof host - 1);
    // Brokers cut ids at 23 bytes only under MQTT 3.1; 3.1.1 brokers take longer ones.
    return QStringLiteral("%1-%2-%3-%4")
        .arg(prefix, QString::fromLocal8Bit(host))
        .arg(QCoreApplication::applicationPid())
        .arg(made.fetch_add(1))
        .toUtf8();
}

} // namespace

void MosquittoClient::Destroyer::operator()(mosquitto *client) const
{
    mosquitto_destroy(client);
}

MosquittoClient::MosquittoClient(const QString &idPrefix, void *userData,
                                 const QString &persistentId)
{
    set_up_library();
    if (persistentId.isEmpty()) {
        handle_.reset(mosquitto_new(unique_id(idPrefix).constData(), true, userData));
    } else {
        handle_.reset(mosquitto_new(persistentId.toUtf8().constData(), false, userData));
    }
    if (!handle_) {
        qFatal("cannot make an MQTT client: out of memory");
    }
    mosquitto_int_option(handle_.get(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
}

MosquittoClient::~MosquittoClient() = default;

Status MosquittoClient::configure(const BrokerSettings &settings, const QString &willTopic,
                                  const QByteArray &willPayload)
{
    mosquitto *client = handle_.get();
    const BrokerAddress &address = settings.address;
    if (!address.user.isEmpty() || settings.password) {
        const QByteArray user = address.user.toUtf8();
        const QByteArray password = settings.password ? settings.password->toUtf8() : QByteArray();
        const int rc =
            mosquitto_username_pw_set(client, user.isEmpty() ? nullptr : user.constData(),
                                      settings.password ? password.constData() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            return Status::invalid(
                QStringLiteral("the user name is refused: %1").arg(error_text(rc)));
        }
    }
    if (address.tls) {
        const QByteArray ca = settings.caFile.toLocal8Bit();
        const QByteArray cert = settings.certFile.toLocal8Bit();
        const QByteArray key = settings.keyFile.toLocal8Bit();
        int rc = MOSQ_ERR_SUCCESS;
        if (ca.isEmpty()) {
            // The system's trusted authorities.
            rc = mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            if (rc == MOSQ_ERR_SUCCESS) {
                rc = mosquitto_tls_set(client, nullptr, "/etc/ssl/certs",
                                       cert.isEmpty() ? nullptr : cert.constData(),
                                       key.isEmpty() ? nullptr : key.constData(), nullptr);
            }
        } else {
            rc = mosquitto_tls_set(client, ca.constData(), nullptr,
                                   cert.isEmpty() ? nullptr : cert.constData(),
                                   key.isEmpty() ? nullptr : key.constData(), nullptr);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            return Status::invalid(
                QStringLiteral("the TLS files are refused: %1").arg(error_text(rc)));
        }
    }
    if (!willTopic.isEmpty()) {
        const QByteArray topic = willTopic.toUtf8();
        const int rc = mosquitto_will_set(client, topic.constData(), int(willPayload.size()),
                                          willPayload.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            return Status::invalid(
                QStringLiteral("the last will is refused: %1").arg(error_text(rc)));
        }
    }
    return Status::success();
}

QString MosquittoClient::error_text(int code)
{
    if (code == MOSQ_ERR_ERRNO) {
        return QString::fromLocal8Bit(strerror(errno));
    }
    return QString::fromUtf8(mosquitto_strerror(code));
}

QString MosquittoClient::refusal_text(int connackCode)
{
    return QString::fromUtf8(mosquitto_connack_string(connackCode));
}
