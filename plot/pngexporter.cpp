#include "pngexporter.h"

#include "runsidecar.h"
#include "sampledatabase.h"
#include "voltageplot.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace {
// How long the picture of a stretch waits for the stretch's rows at most.
constexpr std::chrono::milliseconds stretchLoadLimit{10000};

Status failed_at(const RunExporter::Request &request, const QString &file, const Status &status)
{
    if (request.failedFile != nullptr)
        *request.failedFile = file;
    return status;
}
} // namespace

PngExporter::PngExporter(VoltagePlot *plot)
    : plot_(plot)
{}

QString PngExporter::extension() const
{
    return QStringLiteral(".png");
}

Status PngExporter::write(const Request &request)
{
    if (request.device != nullptr) {
        return failed_at(request, QString(),
                         Status::invalid(QStringLiteral("a picture is written to a file only")));
    }
    const bool saved =
        request.range ? save_stretch(request.path, *request.range) : plot_->save_png(request.path);
    if (!saved) {
        return failed_at(request, request.path,
                         Status::write_failed(QStringLiteral("the picture could not be saved")));
    }
    if (!request.sidecar)
        return Status::success();
    const Status sidecar =
        request.database->write_sidecar(request.path, request.table, request.range);
    return sidecar.ok() ? sidecar
                        : failed_at(request, run_sidecar::path_beside(request.path), sidecar);
}

bool PngExporter::save_stretch(const QString &path, const TimeRange &range)
{
    const QCPRange view = plot_->xAxis->range();
    plot_->xAxis->setRange(range.from, range.to);
    // The rows of the stretch come from the loader thread; the picture waits for them, or
    // for the limit, in an event loop of its own that leaves the operator's input queued.
    if (plot_->is_loading()) {
        QEventLoop loaded;
        QObject::connect(plot_, &VoltagePlot::loading_settled, &loaded, &QEventLoop::quit);
        QTimer::singleShot(stretchLoadLimit, &loaded, &QEventLoop::quit);
        loaded.exec(QEventLoop::ExcludeUserInputEvents);
    }
    const bool saved = plot_->save_png(path);
    plot_->xAxis->setRange(view);
    return saved;
}
