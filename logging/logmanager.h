#pragma once

#include <QDateTime>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <memory>

class QFile;
class QFileInfo;

// Writes time-stamped lines into the day's file under "Logs" of the working directory, on a
// thread of its own. Any thread hands it a message through write_log() and returns at once.
class LogManager : public QThread
{
    Q_OBJECT

public:
    explicit LogManager(QObject *parent = nullptr);
    ~LogManager() override;
    LogManager(const LogManager &) = delete;
    LogManager &operator=(const LogManager &) = delete;

    // Queues the message; never blocks on file output. Callable from any thread.
    void write_log(QString message);

    QString log_directory() const { return log_directory_; }
    QString file_path() const;

    // The time a file's age is counted from in the start-up clean-up: its birth time, or its
    // last-modification time where that is earlier or no birth time is recorded.
    static QDateTime age_reference_time(const QFileInfo &info);

protected:
    void run() override;

private:
    void remove_old_files(const QDateTime &now) const;
    // Sleeps up to the given time with mutex_ held on entry; returns early once running_ is
    // cleared, so destruction does not wait out an idle poll.
    void pause_locked(std::chrono::milliseconds duration);

    std::unique_ptr<QFile> file_;      // used by the log thread only, once it runs
    QStringList queue_;                // guarded by mutex_; writers and the log thread
    std::atomic<bool> running_{false}; // cleared by the destroying thread, read by the log thread
    QMutex mutex_;
    QWaitCondition wake_;    // signalled under mutex_ when running_ is cleared
    bool echo_ = false;      // set in the constructor only
    bool file_open_ = false; // set in the constructor only
    QString log_directory_;
};

// The one log manager of the process.
void start_log_manager();
LogManager *log_manager();
void stop_log_manager();

// Forwards to the running log manager; does nothing when none is running.
void write_log(const QString &message);
