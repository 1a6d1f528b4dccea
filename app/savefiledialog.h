#pragma once

#include <QString>

class QWidget;

// Asks the operator for a file to save to, with the caption, start directory and name filter
// given (no filter when empty), offering `proposedName` (none when empty) as the file name;
// returns the chosen path, or an empty string when cancelled.
//
// The dialog names its files by their names and kinds alone and never opens one. Opening and
// closing any descriptor on the database, its write-ahead log or its shared-memory file would
// drop every POSIX lock this process holds on it: a reader in another process would then take
// the database for unused, checkpoint it and delete the log that this process still writes
// to. Qt's stock dialogs read the first bytes of each file to pick its icon and type, and a
// platform's native dialog may do the same, so Qt's own dialog is used, with icons chosen by
// file kind. GUI thread only.
QString ask_save_file_name(QWidget *parent, const QString &caption, const QString &directory,
                           const QString &filter = QString(),
                           const QString &proposedName = QString());

// The same for an existing file to open.
QString ask_open_file_name(QWidget *parent, const QString &caption, const QString &directory,
                           const QString &filter = QString());
