#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real Mosquitto broker for the tests: its own process on 127.0.0.1 at a free port, with a
// temporary config, persistence and log; optionally users with passwords and TLS with a test
// certificate authority made at test time (and a second, unrelated one to be refused).
class MosquittoBroker
{
public:
    struct Options
    {
        bool tls = false;
        // User name -> password; when any are given, anonymous clients are refused.
        QMap<QString, QString> users;
        // TLS: clients must present a certificate of the test authority (client_cert_file()).
        bool requireClientCertificate = false;
    };

    MosquittoBroker();
    explicit MosquittoBroker(const Options &options);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Starts the broker and waits until its port takes connections; false, with error()
    // saying why (and the broker's log), when it does not.
    bool start();
    // Ends the broker with SIGTERM (it saves its persistence file) and waits for it.
    void stop();
    // stop() then start() on the same port with the same persistence: sessions, queued and
    // retained messages survive.
    bool restart();
    bool running() const;

    int port() const { return port_; }
    // "mqtt://127.0.0.1:PORT/PREFIX", "mqtts://USER@127.0.0.1:PORT/PREFIX" with a user.
    QString url(const QString &prefix, const QString &user = {}) const;
    // The test authority that signed the broker's certificate, and one that did not.
    QString ca_file() const;
    QString wrong_ca_file() const;
    // A client certificate and key signed by the test authority.
    QString client_cert_file() const;
    QString client_key_file() const;
    // The broker's log so far, for failure messages.
    QString log() const;
    // Why the last start() or the set-up failed; empty when it did not.
    QString error() const { return error_; }

private:
    bool write_files();
    bool make_certificates();
    bool make_password_file();
    bool run_tool(const QString &program, const QStringList &arguments);
    bool wait_until_accepting(int timeoutMs);

    Options options_;
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool ready_ = false; // the set-up files were written
    QString error_;
};
