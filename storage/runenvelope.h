#pragma once

#include "protocol.h"

#include <QString>

#include <array>
#include <vector>

class RangeEnvelope;
struct sqlite3;
struct sqlite3_stmt;

// The envelope levels of a run table, kept in a table beside it: for every block of 64,
// 1024, 16384 and 262144 consecutive rows the time of its first and last row and, per
// voltage column, the smallest and largest value and the count, sum and sum of squares of
// its numbers (tables of older versions lack the last three). Written as the rows are stored, in
// the same transaction, so that a long run can be drawn from a few thousand blocks instead of
// millions of rows. Only complete blocks are written; the rows after the last complete
// block of a level (a run still recording, paused or killed) are read as rows.
//
// One object per run table, fed by the one thread that stores the rows.
class RunEnvelope
{
public:
    // Rows per block of each level written, finest first; each level is 16 blocks of the one
    // below. A level is stored under its rows per block, so readers take the levels a table
    // has (files of older versions have blocks of 16, 256, 4096 and 65536 rows).
    static constexpr std::array<int, 4> blockRows{64, 1024, 16384, 262144};

    // The envelope table of runTable. Never a valid run table name itself.
    static QString table_name(const QString &runTable);
    // True for a name that table_name gives for some run table name.
    static bool is_table_name(const QString &name);
    // The run table a envelope table belongs to; empty when name is not a envelope's.
    static QString run_table_of(const QString &name);

    RunEnvelope(const QString &runTable, int columns);
    ~RunEnvelope();
    RunEnvelope(const RunEnvelope &) = delete;
    RunEnvelope &operator=(const RunEnvelope &) = delete;

    const QString &run_table() const { return runTable_; }
    // Creates the envelope table; false (and error set) when SQLite refuses.
    bool create(sqlite3 *db, QString *error);
    // Adds one stored row: the time, then one value per voltage column.
    void add_row(const double *row);
    // Writes the blocks completed since the last call, in the caller's transaction.
    // False when SQLite refused one (error says why); the blocks are dropped either way.
    // The INSERT is prepared once on db and kept until release().
    bool write_completed(sqlite3 *db, QString *error);
    // Finalizes the kept INSERT; call on the writing thread before its connection closes.
    void release();
    // Stops writing for good, for example after rows were lost: from then on the envelope
    // covers only the rows before, and the rest of the run is read as rows.
    void stop();
    bool is_writing() const { return writing_; }

    // Adds the blocks of the given level that overlap [lower, upper] to envelope (with
    // lowerOpen, only those ending after lower), and returns the time of the last row any
    // block of that level covers (the rows after it have no block yet), or -infinity when
    // there is no envelope of that level.
    static double read_level(sqlite3 *db, const QString &runTable, int level, double lower,
                             bool lowerOpen, double upper, RangeEnvelope &envelope);
    // True when the envelope of runTable holds the sums (written by this version on).
    static bool has_sums(sqlite3 *db, const QString &runTable);
    // How many rows of runTable the blocks of its finest level cover (always the first ones:
    // complete blocks of consecutive rows), with the time of the last of them in lastTime;
    // 0 when there is no block.
    static qint64 rows_covered(sqlite3 *db, const QString &runTable, double *lastTime);
    // The rows per block of the levels the envelope of runTable holds, finest first; empty
    // when it has none.
    static std::vector<int> stored_levels(sqlite3 *db, const QString &runTable);

private:
    // Per voltage column; fixed arrays, so that completing a block copies without allocating.
    template <typename T> using PerColumn = std::array<T, InstrumentLimits::channelCount>;
    struct Block
    {
        double first = 0.0;
        double last = 0.0;
        int parts = 0; // rows, or blocks of the level below
        PerColumn<double> mins;
        PerColumn<double> maxs;
        PerColumn<long long> counts; // numbers, NaN left out
        PerColumn<double> sums;
        PerColumn<double> squares;
    };
    struct Completed
    {
        int level = 0;
        long long index = 0;
        Block block;
    };

    void reset(Block &block) const;
    void fold(int level, const Block &part);
    void complete(int level);

    const QString runTable_;
    const int columns_;
    bool writing_ = true;
    std::array<Block, blockRows.size()> open_;
    std::array<long long, blockRows.size()> nextIndex_{};
    std::vector<Completed> completed_;
    sqlite3 *preparedFor_ = nullptr;
    sqlite3_stmt *insert_ = nullptr; // on preparedFor_; finalized by release()
};
