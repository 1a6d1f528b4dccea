#pragma once

#include "rangecolumns.h"
#include "rangeenvelope.h"
#include "runcatalogue.h"
#include "runfacts.h"
#include "rungaps.h"
#include "runmarks.h"
#include "runreader.h"
#include "runstatistics.h"
#include "runwriter.h"
#include "samplerow.h"
#include "sqliteconnection.h"
#include "status.h"
#include "tablecsv.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QIODevice;
class QThread;
class ThreadConnections;
struct sqlite3;

// The run tables of the sample database ("Quorlen.db" in the working directory by
// default): one table per acquisition run, batched inserts, time-range reads, CSV export
// and the clean-up on exit. Every operation may be called from any thread; each thread
// works on its own connection to the same file.
class SampleDatabase
{
public:
    // The window's database, in its working folder.
    static constexpr char defaultFileName[] = "Quorlen.db";

    enum class Access { ReadWrite, ReadOnly, Scratch };

    // A read-only database never writes its file: for looking at another program's runs. A
    // scratch database is a file of its own, thrown away after use (a CSV read in for
    // review): written without journal and syncs, so a crash or a failed write may leave it
    // unreadable.
    explicit SampleDatabase(const QString &fileName = QString::fromLatin1(defaultFileName),
                            Access access = Access::ReadWrite);
    ~SampleDatabase();
    SampleDatabase(const SampleDatabase &) = delete;
    SampleDatabase &operator=(const SampleDatabase &) = delete;

    // Opens the calling thread's connection; ok when it is open afterwards, else SQLite's
    // words for why not.
    Status open_database();
    // Reads the file's catalogue on the calling thread's connection. SQLite opens a file
    // lazily: one that is no database, is damaged, or cannot be read where it lies only fails
    // at the first read, and would otherwise pass for a database without runs. SQLite's
    // words on a failure.
    Status check_readable();
    // The calling thread's SQLite connection, opened once open_database() succeeded on any
    // thread; null before. For the few who must run statements of their own on the very
    // connection the database uses (its tests, the benchmarks).
    sqlite3 *connection_handle();
    using RangeEnds = run_reader::RangeEnds;

    // Creates a new run table with one voltage column (Vol) or sixteen (Vol1 to Vol16), its
    // time index and its envelope table (see RunEnvelope), which insert_samples keeps, in one
    // transaction under SQLite's write lock. Fails when the table exists: a run only ever
    // writes into the table it created, whatever else uses the file. The mode is stored
    // whatever the outcome, the name only on success.
    Status create_table(const QString &name, bool singleChannel);
    // Creates the table of a run started at startTime (see run_table_base_name); when another
    // run, of this or another program, has taken that name, the next free one with "_2",
    // "_3", ... appended. Returns the name, or why no table could be created.
    Result<QString> create_run_table(const QDateTime &startTime, bool singleChannel);
    // What an insert stored: the rows that reached the table, and when rows that fit it were
    // lost, SQLite's reason (a full disk, a lost file); ok otherwise.
    struct Stored
    {
        int rows = 0;
        Status status;
    };
    // Appends rows (time first, then 1 or 16 voltages) to the table the last create_table
    // made (current_table_name) in one transaction. Rows whose length does not fit the table
    // are skipped; the first row SQLite refuses ends the batch.
    Stored insert_samples(const QList<SampleRow> &batch);
    // Hands the writer of the table the last create_table or create_run_table made over to
    // the run that writes it (see RunTableSink); null when `table` is not that table.
    // insert_samples and insert_rows then have no table until the next one is made.
    std::unique_ptr<RunWriter> take_writer(const QString &table);
    // Appends rows through `writer`, on the calling thread's connection, as insert_samples.
    Stored insert_samples(RunWriter &writer, const QList<SampleRow> &batch);
    // The same for `rows` rows laid out one after another, each the time and then 1 or 16
    // voltages as that table has them: no list per row, for bulk loads.
    Stored insert_rows(const double *values, qsizetype rows);
    // The rows of table with time in [lower, upper] as columns, the ends included as asked.
    // Empty when there is no such row or the table cannot be read.
    RangeColumns read_time_range(const QString &table, double lower, double upper,
                                 RangeEnds ends = RangeEnds::Both);
    // About how many rows of table lie in [lower, upper], from two index look-ups (exact
    // while the rows were stored in time order); 0 when it cannot be told.
    qint64 count_time_range(const QString &table, double lower, double upper);
    // The extremes of every voltage column of table over [lower, upper] in `buckets` buckets
    // of equal width, read from the coarsest envelope level that still gives a block or more
    // per bucket, plus the rows that no block covers; from the rows alone when there is no
    // envelope.
    RangeEnvelope read_envelope(const QString &table, double lower, double upper, int buckets);
    // Samples, extremes, mean and RMS of every voltage column of a run table over
    // [from, to], from the envelope levels where it has sums (see RunStatistics). Empty when
    // the name is not a run table's or the table cannot be read.
    RunStatistics read_statistics(const QString &table, const TimeRange &range);
    // The named run table as CSV, voltages printed with voltageDecimals (the time keeps four).
    // False, and no file, when the name is not a run table's or the table cannot be read or
    // written. The program's own exports go through CsvExporter.
    bool export_table(const QString &path, const QString &tableName, int voltageDecimals);
    // The same, saying how it ended: whether the table could not be read or the file not
    // written, and why; rowsWritten, when given, follows the rows written so far.
    Status write_csv(const QString &path, const QString &tableName, int voltageDecimals,
                     const std::optional<TimeRange> &range = {},
                     std::atomic<qint64> *rowsWritten = nullptr);
    // The named run table as CSV into a device open for writing (a pipe, a terminal,
    // standard output, a save file), streamed as the rows are read.
    Status write_csv(QIODevice &device, const QString &tableName, int voltageDecimals,
                     const std::optional<TimeRange> &range = {},
                     std::atomic<qint64> *rowsWritten = nullptr);
    // Drops every table in one transaction; the first failure rolls all of them back. A run
    // table's envelope goes with it.
    void drop_all_tables();
    // Drops the named run tables (those that are there) with their envelopes, in one
    // transaction; false, and nothing dropped, on a failure.
    bool drop_tables(const QStringList &names);

    // The tables of the file, envelope tables left out.
    QStringList table_names();
    bool table_exists(const QString &name);
    // Rows in the table, or -1 when it cannot be counted.
    qint64 row_count(const QString &table);
    // The run tables of the file, and what one holds (see run_catalogue).
    QStringList run_names();
    Result<RunListing>
    describe_run(const QString &table,
                 run_catalogue::RowCount count = run_catalogue::RowCount::FromEnvelope);

    // The facts of a run (see RunFacts): written at its start, completed at its end.
    Status write_facts_start(const QString &table, const RunFacts &facts);
    Status write_facts_end(const QString &table, const RunFacts &facts);
    // Nothing for a run without facts (an older version's) or a name that is not a run's.
    std::optional<RunFacts> read_facts(const QString &table);
    // A mark of the run, committed at once (see run_marks); its marks in time order.
    Status add_mark(const QString &table, const RunMark &mark);
    QList<RunMark> read_marks(const QString &table);
    // A gap of the run, committed at once (see run_gaps); its gaps in time order.
    Status add_gap(const QString &table, const RunGap &gap);
    QList<RunGap> read_gaps(const QString &table);
    // The JSON file beside an export of the table (see run_sidecar), and its content alone.
    Result<QByteArray> sidecar_content(const QString &table, const std::optional<TimeRange> &range);
    Status write_sidecar(const QString &exportedFile, const QString &table,
                         const std::optional<TimeRange> &range = {});

    // The table the inserts go to: the last one create_table or create_run_table made. Reads
    // name their table themselves.
    QString current_table_name() const;
    QString file_name() const { return fileName_; }
    bool is_read_only() const { return access_ == Access::ReadOnly; }
    bool is_single_channel() const;

    // Only names the system gives its run tables are accepted: "dataSample_", the start
    // time as yyyyMMdd_hh_mm_ss and optionally "_" and a number.
    static bool is_valid_table_name(const QString &name);

private:
    Status create_fresh_table(const QString &name, bool singleChannel);
    // The calling thread's connection; null while it is not open.
    sqlite3 *connection();
    bool accepts_table_name(const QString &name) const;

    const QString fileName_;
    const Access access_;
    // A read-only database removes, when it goes, the write-ahead log its reading made.
    const bool hadLog_;
    QThread *const owner_;                 // the creating thread, which uses connection_
    sqlite_connection::Handle connection_; // used by owner_ only; null until opened
    std::unique_ptr<ThreadConnections> threadConnections_; // everyone else's connections
    std::atomic<bool> opened_{false}; // set by open_database; other threads then open theirs

    mutable QMutex stateMutex_;
    QString currentTableName_;  // guarded by stateMutex_; set by create_table, read by all
    bool singleChannel_ = true; // guarded by stateMutex_
    QString openError_;         // guarded by stateMutex_; why the last open_database failed

    // Set by create_table (GUI thread), fed by insert_samples (the save
    // thread); null before the first table.
    QMutex writerMutex_;
    std::unique_ptr<RunWriter> writer_; // guarded by writerMutex_
};
