#pragma once

#include <QString>

#include <memory>

class CommandParser;
class SampleDatabase;

// Opens a database file that must exist already: commands that only read or
// export runs never create an empty database by mistake.
class ExistingDatabase
{
public:
    // The open and readable database, or null after printing why not.
    static std::unique_ptr<SampleDatabase> open(const QString &file);
    // True when the file holds something else than an SQLite database: it is not empty and
    // does not start with SQLite's header. SQLite itself takes a file shorter than a page for
    // an empty database and writes over it. False for a missing, empty or unreadable file.
    static bool holds_other_data(const QString &file);

    // True when --db names a PostgreSQL server (see MirrorTarget::names_server) and no file.
    static bool names_server(const QString &file);

    // The recorder keeps its runs in a file of its own: the window drops every table of
    // its own file (Quorlen.db) when it closes.
    static QString default_file();
    // Refuses, in the parser, a missing --table or one that is no run table name.
    static void check_table(CommandParser &parser, const QString &tableOption);
    // The open database holding table, or null after saying why; then `exitCode` is set (1:
    // the file cannot be used, 2: no such run table in it).
    static std::unique_ptr<SampleDatabase> open_with_table(const QString &file,
                                                           const QString &table, int *exitCode);
    // Once the parser's checks are done: prints their first refusal, or opens the --db file
    // holding table as open_with_table does; null with `exitCode` set when either failed.
    static std::unique_ptr<SampleDatabase> open_after_checks(const CommandParser &parser,
                                                             const QString &table, int *exitCode);
    // The --db option every command that uses the database takes, and its value; server:
    // the command reads runs from a PostgreSQL server too.
    static void add_option(CommandParser &parser, bool server = false);
    static QString file(const CommandParser &parser);
};
