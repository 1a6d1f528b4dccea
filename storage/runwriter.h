#pragma once

#include "samplerow.h"

#include <QList>
#include <QString>

#include <memory>

class RunEnvelope;
struct sqlite3;

// The save thread's side of a run: creates the run table with its time index and envelope
// table in one step, and appends rows with the envelope blocks they complete in one
// transaction. Works on the caller's connection, on the caller's thread.
namespace run_writer {

enum class Creation { Created, NameTaken, Failed };

// Creates a new run table with one voltage column (Vol) or sixteen (Vol1 to Vol16), its time
// index and its envelope table, in one transaction under SQLite's write lock; NameTaken
// (nothing changed) when a table of that name exists, whatever made it. On success
// `envelope` receives the writer of the envelope levels (null when they could not be made:
// the run is recorded all the same); on failure `reason` says why.
Creation create(sqlite3 *db, const QString &name, bool singleChannel,
                std::unique_ptr<RunEnvelope> *envelope, QString *reason);

// Appends rows (time first, then 1 or 16 voltages) to table in one transaction, and the
// envelope blocks they complete (envelope may be null). Rows whose length does not fit are
// skipped. Returns how many rows reached the table; the first row SQLite refuses ends the
// batch. When rows that fit were lost, `error` (if given) receives SQLite's reason, else it
// is cleared.
int insert(sqlite3 *db, const QString &table, bool singleChannel, RunEnvelope *envelope,
           const QList<SampleRow> &batch, QString *error);

} // namespace run_writer
