#pragma once

#include <QString>

class CommandParser;

// Where a command writes a run table as CSV (--csv). Never over one of the database's own
// files: that would ruin every run in it.
class CsvOutput
{
public:
    // Refuses, in the parser, a target that is the database file or one of SQLite's
    // companions of it, by whatever path or link it is named.
    static void check_target(CommandParser &parser, const QString &target,
                             const QString &databaseFile);
};
