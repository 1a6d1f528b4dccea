#include "runtablesink.h"

#include "runwriter.h"
#include "sampledatabase.h"

RunTableSink::RunTableSink(SampleDatabase *database, const QString &table)
    : database_(database)
    , table_(table)
    , writer_(database->take_writer(table))
{}

RunTableSink::~RunTableSink() = default;

SampleDatabase::Stored RunTableSink::store(const QList<SampleRow> &batch)
{
    if (writer_ == nullptr) {
        // Rows were lost, unless there were none.
        return {0, batch.isEmpty() ? Status::success()
                                   : Status::not_found(QStringLiteral("no run table to write to"))};
    }
    return database_->insert_samples(*writer_, batch);
}

QString RunTableSink::sink_name() const
{
    return QStringLiteral("run table");
}

Status RunTableSink::run_started(const QString &table, const RunSettings &, const RunFacts &facts)
{
    return database_->write_facts_start(table, facts);
}

Status RunTableSink::mark_added(const RunMark &mark)
{
    return database_->add_mark(table_, mark);
}

Status RunTableSink::gap_found(const RunGap &gap)
{
    return database_->add_gap(table_, gap);
}

Status RunTableSink::write_end(const RunFacts &facts)
{
    return database_->write_facts_end(table_, facts);
}
