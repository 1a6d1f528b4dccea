#include "runenvelope.h"

#include "rangeenvelope.h"
#include "runtablename.h"
#include "sqliteconnection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double infinity = std::numeric_limits<double>::infinity();
// Blocks of a level that make one block of the next.
constexpr int fanOut = 16;
const QLatin1String suffix("_envelope");

constexpr bool levels_fan_out()
{
    for (size_t level = 1; level < RunEnvelope::blockRows.size(); ++level) {
        if (RunEnvelope::blockRows[level] != fanOut * RunEnvelope::blockRows[level - 1])
            return false;
    }
    return true;
}
static_assert(levels_fan_out(), "each level is fanOut blocks of the one below");

QString sqlite_error(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool run(sqlite3 *db, const QString &sql, QString *error)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    if (error != nullptr)
        *error = sqlite_error(db);
    return false;
}

double column_or_nan(sqlite3_stmt *statement, int column)
{
    return sqlite3_column_type(statement, column) == SQLITE_NULL
               ? std::numeric_limits<double>::quiet_NaN()
               : sqlite3_column_double(statement, column);
}
} // namespace

QString RunEnvelope::table_name(const QString &runTable)
{
    return runTable + suffix;
}

bool RunEnvelope::is_table_name(const QString &name)
{
    return !run_table_of(name).isEmpty();
}

QString RunEnvelope::run_table_of(const QString &name)
{
    if (!name.endsWith(suffix))
        return QString();
    const QString runTable = name.left(name.size() - suffix.size());
    return is_run_table_name(runTable) ? runTable : QString();
}

RunEnvelope::RunEnvelope(const QString &runTable, int columns)
    : runTable_(runTable)
    , columns_(std::clamp(columns, 0, int(PerColumn<double>().size())))
{
    for (Block &block : open_)
        reset(block);
}

RunEnvelope::~RunEnvelope()
{
    release();
}

void RunEnvelope::release()
{
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    preparedFor_ = nullptr;
}

bool RunEnvelope::create(sqlite3 *db, QString *error)
{
    const QString table = sqlite_connection::quoted(table_name(runTable_));
    QString sql = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (level INTEGER NOT NULL, block "
                                 "INTEGER NOT NULL, first DOUBLE NOT NULL, last DOUBLE NOT NULL")
                      .arg(table);
    for (int c = 1; c <= columns_; ++c)
        sql += QStringLiteral(", min%1 DOUBLE, max%1 DOUBLE").arg(c);
    // After the extremes, so that a reader of the extremes finds them where they always were.
    for (int c = 1; c <= columns_; ++c)
        sql += QStringLiteral(", n%1 INTEGER, sum%1 DOUBLE, sq%1 DOUBLE").arg(c);
    // Keyed by time within a level, so that a range read needs no index of its own: one
    // b-tree per envelope row written.
    sql += QLatin1String(", PRIMARY KEY (level, last, block)) WITHOUT ROWID");
    return run(db, sql, error);
}

void RunEnvelope::reset(Block &block) const
{
    block.parts = 0;
    block.mins.fill(infinity);
    block.maxs.fill(-infinity);
    block.counts.fill(0);
    block.sums.fill(0.0);
    block.squares.fill(0.0);
}

void RunEnvelope::add_row(const double *row)
{
    if (!writing_)
        return;
    Block &block = open_[0];
    if (block.parts == 0)
        block.first = row[0];
    block.last = row[0];
    for (int c = 0; c < columns_; ++c) {
        // A NaN fails both comparisons and is left out.
        const double value = row[c + 1];
        if (value < block.mins[c])
            block.mins[c] = value;
        if (value > block.maxs[c])
            block.maxs[c] = value;
        if (!std::isnan(value)) {
            ++block.counts[c];
            block.sums[c] += value;
            block.squares[c] += value * value;
        }
    }
    if (++block.parts == blockRows.front())
        complete(0);
}

void RunEnvelope::fold(int level, const Block &part)
{
    Block &block = open_[level];
    if (block.parts == 0)
        block.first = part.first;
    block.last = part.last;
    for (int c = 0; c < columns_; ++c) {
        if (part.mins[c] < block.mins[c])
            block.mins[c] = part.mins[c];
        if (part.maxs[c] > block.maxs[c])
            block.maxs[c] = part.maxs[c];
        block.counts[c] += part.counts[c];
        block.sums[c] += part.sums[c];
        block.squares[c] += part.squares[c];
    }
    if (++block.parts == fanOut)
        complete(level);
}

void RunEnvelope::complete(int level)
{
    completed_.push_back({level, nextIndex_[level]++, open_[level]});
    reset(open_[level]);
    if (level + 1 < int(open_.size()))
        fold(level + 1, completed_.back().block);
}

bool RunEnvelope::write_completed(sqlite3 *db, QString *error)
{
    std::vector<Completed> blocks;
    blocks.swap(completed_);
    if (!writing_ || blocks.empty())
        return true;
    if (preparedFor_ != db) {
        release();
        QString sql = QStringLiteral("INSERT OR REPLACE INTO %1 VALUES (?, ?, ?, ?")
                          .arg(sqlite_connection::quoted(table_name(runTable_)));
        for (int c = 0; c < columns_; ++c)
            sql += QLatin1String(", ?, ?, ?, ?, ?");
        sql += QLatin1Char(')');
        sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql.toUtf8());
        if (!prepared) {
            *error = sqlite_error(db);
            return false;
        }
        insert_ = prepared.release();
        preparedFor_ = db;
    }
    const int sumsFrom = 5 + 2 * columns_;
    sqlite3_stmt *statement = insert_;
    for (const Completed &completed : blocks) {
        sqlite3_bind_int(statement, 1, blockRows[completed.level]);
        sqlite3_bind_int64(statement, 2, completed.index);
        sqlite3_bind_double(statement, 3, completed.block.first);
        sqlite3_bind_double(statement, 4, completed.block.last);
        for (int c = 0; c < columns_; ++c) {
            // A column without a single number in the block has no extremes.
            if (completed.block.maxs[c] < completed.block.mins[c]) {
                sqlite3_bind_null(statement, 5 + 2 * c);
                sqlite3_bind_null(statement, 6 + 2 * c);
            } else {
                sqlite3_bind_double(statement, 5 + 2 * c, completed.block.mins[c]);
                sqlite3_bind_double(statement, 6 + 2 * c, completed.block.maxs[c]);
            }
            sqlite3_bind_int64(statement, sumsFrom + 3 * c, completed.block.counts[c]);
            sqlite3_bind_double(statement, sumsFrom + 3 * c + 1, completed.block.sums[c]);
            sqlite3_bind_double(statement, sumsFrom + 3 * c + 2, completed.block.squares[c]);
        }
        const bool stored = sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_reset(statement);
        if (!stored) {
            *error = sqlite_error(db);
            return false;
        }
    }
    return true;
}

void RunEnvelope::stop()
{
    writing_ = false;
    completed_.clear();
}

double RunEnvelope::read_level(sqlite3 *db, const QString &runTable, int level, double lower,
                               bool lowerOpen, double upper, RangeEnvelope &envelope)
{
    const QString table = sqlite_connection::quoted(table_name(runTable));
    double coveredUntil = -infinity;
    {
        const sqlite_connection::Statement last = sqlite_connection::prepare(
            db, QStringLiteral("SELECT last FROM %1 WHERE level = ?1 ORDER BY last DESC LIMIT 1")
                    .arg(table)
                    .toUtf8());
        if (!last)
            return coveredUntil; // no envelope: an older table, or one whose envelope is gone
        sqlite3_bind_int(last.get(), 1, level);
        if (sqlite3_step(last.get()) != SQLITE_ROW)
            return coveredUntil;
        coveredUntil = sqlite3_column_double(last.get(), 0);
    }
    // Columns: level, block, first, last, then min and max of each voltage column, and in
    // tables of newer versions the sums after them.
    const int columns = envelope.column_count();
    {
        const sqlite_connection::Statement all = sqlite_connection::prepare(
            db, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(table).toUtf8());
        const int stored = all ? sqlite3_column_count(all.get()) - 4 : -1;
        if (stored != 2 * columns && stored != 5 * columns)
            return -infinity;
    }
    // Only the extremes: SQLite decodes every column a statement names for every row, and
    // the sums would make that two and a half times the work.
    QString sql = QStringLiteral("SELECT first, last");
    for (int c = 1; c <= columns; ++c)
        sql += QStringLiteral(", min%1, max%1").arg(c);
    sql += QStringLiteral(" FROM %1 WHERE level = ?1 AND last %2 ?2 ORDER BY last")
               .arg(table, lowerOpen ? QLatin1String(">") : QLatin1String(">="));
    const sqlite_connection::Statement prepared = sqlite_connection::prepare(db, sql.toUtf8());
    if (!prepared)
        return -infinity;
    sqlite3_stmt *statement = prepared.get();
    sqlite3_bind_int(statement, 1, level);
    sqlite3_bind_double(statement, 2, lower);
    std::vector<double> mins(columns);
    std::vector<double> maxs(columns);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        const double first = sqlite3_column_double(statement, 0);
        if (first > upper)
            break; // blocks come in time order
        for (int c = 0; c < columns; ++c) {
            mins[c] = column_or_nan(statement, 2 + 2 * c);
            maxs[c] = column_or_nan(statement, 3 + 2 * c);
        }
        envelope.add_block(first, sqlite3_column_double(statement, 1), mins.data(), maxs.data());
    }
    return step == SQLITE_ROW || step == SQLITE_DONE ? coveredUntil : -infinity;
}

qint64 RunEnvelope::rows_covered(sqlite3 *db, const QString &runTable, double *lastTime)
{
    const std::vector<int> levels = stored_levels(db, runTable);
    if (levels.empty())
        return 0;
    const sqlite_connection::Statement last = sqlite_connection::prepare(
        db, QStringLiteral("SELECT block, last FROM %1 WHERE level = ?1 ORDER BY last DESC LIMIT 1")
                .arg(sqlite_connection::quoted(table_name(runTable)))
                .toUtf8());
    if (!last || sqlite3_bind_int(last.get(), 1, levels.front()) != SQLITE_OK ||
        sqlite3_step(last.get()) != SQLITE_ROW)
        return 0;
    *lastTime = sqlite3_column_double(last.get(), 1);
    return (sqlite3_column_int64(last.get(), 0) + 1) * levels.front();
}

std::vector<int> RunEnvelope::stored_levels(sqlite3 *db, const QString &runTable)
{
    std::vector<int> levels;
    // One seek per level on the key (level, last, block), however many blocks there are.
    const sqlite_connection::Statement next = sqlite_connection::prepare(
        db, QStringLiteral("SELECT level FROM %1 WHERE level > ?1 ORDER BY level LIMIT 1")
                .arg(sqlite_connection::quoted(table_name(runTable)))
                .toUtf8());
    if (!next)
        return levels;
    int below = 0;
    while (sqlite3_bind_int(next.get(), 1, below) == SQLITE_OK &&
           sqlite3_step(next.get()) == SQLITE_ROW) {
        below = sqlite3_column_int(next.get(), 0);
        levels.push_back(below);
        sqlite3_reset(next.get());
    }
    return levels;
}

bool RunEnvelope::has_sums(sqlite3 *db, const QString &runTable)
{
    return bool(
        sqlite_connection::prepare(db, QStringLiteral("SELECT n1 FROM %1 LIMIT 0")
                                           .arg(sqlite_connection::quoted(table_name(runTable)))
                                           .toUtf8()));
}
