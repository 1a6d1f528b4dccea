#include "csvexporter.h"

#include "runsidecar.h"
#include "sampledatabase.h"
#include "savefilecommit.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>

namespace {
Status failed_at(const RunExporter::Request &request, const QString &file, const Status &status)
{
    if (request.failedFile != nullptr)
        *request.failedFile = file;
    return status;
}
} // namespace

std::optional<CsvExporter::Precision> CsvExporter::precision_with(int decimals)
{
    for (const Precision precision : {Precision::Run, Precision::Full}) {
        if (voltage_decimals(precision) == decimals)
            return precision;
    }
    return std::nullopt;
}

CsvExporter::CsvExporter(Precision precision)
    : voltageDecimals_(voltage_decimals(precision))
{}

QString CsvExporter::extension() const
{
    return QStringLiteral(".csv");
}

Status CsvExporter::write(const Request &request)
{
    SampleDatabase &database = *request.database;
    if (request.device != nullptr) {
        return failed_at(request, QString(),
                         database.write_csv(*request.device, request.table, voltageDecimals_,
                                            request.range, request.rowsWritten));
    }
    if (!request.sidecar) {
        return failed_at(request, request.path,
                         database.write_csv(request.path, request.table, voltageDecimals_,
                                            request.range, request.rowsWritten));
    }
    return write_with_sidecar(request);
}

// Both files are made whole beside their names before either takes its name: a failed export
// leaves neither, and replaces no file already there.
Status CsvExporter::write_with_sidecar(const Request &request) const
{
    SampleDatabase &database = *request.database;
    const QString &path = request.path;
    QSaveFile csv(path);
    if (!csv.open(QIODevice::WriteOnly)) {
        qDebug() << "Error: Unable to open file for writing";
        return failed_at(request, path, Status::write_failed(csv.errorString()));
    }
    const Status rows = database.write_csv(csv, request.table, voltageDecimals_, request.range,
                                           request.rowsWritten);
    if (!rows.ok())
        return failed_at(request, path, rows);

    // Described after the rows are written, so a table that cannot be read fails as the CSV's.
    const QString name = run_sidecar::path_beside(path);
    const Result<QByteArray> json = database.sidecar_content(request.table, request.range);
    if (!json.ok())
        return failed_at(request, name, json.status());
    QSaveFile sidecar(name);
    if (!sidecar.open(QIODevice::WriteOnly) || sidecar.write(*json) != json->size() ||
        !sidecar.flush()) {
        return failed_at(request, name, Status::write_failed(sidecar.errorString()));
    }
    if (!commit_save_file(csv)) {
        qDebug().noquote() << "Error: Unable to write file" << path << csv.errorString();
        return failed_at(request, path, Status::write_failed(csv.errorString()));
    }
    if (!commit_save_file(sidecar)) {
        // Only putting it in place failed; the CSV goes with it.
        QFile::remove(path);
        return failed_at(request, name, Status::write_failed(sidecar.errorString()));
    }
    qDebug().noquote() << "Data exported to" << path;
    return Status::success();
}
