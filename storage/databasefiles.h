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

} // namespace database_files
