#pragma once

#include "samplerow.h"
#include "status.h"

#include <QList>
#include <QString>

#include <memory>

class RunEnvelope;
struct sqlite3;
struct sqlite3_stmt;

// The save thread's side of a run: creates the run table with its time index and envelope
// table in one step, and appends rows with the envelope blocks they complete in one
// transaction. Its statements are prepared on the connection of the thread that inserts and
// finalized with each transaction, so that connection may close whenever its thread ends.
class RunWriter
{
public:
    // Creates a new run table with one voltage column (Vol) or sixteen (Vol1 to Vol16), its
    // time index and its envelope table, in one transaction under SQLite's write lock, and
    // returns the table's writer (without envelope when that could not be made: the run is
    // recorded all the same). Exists (nothing changed) when a table of that name is there,
    // whatever made it.
    static Result<std::unique_ptr<RunWriter>> create(sqlite3 *db, const QString &name,
                                                     bool singleChannel);

    // A writer of an existing run table that keeps no envelope (envelope may be null).
    RunWriter(const QString &table, bool singleChannel, std::unique_ptr<RunEnvelope> envelope);
    ~RunWriter();
    RunWriter(const RunWriter &) = delete;
    RunWriter &operator=(const RunWriter &) = delete;

    const QString &table() const { return table_; }
    bool is_single_channel() const { return singleChannel_; }
    // Values per row: the time, then 1 or 16 voltages.
    int row_length() const;

    // Appends rows to the table in one transaction, and the envelope blocks they complete.
    // Rows whose length does not fit are skipped. Returns how many rows reached the table;
    // the first row SQLite refuses ends the batch. When rows that fit were lost, `error` (if
    // given) receives SQLite's reason, else it is cleared.
    int insert(sqlite3 *db, const QList<SampleRow> &batch, QString *error);
    // The same for `rows` rows of row_length() values each, one after another.
    int insert(sqlite3 *db, const double *values, qsizetype rows, QString *error);

private:
    // Finalizes the statements of the last transaction; the next insert prepares them again.
    void release();
    template <typename RowAt>
    int insert_rows(sqlite3 *db, qsizetype rows, RowAt row_at, QString *error);
    bool prepare(sqlite3 *db, int rowsPerInsert);

    const QString table_;
    const bool singleChannel_;
    std::unique_ptr<RunEnvelope> envelope_;
    sqlite3 *preparedFor_ = nullptr;
    sqlite3_stmt *insertOne_ = nullptr;  // one row, on preparedFor_
    sqlite3_stmt *insertMany_ = nullptr; // preparedRows_ rows at once, on preparedFor_
    int preparedRows_ = 0;
};
