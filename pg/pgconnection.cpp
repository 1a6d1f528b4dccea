#include "pgconnection.h"

#include <libpq-fe.h>

namespace {

QString trimmed_error(const char *text)
{
    // libpq's hints go on lines of their own; one line reads better in a log or an error.
    return QString::fromUtf8(text).simplified();
}

} // namespace

void PgConnection::RowsFree::operator()(pg_result *result) const
{
    PQclear(result);
}

PgConnection::PgConnection(const QString &target, int timeoutSeconds, const QString &password)
{
    const QByteArray timeout = QByteArray::number(timeoutSeconds);
    const QByteArray dbname = target.toUtf8();
    const QByteArray secret = password.toUtf8();
    // A server that stops answering on TCP is given up within a few seconds, like one that
    // goes away; the defaults first, so that what target says wins. A password given comes
    // last (the list ends before it when there is none).
    const char *const keywords[] = {"connect_timeout",
                                    "fallback_application_name",
                                    "keepalives_idle",
                                    "keepalives_interval",
                                    "keepalives_count",
                                    "tcp_user_timeout",
                                    "dbname",
                                    password.isEmpty() ? nullptr : "password",
                                    nullptr};
    const char *const values[] = {timeout.constData(),
                                  "telvane",
                                  "10",
                                  "5",
                                  "3",
                                  "30000",
                                  dbname.constData(),
                                  password.isEmpty() ? nullptr : secret.constData(),
                                  nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) {
        // The server's notices ("already exists, skipping") are not for the user's terminal.
        PQsetNoticeProcessor(
            conn_, [](void *, const char *) {}, nullptr);
        return;
    }
    const QString reason =
        conn_ == nullptr ? QStringLiteral("out of memory") : trimmed_error(PQerrorMessage(conn_));
    // Refused by a server that answers, or no server to ask.
    const PGPing ping = PQpingParams(keywords, values, 1);
    const bool unknownHost = reason.contains(QLatin1String("could not translate host name"));
    if ((ping == PQPING_NO_RESPONSE && !unknownHost) || ping == PQPING_REJECT) {
        connectStatus_ = Status::unavailable(reason);
    } else {
        connectStatus_ = Status::invalid(reason);
    }
}

PgConnection::~PgConnection()
{
    PQfinish(conn_);
}

bool PgConnection::is_open() const
{
    return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK;
}

Status PgConnection::failure(const QString &what) const
{
    const QString reason = what.isEmpty() ? trimmed_error(PQerrorMessage(conn_)) : what;
    if (!is_open()) {
        return Status::unavailable(reason.isEmpty() ? QStringLiteral("the connection is gone")
                                                    : reason);
    }
    return Status::write_failed(reason);
}

Status PgConnection::exec(const QString &sql)
{
    const Result<Rows> done = query(sql);
    return done.ok() ? Status::success() : done.status();
}

Result<PgConnection::Rows> PgConnection::query(const QString &sql, const QList<QString> &parameters)
{
    if (!is_open()) {
        return connectStatus_.ok() ? failure(QString()) : connectStatus_;
    }
    QList<QByteArray> texts;
    std::vector<const char *> values;
    texts.reserve(parameters.size());
    for (const QString &parameter : parameters) {
        texts.append(parameter.toUtf8());
    }
    for (qsizetype i = 0; i < parameters.size(); ++i) {
        values.push_back(parameters[i].isNull() ? nullptr : texts[i].constData());
    }
    Rows result(PQexecParams(conn_, sql.toUtf8().constData(), int(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        return failure(result ? trimmed_error(PQresultErrorMessage(result.get())) : QString());
    }
    return Result<Rows>(std::move(result));
}

Result<QString> PgConnection::value(const QString &sql, const QList<QString> &parameters)
{
    Result<Rows> result = query(sql, parameters);
    if (!result.ok()) {
        return result.status();
    }
    pg_result *rows = result->get();
    if (PQntuples(rows) < 1 || PQnfields(rows) < 1 || PQgetisnull(rows, 0, 0)) {
        return QString();
    }
    return QString::fromUtf8(PQgetvalue(rows, 0, 0));
}

Status PgConnection::copy_in(const QString &copySql, const QByteArray &data)
{
    if (!is_open()) {
        return failure(QString());
    }
    Rows started(PQexec(conn_, copySql.toUtf8().constData()));
    if (!started || PQresultStatus(started.get()) != PGRES_COPY_IN) {
        return failure(started ? trimmed_error(PQresultErrorMessage(started.get())) : QString());
    }
    if (PQputCopyData(conn_, data.constData(), int(data.size())) != 1 ||
        PQputCopyEnd(conn_, nullptr) != 1) {
        return failure(QString());
    }
    Rows ended(PQgetResult(conn_));
    const bool ok = ended && PQresultStatus(ended.get()) == PGRES_COMMAND_OK;
    const Status status =
        ok ? Status::success()
           : failure(ended ? trimmed_error(PQresultErrorMessage(ended.get())) : QString());
    // Drain: libpq hands out a null result once the command is over.
    while (Rows more{PQgetResult(conn_)}) {
    }
    return status;
}

QString PgConnection::quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}
