#include "crashrecovery.h"

#include "busydialogjob.h"
#include "csvexporter.h"
#include "runsidecar.h"
#include "sampledatabase.h"
#include "savefiledialog.h"
#include "settingsstore.h"

#include <QMessageBox>

#include <atomic>
#include <memory>

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
    const qint64 samples = table.isEmpty() ? 0 : row_count(table);
    if (samples <= 0)
        return QString();
    // The run named as the close question names it.
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        window_, tr("Warning"),
        tr("The program did not exit properly last time. The run %1 (%2 samples) has not been "
           "exported. Please manually save the previous test data.")
            .arg(table)
            .arg(samples),
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
    } else {
        failure = write_behind_busy_dialog(path, table);
    }
    if (!failure.isEmpty()) {
        QMessageBox::warning(window_, tr("Warning"),
                             tr("The previous test data could not be saved. ") + failure);
    }
    return failure.isEmpty();
}

qint64 CrashRecovery::row_count(const QString &table)
{
    // From the run's envelope and time index, where counting every row would hold up the start.
    const Result<RunListing> run = database_->describe_run(table);
    return run.ok() ? run->rows : 0;
}

QString CrashRecovery::write_behind_busy_dialog(const QString &path, const QString &table)
{
    // A long run left behind takes seconds to write, and counting its rows for the sidecar
    // a good part of one; the window stays responsive meanwhile.
    SampleDatabase *database = database_;
    auto rows = std::make_shared<std::atomic<qint64>>(0);
    return run_behind_busy_dialog(
        tr("Saving the previous test data"),
        [database, path, table, rows]() -> QString {
            CsvExporter exporter(CsvExporter::Precision::Full);
            QString failedFile;
            RunExporter::Request request;
            request.database = database;
            request.table = table;
            request.path = path;
            request.rowsWritten = rows.get();
            request.failedFile = &failedFile;
            const Status status = exporter.write(request);
            if (status.ok())
                return QString();
            const QString sidecar = run_sidecar::path_beside(path);
            return failedFile == sidecar
                       ? tr("The file %1 could not be written: %2.").arg(sidecar, status.message())
                       : tr("The file %1 could not be written.").arg(path);
        },
        [rows] { return tr("Saving the previous test data: %1 rows").arg(rows->load()); });
}
