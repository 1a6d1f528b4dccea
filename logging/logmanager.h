#pragma once

#include <QDateTime>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

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
    // Sleeps up to the given time; returns early once running_ is cleared, so destruction
    // does not wait out an idle poll.
    void pause(std::chrono::milliseconds duration);

    std::unique_ptr<QFile> file_;      // used by the log thread only, once it runs
    QStringList queue_;                // guarded by mutex_; writers and the log thread
    std::atomic<bool> running_{false}; // cleared by the destroying thread, read by the log thread
    QMutex mutex_;
    std::mutex pause_mutex_;       // held only to sleep on or signal wake_, never with mutex_
    std::condition_variable wake_; // signalled when running_ is cleared
    // Set by the log thread as its last act; QThread::wait() synchronises inside Qt, where the
    // thread sanitizer cannot see it, so the destructor reads this before touching the file.
    std::atomic<bool> finished_{false};
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
