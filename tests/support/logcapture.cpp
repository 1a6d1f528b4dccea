#include "logcapture.h"

#include "logmanager.h"
#include "logreader.h"

#include <QFile>

LogCapture::LogCapture()
{
    start_log_manager();
    filePath_ = log_manager()->file_path();
}

LogCapture::~LogCapture()
{
    stop_log_manager();
}

QStringList LogCapture::messages()
{
    stop_log_manager();
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return LogReader::messages_of(file.readAll());
}
