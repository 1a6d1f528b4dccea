#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;
class SampleDatabase;

// The run a process left behind when it did not exit cleanly: offered for saving at start-up,
// and saved on request later. The table's name comes from the editable settings file, so it
// is checked to be a run table before it goes near SQL. GUI thread only; the CSV itself is
// written on a worker behind the busy dialog.
class CrashRecovery
{
    Q_DECLARE_TR_FUNCTIONS(CrashRecovery)

public:
    CrashRecovery(QWidget *window, SampleDatabase *database);

    // The table of the last run of a window that did not exit cleanly, when that table is
    // still in the database; empty after a clean exit.
    QString left_run() const;
    // When the previous window did not exit cleanly and its last run left rows, asks whether
    // to save them. Returns the table whose rows are still unsaved afterwards, or empty.
    QString offer_last_run(const QString &directory);
    // Asks for a CSV file and writes the run table to it; true when it was written.
    bool save_run(const QString &table, const QString &directory);

private:
    bool export_table(const QString &path, const QString &table);
    // The rows of the run's table; 0 when it cannot be read.
    qint64 row_count(const QString &table);
    // Writes the CSV and its sidecar on a worker thread while the busy dialog shows the rows
    // written so far; what went wrong, or an empty string.
    QString write_behind_busy_dialog(const QString &path, const QString &table);

    QWidget *const window_;
    SampleDatabase *const database_;
};
