#pragma once

#include "tablecsv.h"

#include <QString>

#include <optional>

class CommandParser;
class SampleDatabase;
struct RunListing;

// --from S and --to S: a stretch of a run in seconds from its start, both ends included.
class RangeOptions
{
public:
    static void add_options(CommandParser &parser);
    // Reads both (a missing end is open); refuses, in the parser, a malformed number or a
    // start after the end.
    explicit RangeOptions(CommandParser &parser);

    bool is_set() const { return from_ || to_; }
    // The range within run, both ends filled in from the run where they were not given.
    // Nothing, with why in `error` (naming the run's span), when it holds no sample of it.
    std::optional<TimeRange> within(const RunListing &run, QString *error) const;
    // The same for the run table of database, after saying why on standard error when it
    // cannot be had; then `exitCode` is set (1: the table cannot be read, 2: no sample of the
    // run in the range).
    std::optional<TimeRange> within(SampleDatabase &database, const QString &table,
                                    int *exitCode) const;

private:
    std::optional<double> from_;
    std::optional<double> to_;
};
