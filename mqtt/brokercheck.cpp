#include "brokercheck.h"

#include "mosquittoclient.h"

#include <mosquitto.h>

namespace {
constexpr int keepAliveSeconds = 10;
} // namespace

Status check_broker(const BrokerSettings &settings, std::chrono::milliseconds limit)
{
    if (const Status files = settings.check_files(); !files.ok()) {
        return files;
    }
    const QString where = settings.address.shown();
    int answer = -1; // the broker's CONNACK code once it came
    MosquittoClient client(QStringLiteral("telvane-check"), &answer);
    if (const Status configured = client.configure(settings); !configured.ok()) {
        return configured;
    }
    mosquitto_connect_callback_set(client.handle(), [](mosquitto *, void *answerOut, int rc) {
        *static_cast<int *>(answerOut) = rc;
    });
    const auto tls_refused = [&where](const QString &detail) {
        return Status::invalid(
            QStringLiteral("the TLS handshake with the broker %1 failed (%2): check --mqtt-ca "
                           "and the client certificate")
                .arg(where, detail));
    };
    const QByteArray host = settings.address.host.toUtf8();
    int rc = mosquitto_connect(client.handle(), host.constData(), settings.address.port,
                               keepAliveSeconds);
    if (rc == MOSQ_ERR_TLS) {
        return tls_refused(MosquittoClient::error_text(rc));
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        return Status::unavailable(QStringLiteral("cannot reach the broker %1: %2")
                                       .arg(where, MosquittoClient::error_text(rc)));
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (answer < 0 && std::chrono::steady_clock::now() < deadline) {
        rc = mosquitto_loop(client.handle(), 50, 1);
        if (rc == MOSQ_ERR_TLS) {
            return tls_refused(MosquittoClient::error_text(rc));
        }
        if (rc != MOSQ_ERR_SUCCESS && answer < 0) {
            return Status::unavailable(QStringLiteral("the broker %1 closed the connection: %2")
                                           .arg(where, MosquittoClient::error_text(rc)));
        }
    }
    if (answer < 0) {
        return Status::unavailable(QStringLiteral("no answer from the broker %1").arg(where));
    }
    if (answer != 0) {
        return Status::invalid(QStringLiteral("the broker %1 refused the connection: %2")
                                   .arg(where, MosquittoClient::refusal_text(answer)));
    }
    mosquitto_disconnect(client.handle());
    return Status::success();
}
