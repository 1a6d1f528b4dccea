#include "postgresserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString binaries = QStringLiteral("/usr/lib/postgresql/15/bin/");
constexpr int toolMs = 120000;
// The group whose members' connections must give a password.
const QString passwordGroup = QStringLiteral("telvane_password_roles");

QString shell_quoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString sql_literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

PostgresServer::PostgresServer()
{
    if (!dir_.isValid()) {
        error_ = QStringLiteral("cannot make a temporary folder for the server");
        return;
    }
    ready_ = init_cluster();
}

PostgresServer::~PostgresServer()
{
    stop();
}

QString PostgresServer::socket_folder() const
{
    return dir_.filePath(QStringLiteral("socket"));
}

bool PostgresServer::run_as_server_user(const QString &program, const QStringList &arguments,
                                        QString *output)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setWorkingDirectory(dir_.path());
    if (::geteuid() == 0) {
        QStringList command{shell_quoted(binaries + program)};
        for (const QString &argument : arguments) {
            command << shell_quoted(argument);
        }
        tool.start(QStringLiteral("su"),
                   {superuser, QStringLiteral("-s"), QStringLiteral("/bin/sh"),
                    QStringLiteral("-c"), command.join(QLatin1Char(' '))});
    } else {
        tool.start(binaries + program, arguments);
    }
    const bool finished = tool.waitForFinished(toolMs);
    const QString text = QString::fromLocal8Bit(tool.readAll());
    if (output != nullptr) {
        *output = text;
    }
    if (!finished || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        error_ = QStringLiteral("%1 %2 failed: %3%4")
                     .arg(program, arguments.join(QLatin1Char(' ')), text, tool.errorString());
        return false;
    }
    return true;
}

bool PostgresServer::init_cluster()
{
    if (!QDir(dir_.path()).mkpath(QStringLiteral("socket"))) {
        error_ = QStringLiteral("cannot make the socket folder");
        return false;
    }
    if (::geteuid() == 0) {
        // The server runs as postgres: the folder and its socket folder are its own.
        const passwd *user = ::getpwnam(superuser.toLocal8Bit().constData());
        if (user == nullptr) {
            error_ = QStringLiteral("there is no user postgres");
            return false;
        }
        for (const QString &path : {dir_.path(), socket_folder()}) {
            const QByteArray name = QFile::encodeName(path);
            if (::chown(name.constData(), user->pw_uid, user->pw_gid) != 0 ||
                ::chmod(name.constData(), 0755) != 0) {
                error_ = QStringLiteral("cannot give %1 to postgres").arg(path);
                return false;
            }
        }
    }
    if (!run_as_server_user(QStringLiteral("initdb"),
                            {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                             QStringLiteral("-U"), superuser, QStringLiteral("--auth-local=trust"),
                             QStringLiteral("--no-sync"), QStringLiteral("-E"),
                             QStringLiteral("UTF8"), QStringLiteral("--locale=C")})) {
        return false;
    }
    QFile hba(dir_.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        hba.write(QStringLiteral("local all +%1 scram-sha-256\nlocal all all trust\n")
                      .arg(passwordGroup)
                      .toUtf8()) < 0) {
        error_ = QStringLiteral("cannot write pg_hba.conf");
        return false;
    }
    return true;
}

bool PostgresServer::start()
{
    if (!ready_) {
        return false;
    }
    if (running_) {
        return true;
    }
    if (!run_as_server_user(
            QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
             dir_.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
             QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-o"),
             QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(socket_folder()),
             QStringLiteral("start")})) {
        error_ += QStringLiteral("\nits log:\n") + log();
        return false;
    }
    running_ = true;
    // Once: the group of the roles with passwords.
    const QString groupMade = psql(
        QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = %1").arg(sql_literal(passwordGroup)),
        QStringLiteral("postgres"));
    if (groupMade.isNull()) {
        return false;
    }
    if (groupMade.isEmpty() && psql(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(passwordGroup),
                                    QStringLiteral("postgres"))
                                   .isNull()) {
        return false;
    }
    return true;
}

void PostgresServer::stop()
{
    if (!running_) {
        return;
    }
    run_as_server_user(QStringLiteral("pg_ctl"),
                       {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                        QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                        QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("stop")});
    running_ = false;
}

bool PostgresServer::restart()
{
    stop();
    return start();
}

QString PostgresServer::uri(const QString &db, const QString &user) const
{
    return QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(db, socket_folder(), user);
}

bool PostgresServer::create_database(const QString &name)
{
    return !psql(QStringLiteral("CREATE DATABASE \"%1\"").arg(name), QStringLiteral("postgres"))
                .isNull();
}

bool PostgresServer::create_role(const QString &role, const QString &password)
{
    return !psql(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD %2 IN ROLE %3")
                     .arg(role, sql_literal(password), passwordGroup),
                 QStringLiteral("postgres"))
                .isNull();
}

QString PostgresServer::psql(const QString &sql, const QString &db)
{
    QProcess psql;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PGPASSWORD"));
    psql.setProcessEnvironment(environment);
    psql.start(binaries + QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-d"), uri(db), QStringLiteral("-c"), sql});
    if (!psql.waitForFinished(toolMs) || psql.exitStatus() != QProcess::NormalExit ||
        psql.exitCode() != 0) {
        error_ =
            QStringLiteral("psql -c \"%1\" failed: %2%3")
                .arg(sql, QString::fromLocal8Bit(psql.readAllStandardError()), psql.errorString());
        return QString();
    }
    QString output = QString::fromUtf8(psql.readAllStandardOutput());
    if (output.endsWith(QLatin1Char('\n'))) {
        output.chop(1);
    }
    return output.isNull() ? QStringLiteral("") : output;
}

QString PostgresServer::log() const
{
    QFile file(dir_.filePath(QStringLiteral("server.log")));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("(no log)");
    }
    return QString::fromUtf8(file.readAll());
}
