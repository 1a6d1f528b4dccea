#pragma once

#include "status.h"

#include <QString>

// Where runs are mirrored: a libpq connection URI (postgresql://[USER@]HOST[:PORT]/DB?...,
// a key=value string works too). It never carries a password: libpq takes that from its own
// places (~/.pgpass or PGPASSFILE, PGPASSWORD, a service file), so it stays out of the
// arguments, the log and the facts. A program with a secret store of its own (the window) may
// add the password it keeps there: it goes to libpq as its own keyword and nowhere else.
class MirrorTarget
{
public:
    // Invalid, saying why, for a target libpq cannot read or one that holds a password;
    // option names the option it was given with, for the message.
    static Result<MirrorTarget> parse(const QString &uri,
                                      const QString &option = QStringLiteral("--mirror"));
    // True for text that names a server rather than a file: a postgresql:// or postgres://
    // URI, or a key=value string starting with host=, hostaddr=, port=, dbname=, user= or
    // service=.
    static bool names_server(const QString &text);
    // True when uri carries a password (which parse refuses).
    static bool holds_password(const QString &uri);

    // This target with password for libpq's "password" keyword (empty: libpq's own places).
    MirrorTarget with_password(const QString &password) const;
    const QString &password() const { return password_; }

    // As given, for libpq.
    const QString &uri() const { return uri_; }
    // HOST[:PORT]/DB as libpq will take them (its defaults and PG* variables filled in),
    // for the user and the log.
    const QString &shown() const { return shown_; }
    // The role libpq will log in as (its defaults filled in, as for shown()).
    const QString &user() const { return user_; }

private:
    QString uri_;
    QString shown_;
    QString user_;
    QString password_;
};
