#pragma once

#include <QStringList>

struct RunListing;

// telvane-cli tables: the run tables in a database with rows, mode, time span and start time.
class TablesCommand
{
public:
    static int run(const QStringList &arguments);
    // Tab-separated: name, rows, mode, first..last time in seconds ("-" when empty), start
    // time ("-" when the name does not tell).
    static QString line(const RunListing &run);
};
