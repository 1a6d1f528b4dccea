#pragma once

#include "status.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

struct pg_conn;
struct pg_result;

// One libpq connection to a PostgreSQL server and the few ways this program talks to it:
// commands, queries with text parameters and COPY FROM STDIN. Failures come back as a Status in
// the server's words: Unavailable while the server cannot be reached or the connection is
// gone, Invalid when the server refuses us (password, role, database, rights). Used on one
// thread only.
class PgConnection
{
public:
    struct RowsFree
    {
        void operator()(pg_result *result) const;
    };
    using Rows = std::unique_ptr<pg_result, RowsFree>;

    // Connects at once to target (a libpq URI or key=value string; libpq finds the password
    // itself unless one is given), waiting up to timeoutSeconds unless target says otherwise.
    PgConnection(const QString &target, int timeoutSeconds, const QString &password = QString());
    ~PgConnection();
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;

    // Ok once connected; why not otherwise (see the class comment for the kinds).
    const Status &connect_status() const { return connectStatus_; }
    bool is_open() const;
    pg_conn *handle() const { return conn_; }

    // A command without rows (or whose rows are not wanted).
    Status exec(const QString &sql);
    // A command with text parameters $1, $2, ... (a null QString is NULL); the result holds
    // its rows.
    Result<Rows> query(const QString &sql, const QList<QString> &parameters = {});
    // The first column of the first row, or a null QString when there is no row or it is NULL.
    Result<QString> value(const QString &sql, const QList<QString> &parameters = {});
    // copySql is "COPY ... FROM STDIN ..."; data goes as it is.
    Status copy_in(const QString &copySql, const QByteArray &data);

    // The identifier quoted for SQL ("dataSample_1" keeps its case).
    static QString quoted(const QString &identifier);

private:
    Status failure(const QString &what) const;

    pg_conn *conn_ = nullptr;
    Status connectStatus_;
};
