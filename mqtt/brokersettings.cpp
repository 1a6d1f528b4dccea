#include "brokersettings.h"

#include <QFile>
#include <QFileInfo>

Result<std::optional<QString>> BrokerSettings::read_password(const QString &passwordFile)
{
    if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            return Status::read_failed(QStringLiteral("cannot read the password file %1: %2")
                                           .arg(passwordFile, file.errorString()));
        }
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        return std::optional<QString>(QString::fromUtf8(line));
    }
    if (qEnvironmentVariableIsSet(passwordVariable)) {
        return std::optional<QString>(qEnvironmentVariable(passwordVariable));
    }
    return std::optional<QString>();
}

Status BrokerSettings::check_files() const
{
    if (!address.tls && (!caFile.isEmpty() || !certFile.isEmpty() || !keyFile.isEmpty())) {
        return Status::invalid(QStringLiteral("certificate files need an mqtts:// address"));
    }
    if (certFile.isEmpty() != keyFile.isEmpty()) {
        return Status::invalid(
            QStringLiteral("a client certificate needs its key, and a key its certificate"));
    }
    for (const QString &file : {caFile, certFile, keyFile}) {
        if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
            return Status::invalid(QStringLiteral("cannot read the certificate file %1").arg(file));
        }
    }
    return Status::success();
}
