#include "brokeraddress.h"

#include <QUrl>

Result<BrokerAddress> BrokerAddress::parse(const QString &url)
{
    const auto refuse = [&url](const QString &why) {
        return Status::invalid(QStringLiteral("%1 is no broker address (%2); write "
                                              "mqtt://[USER@]HOST[:PORT]/PREFIX")
                                   .arg(url, why));
    };
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid()) {
        return refuse(parsed.errorString());
    }
    BrokerAddress address;
    const QString scheme = parsed.scheme().toLower();
    if (scheme == QLatin1String("mqtts")) {
        address.tls = true;
    } else if (scheme != QLatin1String("mqtt")) {
        return refuse(QStringLiteral("the scheme must be mqtt or mqtts"));
    }
    if (!parsed.password().isEmpty() || parsed.userInfo().contains(QLatin1Char(':'))) {
        return Status::invalid(
            QStringLiteral("a broker address must not hold a password; give it in "
                           "TELVANE_MQTT_PASSWORD or a password file"));
    }
    address.user = parsed.userName();
    address.host = parsed.host();
    if (address.host.isEmpty()) {
        return refuse(QStringLiteral("no host"));
    }
    address.port = parsed.port(address.tls ? tlsPort : plainPort);
    if (address.port <= 0 || address.port > 65535) {
        return refuse(QStringLiteral("no valid port"));
    }
    if (parsed.hasQuery() || parsed.hasFragment()) {
        return refuse(QStringLiteral("no ?, + or # is allowed"));
    }
    QString prefix = parsed.path(QUrl::FullyDecoded);
    while (prefix.startsWith(QLatin1Char('/'))) {
        prefix.remove(0, 1);
    }
    while (prefix.endsWith(QLatin1Char('/'))) {
        prefix.chop(1);
    }
    if (prefix.isEmpty()) {
        return refuse(QStringLiteral("no topic prefix"));
    }
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#'))) {
        return refuse(QStringLiteral("the prefix must not hold + or #"));
    }
    address.prefix = prefix;
    return address;
}

QString BrokerAddress::shown() const
{
    return QStringLiteral("%1:%2/%3").arg(host).arg(port).arg(prefix);
}

QString BrokerAddress::url() const
{
    QString text = tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://");
    if (!user.isEmpty()) {
        text += QString::fromUtf8(QUrl::toPercentEncoding(user)) + QLatin1Char('@');
    }
    const bool ipv6 = host.contains(QLatin1Char(':'));
    text += ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return text + QStringLiteral(":%1/%2").arg(port).arg(prefix);
}
