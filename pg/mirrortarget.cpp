#include "mirrortarget.h"

#include <libpq-fe.h>

#include <QMap>
#include <QRegularExpression>

namespace {

// What libpq would use for keyword: the target's value, else its default (a PG* variable or
// its own).
QMap<QString, QString> settings_of(PQconninfoOption *options)
{
    QMap<QString, QString> settings;
    for (PQconninfoOption *option = options; option != nullptr && option->keyword != nullptr;
         ++option) {
        if (option->val != nullptr && option->val[0] != '\0') {
            settings.insert(QString::fromUtf8(option->keyword), QString::fromUtf8(option->val));
        }
    }
    return settings;
}

// The settings uri gives; empty (and why in error) when libpq cannot read it.
QMap<QString, QString> given_settings(const QString &uri, QString *error)
{
    char *message = nullptr;
    PQconninfoOption *given = PQconninfoParse(uri.toUtf8().constData(), &message);
    if (given == nullptr) {
        *error = message != nullptr ? QString::fromUtf8(message).trimmed()
                                    : QStringLiteral("out of memory");
        PQfreemem(message);
        return {};
    }
    const QMap<QString, QString> settings = settings_of(given);
    PQconninfoFree(given);
    return settings;
}

} // namespace

bool MirrorTarget::holds_password(const QString &uri)
{
    QString error;
    return given_settings(uri, &error).contains(QStringLiteral("password"));
}

MirrorTarget MirrorTarget::with_password(const QString &password) const
{
    MirrorTarget target = *this;
    target.password_ = password;
    return target;
}

bool MirrorTarget::names_server(const QString &text)
{
    static const QRegularExpression server(
        QStringLiteral("^\\s*(postgres(ql)?://|(host|hostaddr|port|dbname|user|service)\\s*=)"));
    return server.match(text).hasMatch();
}

Result<MirrorTarget> MirrorTarget::parse(const QString &uri, const QString &option)
{
    if (uri.trimmed().isEmpty()) {
        return Status::invalid(QStringLiteral("%1 needs a connection URI").arg(option));
    }
    char *error = nullptr;
    PQconninfoOption *given = PQconninfoParse(uri.toUtf8().constData(), &error);
    if (given == nullptr) {
        const QString reason =
            error != nullptr ? QString::fromUtf8(error).trimmed() : QStringLiteral("out of memory");
        PQfreemem(error);
        return Status::invalid(
            QStringLiteral("%1 %2 is not a connection URI: %3").arg(option, uri, reason));
    }
    const QMap<QString, QString> settings = settings_of(given);
    PQconninfoFree(given);
    if (settings.contains(QStringLiteral("password"))) {
        return Status::invalid(QStringLiteral("%1 must not carry a password; give it in ~/.pgpass "
                                              "(or PGPASSFILE), PGPASSWORD or a service file")
                                   .arg(option));
    }
    PQconninfoOption *defaults = PQconndefaults();
    const QMap<QString, QString> fallback = settings_of(defaults);
    PQconninfoFree(defaults);
    const auto setting = [&](const QString &keyword) {
        return settings.value(keyword, fallback.value(keyword));
    };
    QString host = setting(QStringLiteral("host"));
    if (host.isEmpty()) {
        host = setting(QStringLiteral("hostaddr"));
    }
    if (host.isEmpty()) {
        host = QStringLiteral("localhost");
    }
    QString database = setting(QStringLiteral("dbname"));
    if (database.isEmpty()) {
        database = setting(QStringLiteral("user"));
    }
    const QString port = settings.value(QStringLiteral("port"));
    MirrorTarget target;
    target.uri_ = uri;
    target.user_ = setting(QStringLiteral("user"));
    target.shown_ =
        host + (port.isEmpty() ? QString() : QLatin1Char(':') + port) + QLatin1Char('/') + database;
    return target;
}
