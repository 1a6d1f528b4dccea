#pragma once

#include <QString>

// The files SQLite keeps for one database: the database itself and its companions, the
// write-ahead log ("-wal"), its shared-memory index ("-shm") and the rollback journal
// ("-journal"). Writing any other content over one of them ruins the database.
namespace database_files {

// True when path names the database file or one of its companions, whether or not the
// file exists yet, by whatever route: another spelling ("./dir/../runs.db"), a symbolic
// link, or a hard link. Compares canonical paths and, for existing files, device and
// inode numbers.
bool is_database_or_companion(const QString &path, const QString &databaseFile);

// True when a write-ahead log ("-wal") or its index ("-shm") file lies beside databaseFile.
bool has_log(const QString &databaseFile);

// Removes an empty write-ahead log and its index beside databaseFile, as SQLite's last
// writing connection does when it closes, but only while no connection (of any process) has
// the database open: a reader's connection cannot remove what it made. Under the lock
// SQLite's own closing takes, so no connection opens the file meanwhile. Nothing is removed
// where that lock cannot be had (a file this user may not write).
void remove_unused_log(const QString &databaseFile);

} // namespace database_files
