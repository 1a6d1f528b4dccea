#include "logmanager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <chrono>

namespace {

constexpr std::chrono::milliseconds kIdlePollMs{500};
constexpr std::chrono::milliseconds kLinePacingMs{50};
constexpr qint64 kKeepDays = 3;

// Read by any thread that logs; written only by start/stop, which the application calls while
// no other thread logs.
std::atomic<LogManager *> g_log_manager{nullptr};

QString left_out_line(quint64 count)
{
    return QStringLiteral("%1 log lines left out: the log queue was full").arg(count);
}

void write_line(QTextStream &stream, const QString &message)
{
    stream << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
           << QStringLiteral("   >>   ") << message << '\n';
}

} // namespace

LogManager::LogManager(int maxQueuedLines, QObject *parent, Clock clock)
    : QThread(parent)
    , file_(std::make_unique<QFile>())
    , clock_(std::move(clock))
    , maxQueuedLines_(maxQueuedLines)
    , logDirectory_(QDir::currentPath() + QStringLiteral("/Logs"))
{
    QDir dir(logDirectory_);
    const QDateTime now = clock_();
    if (dir.exists())
        remove_old_files(now);
    else
        dir.mkpath(QStringLiteral("."));

    fileDay_ = now.date();
    file_->setFileName(file_name_for(fileDay_));
    filePath_ = file_->fileName();
    if (file_->open(QIODevice::WriteOnly | QIODevice::Append)) {
        fileOpen_ = true;
        running_ = true;
        echo_ = true;
    } else {
        const QFileInfo folder(logDirectory_);
        if (!folder.exists())
            openError_ = QStringLiteral("it could not be created");
        else if (!folder.isDir())
            openError_ = QStringLiteral("it is a file, not a folder");
        else
            openError_ = file_->errorString();
        qDebug().noquote() << QStringLiteral("日志文件被占用，打开失败！");
    }
}

LogManager::~LogManager()
{
    {
        std::lock_guard<std::mutex> lock(pauseMutex_);
        running_ = false;
    }
    wake_.notify_all();
    wait();
    finished_.load(std::memory_order_acquire);
    file_->close();
}

QString LogManager::file_path() const
{
    QMutexLocker locker(&mutex_);
    return filePath_;
}

QString LogManager::file_name_for(const QDate &day) const
{
    return logDirectory_ + QStringLiteral("/Log") + day.toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".txt");
}

void LogManager::start_new_day_if_due()
{
    const QDateTime now = clock_();
    if (now.date() == fileDay_)
        return;
    file_->close();
    fileDay_ = now.date();
    file_->setFileName(file_name_for(fileDay_));
    {
        QMutexLocker locker(&mutex_);
        filePath_ = file_->fileName();
    }
    // A file that cannot be opened now is tried again with the next line.
    if (file_->open(QIODevice::WriteOnly | QIODevice::Append))
        remove_old_files(now);
    else
        fileDay_ = QDate();
}

QDateTime LogManager::age_reference_time(const QFileInfo &info)
{
    // A file restored or unpacked from elsewhere is born now but keeps its older modification
    // time; the earlier of the two is the better measure of how old its content is.
    const QDateTime born = info.birthTime();
    const QDateTime modified = info.lastModified();
    if (!born.isValid())
        return modified;
    if (modified.isValid() && modified < born)
        return modified;
    return born;
}

void LogManager::remove_old_files(const QDateTime &now) const
{
    const QDir dir(logDirectory_);
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::NoSort);
    for (const QFileInfo &info : files) {
        const QDateTime reference = age_reference_time(info);
        if (reference.isValid() && reference.daysTo(now) > kKeepDays)
            QFile::remove(info.absoluteFilePath()); // failure is not worth stopping start-up for
    }
}

void LogManager::write_log(QString message)
{
    // Without an open file nothing would ever take messages out; don't let them pile up.
    if (!fileOpen_)
        return;
    QMutexLocker locker(&mutex_);
    if (queue_.size() >= maxQueuedLines_) {
        ++leftOut_;
        return;
    }
    queue_.append(std::move(message));
}

int LogManager::queued_lines() const
{
    QMutexLocker locker(&mutex_);
    return int(queue_.size());
}

bool LogManager::take_next(QString &message)
{
    QMutexLocker locker(&mutex_);
    if (!queue_.isEmpty()) {
        message = queue_.takeFirst();
        return true;
    }
    if (leftOut_ > 0) {
        message = left_out_line(leftOut_);
        leftOut_ = 0;
        return true;
    }
    return false;
}

void LogManager::pause(std::chrono::milliseconds duration)
{
    std::unique_lock<std::mutex> lock(pauseMutex_);
    wake_.wait_for(lock, duration, [this] { return !running_; });
}

void LogManager::run()
{
    if (!fileOpen_)
        return;

    QTextStream stream(file_.get());
    write_line(stream, QStringLiteral("日志线程开启"));
    stream.flush();

    do {
        QString message;
        if (!take_next(message)) {
            pause(kIdlePollMs);
            continue;
        }
        if (echo_)
            qDebug().noquote() << message;
        start_new_day_if_due();
        if (file_->isOpen())
            write_line(stream, message);
        stream.flush();
        pause(kLinePacingMs);
    } while (running_);

    QStringList remaining;
    quint64 leftOut = 0;
    {
        QMutexLocker locker(&mutex_);
        remaining.swap(queue_);
        std::swap(leftOut, leftOut_);
    }
    start_new_day_if_due();
    if (file_->isOpen()) {
        for (const QString &message : std::as_const(remaining))
            write_line(stream, message);
        if (leftOut > 0)
            write_line(stream, left_out_line(leftOut));
        write_line(stream, QStringLiteral("日志线程结束"));
        stream.flush();
    }
    finished_.store(true, std::memory_order_release);
}

void start_log_manager()
{
    auto *manager = new LogManager;
    g_log_manager = manager;
    manager->start(QThread::InheritPriority);
}

LogManager *log_manager()
{
    return g_log_manager;
}

void stop_log_manager()
{
    delete g_log_manager.exchange(nullptr);
}

void write_log(const QString &message)
{
    if (LogManager *manager = g_log_manager)
        manager->write_log(message);
}
