#pragma once

#include "runsink.h"
#include "sampledatabase.h"
#include "samplerow.h"

#include <QList>
#include <QString>

#include <memory>

class RunWriter;

// The run's own table as a sink: owns the writer of the table the run made, so the save
// thread writes into that table by name and not into whatever the database last made, and
// writes the run's facts, marks and gaps beside it. The run engine calls it directly (not
// through a hand-off): whether rows and facts were kept decides how the run ends.
// store() runs on the save thread only; the events on the run's owner thread only.
class RunTableSink : public RunSink
{
public:
    // Takes over the writer of `table` from `database` (see SampleDatabase::take_writer).
    RunTableSink(SampleDatabase *database, const QString &table);
    ~RunTableSink() override;
    RunTableSink(const RunTableSink &) = delete;
    RunTableSink &operator=(const RunTableSink &) = delete;

    const QString &table() const { return table_; }
    SampleDatabase *database() const { return database_; }

    // Appends rows (the time, then 1 or 16 voltages) in one transaction: how many reached the
    // table, and SQLite's reason when rows that fit were lost.
    SampleDatabase::Stored store(const QList<SampleRow> &batch);

    QString sink_name() const override;
    Status run_started(const QString &table, const RunSettings &settings,
                       const RunFacts &facts) override;
    Status mark_added(const RunMark &mark) override;
    Status gap_found(const RunGap &gap) override;
    // Completes the run's facts; called by the run engine before the verdict is known.
    Status write_end(const RunFacts &facts);

private:
    SampleDatabase *const database_;
    const QString table_;
    std::unique_ptr<RunWriter> writer_; // used by the save thread only, once it runs
};
