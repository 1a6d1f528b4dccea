#include "runtablesink.h"

#include "runwriter.h"
#include "sampledatabase.h"

RunTableSink::RunTableSink(SampleDatabase *database, const QString &table)
    : database_(database)
    , table_(table)
    , writer_(database->take_writer(table))
{}

RunTableSink::~RunTableSink() = default;

int RunTableSink::store(const QList<SampleRow> &batch, QString *error)
{
    if (writer_ == nullptr) {
        // Rows were lost, unless there were none.
        if (error != nullptr) {
            *error = batch.isEmpty() ? QString() : QStringLiteral("no run table to write to");
        }
        return 0;
    }
    return database_->insert_samples(*writer_, batch, error);
}

QString RunTableSink::sink_name() const
{
    return QStringLiteral("run table");
}

Status RunTableSink::run_started(const QString &table, const RunSettings &, const RunFacts &facts)
{
    QString reason;
    if (database_->write_facts_start(table, facts, &reason)) {
        return Status::success();
    }
    return Status::write_failed(reason);
}

Status RunTableSink::mark_added(const RunMark &mark)
{
    QString reason;
    if (database_->add_mark(table_, mark, &reason)) {
        return Status::success();
    }
    return Status::write_failed(reason);
}

Status RunTableSink::gap_found(const RunGap &gap)
{
    QString reason;
    if (database_->add_gap(table_, gap, &reason)) {
        return Status::success();
    }
    return Status::write_failed(reason);
}

Status RunTableSink::write_end(const RunFacts &facts)
{
    QString reason;
    if (database_->write_facts_end(table_, facts, &reason)) {
        return Status::success();
    }
    return Status::write_failed(reason);
}
