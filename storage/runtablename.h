#pragma once

#include <QDateTime>
#include <QString>

class SampleDatabase;

// The table name of a run started at `startTime`: "dataSample_" and the time as
// yyyyMMdd_hh_mm_ss. When that table exists already (two runs within one
// second), "_2", "_3", ... is appended, so every run gets a table of its own.
QString new_run_table_name(SampleDatabase &database, const QDateTime &startTime);
