#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real PostgreSQL server for the tests: a cluster made with initdb in a temporary folder,
// run by the postgres user (the server refuses root), listening only on a Unix socket in that
// folder (no TCP port). Local connections are trusted, except for the roles made with a
// password, whose connections must give it (scram-sha-256). Stopped when it goes.
class PostgresServer
{
public:
    // The superuser every connection of uri() uses unless told otherwise.
    static inline const QString superuser = QStringLiteral("postgres");

    // Makes the cluster; error() says why when that failed.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // Starts the server and waits until it takes connections; false, with error() saying why
    // (and its log), when it does not.
    bool start();
    // A fast shutdown: open connections are ended, the data is kept.
    void stop();
    // stop() then start() with the same data.
    bool restart();
    bool running() const { return running_; }

    // The folder of the server's socket.
    QString socket_folder() const;
    // A libpq URI of database db on this server: "postgresql:///DB?host=FOLDER&user=USER".
    QString uri(const QString &db, const QString &user = superuser) const;
    // A new, empty database.
    bool create_database(const QString &name);
    // A login role whose connections need password.
    bool create_role(const QString &role, const QString &password);
    // sql run by psql as an outside reader (the superuser, in database db): its rows, one a
    // line, fields joined by '|'; a null string, with error() saying why, when psql failed.
    QString psql(const QString &sql, const QString &db = QStringLiteral("telvane"));

    // The server's log so far, for failure messages.
    QString log() const;
    QString error() const { return error_; }

private:
    bool init_cluster();
    // program (of the server's binaries) run as the postgres user; its output in output.
    bool run_as_server_user(const QString &program, const QStringList &arguments,
                            QString *output = nullptr);

    QTemporaryDir dir_;
    bool ready_ = false;
    bool running_ = false;
    QString error_;
};
