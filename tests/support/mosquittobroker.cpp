#include "mosquittobroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int startMs = 20000;
constexpr int stopMs = 20000;
const QString mosquittoProgram = QStringLiteral("/usr/sbin/mosquitto");

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nobody listens on right now: the kernel's pick for a socket bound to port 0.
int free_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool accepts_connections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    const sockaddr_in address = loopback(port);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool write_text(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

MosquittoBroker::MosquittoBroker()
    : MosquittoBroker(Options{})
{}

MosquittoBroker::MosquittoBroker(const Options &options)
    : options_(options)
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    port_ = free_port();
    if (!dir_.isValid()) {
        error_ = QStringLiteral("cannot make a temporary folder for the broker");
    } else if (port_ == 0) {
        error_ = QStringLiteral("cannot find a free port for the broker");
    } else {
        ready_ = write_files();
    }
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::write_files()
{
    if (options_.tls && !make_certificates()) {
        return false;
    }
    if (!options_.users.isEmpty() && !make_password_file()) {
        return false;
    }
    QByteArray config;
    config += "listener " + QByteArray::number(port_) + " 127.0.0.1\n";
    if (options_.tls) {
        config += "cafile " + QFile::encodeName(ca_file()) + "\n";
        config += "certfile " + QFile::encodeName(dir_.filePath("server.crt")) + "\n";
        config += "keyfile " + QFile::encodeName(dir_.filePath("server.key")) + "\n";
        if (options_.requireClientCertificate) {
            config += "require_certificate true\n";
        }
    }
    if (options_.users.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        config += "allow_anonymous false\n";
        config += "password_file " + QFile::encodeName(dir_.filePath("passwords")) + "\n";
    }
    config += "persistence true\n";
    config += "persistence_location " + QFile::encodeName(dir_.path()) + "/\n";
    // The default of 1000 drops QoS 1 messages queued for a subscriber that falls behind or
    // is away while the broker restarts; the tests count every row.
    config += "max_queued_messages 0\n";
    config += "log_dest file " + QFile::encodeName(dir_.filePath("mosquitto.log")) + "\n";
    config += "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n";
    if (::geteuid() == 0) {
        // As root Mosquitto would switch to its own user, who cannot enter our folder.
        config += "user root\n";
    }
    if (!write_text(dir_.filePath("mosquitto.conf"), config)) {
        error_ = QStringLiteral("cannot write the broker's config");
        return false;
    }
    return true;
}

bool MosquittoBroker::run_tool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setWorkingDirectory(dir_.path());
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        error_ = QStringLiteral("%1 %2 failed: %3")
                     .arg(program, arguments.join(QLatin1Char(' ')),
                          QString::fromLocal8Bit(tool.readAll()) + tool.errorString());
        return false;
    }
    return true;
}

bool MosquittoBroker::make_certificates()
{
    const QString openssl = QStringLiteral("openssl");
    const QStringList ecKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const auto authority = [&](const QString &name, const QString &commonName) {
        return run_tool(openssl, QStringList{"req", "-x509"} + ecKey +
                                     QStringList{"-keyout", name + ".key", "-out", name + ".crt",
                                                 "-days", "2", "-subj", "/CN=" + commonName});
    };
    const auto signed_by_ca = [&](const QString &name, const QString &commonName,
                                  const QByteArray &extensions) {
        return write_text(dir_.filePath(name + ".ext"), extensions) &&
               run_tool(openssl, QStringList{"req"} + ecKey +
                                     QStringList{"-keyout", name + ".key", "-out", name + ".csr",
                                                 "-subj", "/CN=" + commonName}) &&
               run_tool(openssl, {"x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey",
                                  "ca.key", "-CAcreateserial", "-out", name + ".crt", "-days", "2",
                                  "-extfile", name + ".ext"});
    };
    return authority(QStringLiteral("ca"), QStringLiteral("Telvane test authority")) &&
           authority(QStringLiteral("wrongca"), QStringLiteral("Telvane other authority")) &&
           signed_by_ca(QStringLiteral("server"), QStringLiteral("127.0.0.1"),
                        "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                        "extendedKeyUsage=serverAuth\n") &&
           signed_by_ca(QStringLiteral("client"), QStringLiteral("telvane test client"),
                        "extendedKeyUsage=clientAuth\n");
}

bool MosquittoBroker::make_password_file()
{
    const QString file = dir_.filePath(QStringLiteral("passwords"));
    bool first = true;
    for (auto it = options_.users.cbegin(); it != options_.users.cend(); ++it) {
        QStringList arguments{"-b"};
        if (first) {
            arguments << "-c";
        }
        if (!run_tool(QStringLiteral("mosquitto_passwd"),
                      arguments + QStringList{file, it.key(), it.value()})) {
            return false;
        }
        first = false;
    }
    return true;
}

bool MosquittoBroker::start()
{
    if (!ready_) {
        return false;
    }
    if (running()) {
        return true;
    }
    error_.clear();
    process_.start(mosquittoProgram, {"-c", dir_.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process_.waitForStarted(startMs)) {
        error_ =
            QStringLiteral("cannot start %1: %2").arg(mosquittoProgram, process_.errorString());
        return false;
    }
    if (!wait_until_accepting(startMs)) {
        error_ = QStringLiteral("the broker does not take connections on port %1; its output:\n"
                                "%2\nits log:\n%3")
                     .arg(port_)
                     .arg(QString::fromLocal8Bit(process_.readAll()), log());
        stop();
        return false;
    }
    return true;
}

bool MosquittoBroker::wait_until_accepting(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (process_.state() != QProcess::Running) {
            return false;
        }
        if (accepts_connections(port_)) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

void MosquittoBroker::stop()
{
    if (process_.state() == QProcess::NotRunning) {
        return;
    }
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(stopMs)) {
        process_.kill();
        process_.waitForFinished(stopMs);
    }
}

bool MosquittoBroker::restart()
{
    stop();
    return start();
}

bool MosquittoBroker::running() const
{
    return process_.state() != QProcess::NotRunning;
}

QString MosquittoBroker::url(const QString &prefix, const QString &user) const
{
    const QString scheme = options_.tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://");
    const QString who = user.isEmpty() ? QString() : user + QLatin1Char('@');
    return scheme + who + QStringLiteral("127.0.0.1:") + QString::number(port_) + QLatin1Char('/') +
           prefix;
}

QString MosquittoBroker::ca_file() const
{
    return dir_.filePath(QStringLiteral("ca.crt"));
}

QString MosquittoBroker::wrong_ca_file() const
{
    return dir_.filePath(QStringLiteral("wrongca.crt"));
}

QString MosquittoBroker::client_cert_file() const
{
    return dir_.filePath(QStringLiteral("client.crt"));
}

QString MosquittoBroker::client_key_file() const
{
    return dir_.filePath(QStringLiteral("client.key"));
}

QString MosquittoBroker::log() const
{
    QFile file(dir_.filePath(QStringLiteral("mosquitto.log")));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("(no log)");
    }
    return QString::fromUtf8(file.readAll());
}
