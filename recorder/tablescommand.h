#pragma once

#include "runfacts.h"

#include <QStringList>

#include <optional>

struct RunListing;

// telvane-cli tables: the run tables in a database with rows, mode, time span and start time.
class TablesCommand
{
public:
    static int run(const QStringList &arguments);
    // Tab-separated: name, rows, mode, first..last time in seconds ("-" when empty), start
    // time ("-" when the name does not tell); then from the facts the rate, collection time
    // and outcome ("-" for a run without facts).
    static QString line(const RunListing &run, const std::optional<RunFacts> &facts = {});

private:
    // The runs of a PostgreSQL server's catalogue, as those of a file.
    static int list_server(const QString &target);
};
