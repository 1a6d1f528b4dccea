#include "runstatistics.h"

#include "runenvelope.h"
#include "sqliteconnection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

namespace {

// A time range whose ends are each included or not.
struct Bounds
{
    double lower = 0.0;
    bool lowerOpen = false;
    double upper = 0.0;
    bool upperOpen = false;
};

// Running totals of one column; long double keeps the sums of long ranges exact enough.
struct Totals
{
    long long count = 0;
    long double sum = 0.0L;
    long double squares = 0.0L;
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();

    void add(double value)
    {
        if (std::isnan(value))
            return;
        ++count;
        sum += value;
        squares += static_cast<long double>(value) * value;
        minimum = std::min(minimum, value);
        maximum = std::max(maximum, value);
    }
};

class Accumulator
{
public:
    Accumulator(sqlite3 *db, const QString &runTable)
        : db_(db)
        , runTable_(runTable)
    {}

    // The voltage columns of the run table; 0 when it cannot be read.
    int open()
    {
        const sqlite_connection::Statement probe =
            sqlite_connection::prepare(db_, QStringLiteral("SELECT * FROM %1 LIMIT 0")
                                                .arg(sqlite_connection::quoted(runTable_))
                                                .toUtf8());
        if (!probe)
            return 0;
        totals_.assign(std::max(sqlite3_column_count(probe.get()) - 2, 0), Totals());
        levels_ = RunEnvelope::stored_levels(db_, runTable_);
        return int(totals_.size());
    }

    // The index of the coarsest level the envelope holds; -1 (rows only) when none.
    int coarsest_level() const { return int(levels_.size()) - 1; }

    // Adds the blocks of level levels_[levelIndex] that lie wholly inside bounds, and the
    // stretches before and after them from the finer levels, down to single rows.
    bool add_level(int levelIndex, const Bounds &bounds)
    {
        if (levelIndex < 0)
            return add_rows(bounds);
        const int columns = int(totals_.size());
        QString sql = QStringLiteral("SELECT first, last");
        for (int c = 1; c <= columns; ++c)
            sql += QStringLiteral(", min%1, max%1, n%1, sum%1, sq%1").arg(c);
        sql += QStringLiteral(" FROM %1 WHERE level = ?1 AND last >= ?2 AND last %2 ?3 AND "
                              "first %3 ?2 ORDER BY last")
                   .arg(sqlite_connection::quoted(RunEnvelope::table_name(runTable_)),
                        QLatin1String(bounds.upperOpen ? "<" : "<="),
                        QLatin1String(bounds.lowerOpen ? ">" : ">="));
        const sqlite_connection::Statement blocks = sqlite_connection::prepare(db_, sql.toUtf8());
        if (!blocks)
            return false;
        sqlite3_bind_int(blocks.get(), 1, levels_[levelIndex]);
        sqlite3_bind_double(blocks.get(), 2, bounds.lower);
        sqlite3_bind_double(blocks.get(), 3, bounds.upper);
        bool any = false;
        double firstCovered = 0.0;
        double lastCovered = 0.0;
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(blocks.get())) == SQLITE_ROW) {
            if (!any)
                firstCovered = sqlite3_column_double(blocks.get(), 0);
            any = true;
            lastCovered = sqlite3_column_double(blocks.get(), 1);
            for (int c = 0; c < columns; ++c)
                add_block(c, blocks.get(), 2 + 5 * c);
        }
        if (step != SQLITE_DONE)
            return false;
        if (!any)
            return add_level(levelIndex - 1, bounds);
        return add_level(levelIndex - 1, {bounds.lower, bounds.lowerOpen, firstCovered, true}) &&
               add_level(levelIndex - 1, {lastCovered, true, bounds.upper, bounds.upperOpen});
    }

    bool add_rows(const Bounds &bounds)
    {
        const QString sql = QStringLiteral("SELECT * FROM %1 WHERE time %2 ?1 AND time %3 ?2")
                                .arg(sqlite_connection::quoted(runTable_),
                                     QLatin1String(bounds.lowerOpen ? ">" : ">="),
                                     QLatin1String(bounds.upperOpen ? "<" : "<="));
        const sqlite_connection::Statement rows = sqlite_connection::prepare(db_, sql.toUtf8());
        if (!rows)
            return false;
        sqlite3_bind_double(rows.get(), 1, bounds.lower);
        sqlite3_bind_double(rows.get(), 2, bounds.upper);
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
            // Columns: id, time, then the voltages; a sample kept as the text "nan" is none.
            for (int c = 0; c < int(totals_.size()); ++c) {
                if (sqlite3_column_type(rows.get(), c + 2) != SQLITE_TEXT)
                    totals_[c].add(sqlite3_column_double(rows.get(), c + 2));
            }
        }
        return step == SQLITE_DONE;
    }

    std::vector<ChannelStatistics> result() const
    {
        std::vector<ChannelStatistics> channels(totals_.size());
        for (size_t c = 0; c < totals_.size(); ++c) {
            const Totals &totals = totals_[c];
            ChannelStatistics &channel = channels[c];
            channel.samples = totals.count;
            if (totals.count == 0)
                continue;
            channel.minimum = totals.minimum;
            channel.maximum = totals.maximum;
            channel.mean = double(totals.sum / totals.count);
            channel.rms = double(std::sqrt(totals.squares / totals.count));
        }
        return channels;
    }

private:
    void add_block(int c, sqlite3_stmt *statement, int column)
    {
        Totals &totals = totals_[c];
        const long long count = sqlite3_column_int64(statement, column + 2);
        if (count == 0)
            return;
        totals.count += count;
        totals.sum += sqlite3_column_double(statement, column + 3);
        totals.squares += sqlite3_column_double(statement, column + 4);
        totals.minimum = std::min(totals.minimum, sqlite3_column_double(statement, column));
        totals.maximum = std::max(totals.maximum, sqlite3_column_double(statement, column + 1));
    }

    sqlite3 *const db_;
    const QString runTable_;
    std::vector<Totals> totals_;
    std::vector<int> levels_; // rows per block, finest first
};

} // namespace

RunStatistics RunStatistics::read(sqlite3 *db, const QString &runTable, const TimeRange &range)
{
    if (db == nullptr || !RunEnvelope::has_sums(db, runTable))
        return read_rows(db, runTable, range);
    RunStatistics statistics;
    Accumulator accumulator(db, runTable);
    if (accumulator.open() == 0 ||
        !accumulator.add_level(accumulator.coarsest_level(),
                               {range.first_stored(), false, range.last_stored(), false}))
        return statistics;
    statistics.channels_ = accumulator.result();
    statistics.fromEnvelope_ = true;
    return statistics;
}

RunStatistics RunStatistics::read_rows(sqlite3 *db, const QString &runTable, const TimeRange &range)
{
    RunStatistics statistics;
    if (db == nullptr)
        return statistics;
    Accumulator accumulator(db, runTable);
    if (accumulator.open() == 0 ||
        !accumulator.add_rows({range.first_stored(), false, range.last_stored(), false}))
        return statistics;
    statistics.channels_ = accumulator.result();
    return statistics;
}
