#pragma once

#include <QDateTime>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QFile;
class QFileInfo;

// Writes time-stamped lines into the day's file under "Logs" of the working directory, on a
// thread of its own; past midnight the next line starts the new day's file, and files older
// than three days go, so a recorder left running for a week keeps three days of logs. Any thread
// hands it a message through write_log() and returns at once. A flood of messages is held to a
// bounded queue: what does not fit is left out and counted, and one line tells how many once the
// log thread has written everything queued.
class LogManager : public QThread
{
    Q_OBJECT

public:
    static constexpr int defaultMaxQueuedLines = 10000;

    using Clock = std::function<QDateTime()>;

    // `clock` gives the local time the day's file and the files' ages go by (the current time
    // unless a test passes its own); it is called by the constructing and the log thread.
    explicit LogManager(int maxQueuedLines = defaultMaxQueuedLines, QObject *parent = nullptr,
                        Clock clock = &QDateTime::currentDateTime);
    ~LogManager() override;
    LogManager(const LogManager &) = delete;
    LogManager &operator=(const LogManager &) = delete;

    // Queues the message, or counts it as left out when the queue is full; never blocks on
    // file output. Callable from any thread.
    void write_log(QString message);
    // Messages waiting to be written. Callable from any thread.
    int queued_lines() const;

    QString log_directory() const { return logDirectory_; }
    // The file lines go to now (the day's). Callable from any thread.
    QString file_path() const;
    // Why the day's file could not be opened (the log folder is a file, or cannot be
    // written), or empty when it is open. Nothing is logged then; the caller should tell the
    // operator once. Fixed in the constructor, so any thread may ask.
    QString open_error() const { return openError_; }

    // The time a file's age is counted from in the start-up clean-up: its birth time, or its
    // last-modification time where that is earlier or no birth time is recorded.
    static QDateTime age_reference_time(const QFileInfo &info);

protected:
    void run() override;

private:
    void remove_old_files(const QDateTime &now) const;
    // The day's file name for `day`.
    QString file_name_for(const QDate &day) const;
    // Once the clock has passed midnight: closes the file, opens the new day's and removes
    // files grown too old. Log thread only.
    void start_new_day_if_due();
    // Sleeps up to the given time; returns early once running_ is cleared, so destruction
    // does not wait out an idle poll.
    void pause(std::chrono::milliseconds duration);

    // Takes the next line to write: the oldest queued message, or once the queue is empty the
    // report of the messages left out. False when there is neither.
    bool take_next(QString &message);

    std::unique_ptr<QFile> file_; // used by the log thread only, once it runs
    QDate fileDay_;               // the day of file_; log thread only, once it runs
    const Clock clock_;
    const int maxQueuedLines_;
    QStringList queue_;                // guarded by mutex_; writers and the log thread
    quint64 leftOut_ = 0;              // guarded by mutex_; refused since the last report
    QString filePath_;                 // guarded by mutex_; file_'s name, for other threads
    std::atomic<bool> running_{false}; // cleared by the destroying thread, read by the log thread
    mutable QMutex mutex_;
    std::mutex pauseMutex_;        // held only to sleep on or signal wake_, never with mutex_
    std::condition_variable wake_; // signalled when running_ is cleared
    // Set by the log thread as its last act; QThread::wait() synchronises inside Qt, where the
    // thread sanitizer cannot see it, so the destructor reads this before touching the file.
    std::atomic<bool> finished_{false};
    bool echo_ = false;     // set in the constructor only
    bool fileOpen_ = false; // set in the constructor only
    QString openError_;     // set in the constructor only
    QString logDirectory_;
};

// The one log manager of the process.
void start_log_manager();
LogManager *log_manager();
void stop_log_manager();

// Forwards to the running log manager; does nothing when none is running.
void write_log(const QString &message);
