#pragma once

#include "status.h"
#include "timerange.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

struct sqlite3;
struct RunFacts;
struct RunGap;
struct RunMark;

// The JSON file written beside every exported CSV or picture of a run: the run's facts and
// the exported rows' own count and time span, so the numbers keep their context when the
// CSV leaves the machine. Works on the caller's connection, on the caller's thread.
namespace run_sidecar {

// The sidecar's format; raised when a field changes meaning or goes.
constexpr int formatVersion = 1;

// "<name>.json" beside the file: "run.csv" and "run.png" both give "run.json"; a file of
// another kind keeps its whole name ("run.txt" gives "run.txt.json").
QString path_beside(const QString &exportedFile);

// The objects the sidecar lists under "facts", "marks" and "gaps" (also what a publisher of
// the run sends, so every reader sees one shape).
QJsonObject facts_object(const RunFacts &facts);
QJsonObject mark_object(const RunMark &mark);
QJsonObject gap_object(const RunGap &gap);

// The sidecar's content for the rows of table (those of range only, when given); ReadFailed,
// saying why, when the table cannot be read.
Result<QJsonObject> describe(sqlite3 *db, const QString &table,
                             const std::optional<TimeRange> &range);

// The sidecar's file content, as describe gives it.
Result<QByteArray> content(sqlite3 *db, const QString &table,
                           const std::optional<TimeRange> &range);

// Writes the sidecar of an export of table to exportedFile into path_beside(exportedFile),
// replacing it only once it is complete: ReadFailed when the table cannot be read,
// WriteFailed when the file cannot be written.
Status write(sqlite3 *db, const QString &table, const QString &exportedFile,
             const std::optional<TimeRange> &range = {});

} // namespace run_sidecar
