#include "sinkguard.h"

#include "logmanager.h"
#include "runsink.h"

#include <QMutexLocker>

#include <exception>

SinkGuard::SinkGuard(RunSink *sink)
    : sink_(sink)
{}

bool SinkGuard::call(const Call &call)
{
    if (detached_.load()) {
        return false;
    }
    try {
        const Status status = call(*sink_);
        if (!status.ok()) {
            failed(status, false);
        }
        return true;
    } catch (const std::exception &error) {
        failed(Status::failure(Status::Kind::WriteFailed, QString::fromLocal8Bit(error.what())),
               true);
    } catch (...) {
        failed(Status::failure(Status::Kind::WriteFailed, QStringLiteral("unknown exception")),
               true);
    }
    return false;
}

Status SinkGuard::status() const
{
    QMutexLocker lock(&mutex_);
    return failure_;
}

void SinkGuard::failed(const Status &status, bool detach)
{
    bool first = false;
    {
        QMutexLocker lock(&mutex_);
        if (failure_.ok()) {
            failure_ = status;
            first = true;
        }
    }
    if (detach && !detached_.exchange(true)) {
        write_log(QStringLiteral("输出 %1 已断开: %2").arg(sink_->sink_name(), status.message()));
        return;
    }
    if (first) {
        write_log(QStringLiteral("输出 %1 失败: %2").arg(sink_->sink_name(), status.message()));
    }
}
