#include "crashrecovery.h"

#include "sampledatabase.h"
#include "savefiledialog.h"
#include "settingsstore.h"

#include <QMessageBox>

namespace {
const QString normalExitKey = QStringLiteral("NormalExit");
const QString lastTableKey = QStringLiteral("last_table_name");
} // namespace

CrashRecovery::CrashRecovery(QWidget *window, SampleDatabase *database)
    : window_(window)
    , database_(database)
{}

QString CrashRecovery::left_run() const
{
    if (read_setting(normalExitKey, true).toBool())
        return QString();
    const QString table = read_setting(lastTableKey, QString()).toString();
    if (!SampleDatabase::is_valid_table_name(table) || !database_->table_exists(table))
        return QString();
    return table;
}

QString CrashRecovery::offer_last_run(const QString &directory)
{
    // Only rows left behind are worth a prompt: a crash before any run, or one whose table
    // is gone or empty, leaves nothing to save.
    const QString table = left_run();
    if (table.isEmpty() || database_->row_count(table) <= 0)
        return QString();
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        window_, tr("Warning"),
        tr("The program did not exit properly last time. Please manually save the previous "
           "test data."),
        QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Save && save_run(table, directory))
        return QString();
    return table;
}

bool CrashRecovery::save_run(const QString &table, const QString &directory)
{
    QString path =
        ask_save_file_name(window_, tr("Saving Data Files"), directory, tr("Data Files (*.csv)"));
    // A cancelled dialog means no export at all rather than an export to an empty path.
    if (path.isEmpty())
        return false;
    if (!path.endsWith(QStringLiteral(".csv")))
        path += QStringLiteral(".csv");
    return export_table(path, table);
}

bool CrashRecovery::export_table(const QString &path, const QString &table)
{
    QString failure;
    if (!SampleDatabase::is_valid_table_name(table)) {
        failure = tr("The saved table name \"%1\" is not the name of a run table.").arg(table);
    } else if (!database_->table_exists(table)) {
        failure = tr("The table %1 of the last run is not in the database.").arg(table);
    } else if (!database_->export_table(path, table)) {
        failure = tr("The file %1 could not be written.").arg(path);
    }
    if (!failure.isEmpty()) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("The previous test data could not be saved. ") + failure);
    }
    return failure.isEmpty();
}
