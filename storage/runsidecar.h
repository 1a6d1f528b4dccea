#pragma once

#include "tablecsv.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

struct sqlite3;

// The JSON file written beside every exported CSV or picture of a run: the run's facts and
// the exported rows' own count and time span, so the numbers keep their context when the
// CSV leaves the machine. Works on the caller's connection, on the caller's thread.
namespace run_sidecar {

// The sidecar's format; raised when a field changes meaning or goes.
constexpr int formatVersion = 1;

// "<name>.json" beside the file: "run.csv" and "run.png" both give "run.json"; a file of
// another kind keeps its whole name ("run.txt" gives "run.txt.json").
QString path_beside(const QString &exportedFile);

// The sidecar's content for the rows of table (those of range only, when given); nothing when
// the table cannot be read, then `reason` says why.
std::optional<QJsonObject> describe(sqlite3 *db, const QString &table,
                                    const std::optional<TimeRange> &range, QString *reason);

// The sidecar's file content, as describe gives it; nothing when the table cannot be read.
std::optional<QByteArray> content(sqlite3 *db, const QString &table,
                                  const std::optional<TimeRange> &range, QString *reason);

// Writes the sidecar of an export of table to exportedFile into path_beside(exportedFile),
// replacing it only once it is complete.
CsvOutcome write(sqlite3 *db, const QString &table, const QString &exportedFile,
                 const std::optional<TimeRange> &range = {});

} // namespace run_sidecar
