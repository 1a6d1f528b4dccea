#include "runowner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QString suffix = QStringLiteral(".owner");
// Room for a kept end, taken when the run begins: a full disk cannot refuse it later.
constexpr qsizetype reservedBytes = 512;

int open_file(const QString &path, int flags)
{
    return ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0644);
}

bool write_over(int fd, QByteArray text)
{
    if (text.size() > reservedBytes)
        return false;
    text.append(reservedBytes - text.size(), '\n');
    return ::pwrite(fd, text.constData(), size_t(text.size()), 0) == text.size();
}

QByteArray end_text(const RunFacts &facts)
{
    return QStringLiteral("outcome=%1\ncommitted_rows=%2\ndropped_frames=%3\ndropped_samples=%4\n"
                          "paused_ms=%5\nended_utc=%6\n")
        .arg(facts.outcome)
        .arg(facts.committedRows)
        .arg(facts.droppedFrames)
        .arg(facts.droppedSamples)
        .arg(facts.pausedMs)
        .arg(facts.ended.toUTC().toString(Qt::ISODateWithMs))
        .toUtf8();
}

// The file when nobody holds it, locked for good; -1 when someone does or it is not there.
int lock_left(const QString &path)
{
    const int fd = open_file(path, O_RDWR);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

RunOwner::~RunOwner()
{
    // A run gone without its end (the session went away) leaves its file, now let go of, as a
    // killed program's does.
    if (fd_ >= 0)
        ::close(fd_);
}

bool RunOwner::take(const QString &databaseFile, const QString &table)
{
    if (fd_ >= 0)
        ::close(fd_);
    path_ = path(databaseFile, table);
    const QString fresh = path_ + QStringLiteral(".%1").arg(::getpid());
    fd_ = open_file(fresh, O_RDWR | O_CREAT | O_TRUNC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0 && write_over(fd_, "recording\n") &&
        ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path_).constData()) == 0)
        return true;
    QFile::remove(fresh);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    return false;
}

void RunOwner::release()
{
    if (fd_ < 0)
        return;
    QFile::remove(path_);
    ::close(fd_);
    fd_ = -1;
}

void RunOwner::keep_end(const RunFacts &facts)
{
    if (fd_ < 0)
        return;
    write_over(fd_, end_text(facts));
    ::close(fd_);
    fd_ = -1;
}

bool RunOwner::is_recording(const QString &databaseFile, const QString &table)
{
    const int fd = open_file(path(databaseFile, table), O_RDONLY);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool RunOwner::fill_kept_end(const QString &databaseFile, const QString &table, RunFacts &facts)
{
    const int fd = open_file(path(databaseFile, table), O_RDONLY);
    if (fd < 0)
        return false;
    const std::optional<RunFacts> end = kept_end(fd);
    ::close(fd);
    if (!end)
        return false;
    facts.outcome = end->outcome;
    facts.committedRows = end->committedRows;
    facts.droppedFrames = end->droppedFrames;
    facts.droppedSamples = end->droppedSamples;
    facts.pausedMs = end->pausedMs;
    facts.ended = end->ended;
    return true;
}

void RunOwner::settle_left_runs(const QString &databaseFile, const EndWriter &write)
{
    const QFileInfo database(databaseFile);
    const QString prefix = database.fileName() + QLatin1Char('.');
    const QDir folder = database.absoluteDir();
    for (const QString &name :
         folder.entryList({prefix + QLatin1Char('*') + suffix}, QDir::Files)) {
        const QString table = name.mid(prefix.size(), name.size() - prefix.size() - suffix.size());
        const QString file = folder.filePath(name);
        const int fd = lock_left(file);
        if (fd < 0)
            continue;
        const std::optional<RunFacts> end = kept_end(fd);
        if (!end || write(table, *end))
            QFile::remove(file);
        ::close(fd);
    }
}

QString RunOwner::path(const QString &databaseFile, const QString &table)
{
    return databaseFile + QLatin1Char('.') + table + suffix;
}

std::optional<RunFacts> RunOwner::kept_end(int fd)
{
    char buffer[reservedBytes];
    const ssize_t size = ::pread(fd, buffer, sizeof buffer, 0);
    if (size <= 0)
        return std::nullopt;
    RunFacts end;
    for (const QByteArray &line : QByteArray(buffer, size).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue; // the padding, or the mark of a run being recorded
        const QByteArray name = line.left(equals);
        const QString value = QString::fromUtf8(line.mid(equals + 1));
        if (name == "outcome")
            end.outcome = value;
        else if (name == "committed_rows")
            end.committedRows = value.toLongLong();
        else if (name == "dropped_frames")
            end.droppedFrames = value.toULongLong();
        else if (name == "dropped_samples")
            end.droppedSamples = value.toULongLong();
        else if (name == "paused_ms")
            end.pausedMs = value.toLongLong();
        else if (name == "ended_utc")
            end.ended = QDateTime::fromString(value, Qt::ISODateWithMs).toUTC();
    }
    if (!end.is_complete())
        return std::nullopt;
    return end;
}

void RunOwner::complete_read_facts(const QString &databaseFile, const QString &table,
                                   RunFacts &facts)
{
    if (facts.is_complete() || databaseFile.isEmpty() || is_recording(databaseFile, table))
        return;
    facts.recordingGone = !fill_kept_end(databaseFile, table, facts);
}
