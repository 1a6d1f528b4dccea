#pragma once

#include <QDateTime>
#include <QString>

// The table name of a run started at `startTime`: "dataSample_" and the time as
// yyyyMMdd_hh_mm_ss. A run started within the same second as another one gets "_2",
// "_3", ... appended (SampleDatabase::create_run_table), so every run gets a table of its own.
QString run_table_base_name(const QDateTime &startTime);

// Only names the system gives its run tables are accepted: "dataSample_", the start time as
// yyyyMMdd_hh_mm_ss and optionally "_" and a number.
bool is_run_table_name(const QString &name);

// The start time a run table's name carries (local time, to the second); invalid for a name
// that is not a run table's.
QDateTime run_start_time(const QString &name);
