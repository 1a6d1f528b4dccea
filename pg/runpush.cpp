#include "runpush.h"

#include "pgconnection.h"
#include "runupload.h"

#include <algorithm>

namespace run_push {

namespace {
// Rows per COPY and transaction, as the mirror's.
constexpr qint64 rowsPerCopy = 20000;
} // namespace

Result<Pushed> push(PgConnection &connection, sqlite3 *db, const server_schema::RunOrigin &origin,
                    const RunFacts &facts, const QList<RunMark> &marks, const QList<RunGap> &gaps,
                    qint64 rows)
{
    const Result<QString> claimed = server_schema::claim_run(connection, origin, facts);
    if (!claimed.ok()) {
        return claimed.status();
    }
    Pushed pushed;
    pushed.serverName = *claimed;
    pushed.rows = rows;
    const Result<QString> complete = connection.value(
        QStringLiteral("SELECT complete FROM telvane_runs WHERE name = $1"), {*claimed});
    if (!complete.ok()) {
        return complete.status();
    }
    if (*complete == QLatin1String("t")) {
        pushed.kind = Pushed::Kind::AlreadyComplete;
        return pushed;
    }
    const Result<run_upload::ServerCounts> counts = run_upload::counts(connection, *claimed);
    if (!counts.ok()) {
        return counts.status();
    }
    if (counts->rows > rows) {
        return Status::invalid(QStringLiteral("the server holds %1 rows of the run %2, the file "
                                              "only %3")
                                   .arg(counts->rows)
                                   .arg(origin.localName)
                                   .arg(rows));
    }
    pushed.kind = counts->rows == 0 && counts->marks == 0 && counts->gaps == 0
                      ? Pushed::Kind::Uploaded
                      : Pushed::Kind::Completed;
    pushed.missing = rows - counts->rows;
    for (qint64 first = counts->rows; first < rows;) {
        const Result<qint64> copied = run_upload::copy_rows(
            connection, db, origin.localName, *claimed, first, std::min(rows - first, rowsPerCopy));
        if (!copied.ok()) {
            return copied.status();
        }
        first = *copied;
    }
    if (const Status inserted = run_upload::insert_events(
            connection, *claimed, marks, std::min<qint64>(counts->marks, marks.size()), gaps,
            std::min<qint64>(counts->gaps, gaps.size()));
        !inserted.ok()) {
        return inserted;
    }
    if (const Status finished =
            run_upload::finish(connection, db, origin.localName, *claimed, facts, rows);
        !finished.ok()) {
        return finished;
    }
    return pushed;
}

} // namespace run_push
