#include "logmanager.h"
#include "scopedworkdir.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <utime.h>
#include <vector>

namespace {

const QString kStartLine = QStringLiteral("日志线程开启");
const QString kEndLine = QStringLiteral("日志线程结束");
const QRegularExpression
    kLeftOutLine(QStringLiteral("^(\\d+) log lines left out: the log queue was full$"));

QString todays_log_path()
{
    return QDir::currentPath() + QStringLiteral("/Logs/Log") +
           QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt");
}

QStringList read_lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The message part of every line; fails the test on a line without the time stamp.
QStringList read_messages(const QString &path)
{
    static const QRegularExpression line_format(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}   >>   (.*)$"));
    QStringList messages;
    for (const QString &line : read_lines(path)) {
        const QRegularExpressionMatch match = line_format.match(line);
        if (!match.hasMatch()) {
            qWarning().noquote() << "line without time stamp:" << line;
            return {};
        }
        messages << match.captured(1);
    }
    return messages;
}

void make_file_with_age(const QString &path, int days_old)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old log\n");
    QVERIFY(file.flush()); // a later flush would make the file new again
    const QDateTime when = QDateTime::currentDateTime().addDays(-days_old);
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
    QVERIFY(file.setFileTime(when, QFileDevice::FileAccessTime));
}

} // namespace

class LogManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void firstStartCreatesTheFolderAndFramesMessagesWithStartAndEndLines();
    void everyLineIsTimeStampedAndSeparated();
    void secondStartOnTheSameDayAppendsToTheSameFile();
    void queuedMessagesAreWrittenInOrderBeforeTheEndLine();
    void linesAreOnDiskWhileTheThreadRuns();
    void messageWithALineBreakIsWrittenAsIs();
    void startUpCleanUpJudgesFilesByAge_data();
    void startUpCleanUpJudgesFilesByAge();
    void startUpCleanUpLeavesSubFoldersAlone();
    void unopenableFileIsReportedAndLoggingStaysSafe();
    void messagesFromSeveralThreadsAllArriveInTheirOrder();
    void floodIsHeldToTheBoundAndCountedInOneLine();
    void leftOutLinesAreReportedOnceTheThreadCatchesUp();
    void pastMidnightLinesGoToTheNewDaysFileAndOldFilesGo();
};

// Only reached with a manager still running when a test failed half-way.
void LogManagerTest::cleanup()
{
    stop_log_manager();
}

void LogManagerTest::firstStartCreatesTheFolderAndFramesMessagesWithStartAndEndLines()
{
    ScopedWorkDir work;
    write_log(QStringLiteral("before start")); // no manager yet: dropped, nothing created
    QVERIFY(!QDir(work.file(QStringLiteral("Logs"))).exists());

    start_log_manager();
    QVERIFY(log_manager() != nullptr);
    QCOMPARE(log_manager()->log_directory(), QDir::currentPath() + QStringLiteral("/Logs"));
    QVERIFY(QFileInfo(work.file(QStringLiteral("Logs"))).isDir());
    write_log(QStringLiteral("connected"));
    stop_log_manager();
    QVERIFY(log_manager() == nullptr);
    write_log(QStringLiteral("after stop")); // no manager any more: dropped

    QCOMPARE(QDir(work.file(QStringLiteral("Logs"))).entryList(QDir::Files),
             QStringList{QFileInfo(todays_log_path()).fileName()});
    QCOMPARE(read_messages(todays_log_path()),
             (QStringList{kStartLine, QStringLiteral("connected"), kEndLine}));
}

void LogManagerTest::everyLineIsTimeStampedAndSeparated()
{
    ScopedWorkDir work;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    start_log_manager();
    write_log(QStringLiteral("状态查询 FF 85 01"));
    stop_log_manager();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QStringList lines = read_lines(todays_log_path());
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(1).mid(19), QStringLiteral("   >>   状态查询 FF 85 01"));
    for (const QString &line : lines) {
        const QDateTime stamp = QDateTime::fromString(line.left(19), "yyyy-MM-dd HH:mm:ss");
        QVERIFY2(stamp.isValid(), qPrintable(line));
        QVERIFY(stamp >= before && stamp <= after);
    }
}

void LogManagerTest::secondStartOnTheSameDayAppendsToTheSameFile()
{
    ScopedWorkDir work;
    start_log_manager();
    write_log(QStringLiteral("first run"));
    stop_log_manager();
    start_log_manager();
    write_log(QStringLiteral("second run"));
    stop_log_manager();

    QCOMPARE(read_messages(todays_log_path()),
             (QStringList{kStartLine, QStringLiteral("first run"), kEndLine, kStartLine,
                          QStringLiteral("second run"), kEndLine}));
}

void LogManagerTest::queuedMessagesAreWrittenInOrderBeforeTheEndLine()
{
    ScopedWorkDir work;
    start_log_manager();
    QStringList expected{kStartLine};
    for (int i = 0; i < 300; ++i) {
        expected << QStringLiteral("sample batch %1").arg(i);
        write_log(expected.last());
    }
    expected << kEndLine;
    stop_log_manager();

    QCOMPARE(read_messages(todays_log_path()), expected);
}

void LogManagerTest::linesAreOnDiskWhileTheThreadRuns()
{
    ScopedWorkDir work;
    // The thread also echoes each message it takes from the queue to the debug output.
    QTest::ignoreMessage(QtDebugMsg, "port opened");
    start_log_manager();
    write_log(QStringLiteral("port opened"));
    QTRY_COMPARE_WITH_TIMEOUT(read_messages(todays_log_path()),
                              (QStringList{kStartLine, QStringLiteral("port opened")}), 10000);
    stop_log_manager();
}

void LogManagerTest::messageWithALineBreakIsWrittenAsIs()
{
    ScopedWorkDir work;
    start_log_manager();
    write_log(QStringLiteral("first part\nsecond part"));
    stop_log_manager();

    const QStringList lines = read_lines(todays_log_path());
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(1).endsWith(QStringLiteral("   >>   first part")));
    QCOMPARE(lines.at(2), QStringLiteral("second part"));
    QVERIFY(lines.at(3).endsWith(kEndLine));
}

void LogManagerTest::startUpCleanUpJudgesFilesByAge_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("daysOld");
    QTest::addColumn<bool>("kept");

    QTest::newRow("today's file") << "Log_today.txt" << 0 << true;
    QTest::newRow("three days old") << "Log20200101.txt" << 3 << true;
    QTest::newRow("four days old") << "Log20200102.txt" << 4 << false;
    QTest::newRow("a month old, any name") << "notes.dat" << 30 << false;
    QTest::newRow("hidden file is not listed") << ".hidden" << 30 << true;
}

// Files made here have a birth time of now on file systems that record one, so the file's
// age comes from the modification time set below: the clean-up counts from the earlier of the
// two, which is also the fallback where no birth time exists.
void LogManagerTest::startUpCleanUpJudgesFilesByAge()
{
    QFETCH(QString, name);
    QFETCH(int, daysOld);
    QFETCH(bool, kept);

    ScopedWorkDir work;
    QVERIFY(QDir().mkdir(QStringLiteral("Logs")));
    const QString path = work.file(QStringLiteral("Logs/") + name);
    make_file_with_age(path, daysOld);
    start_log_manager();
    stop_log_manager();
    QCOMPARE(QFileInfo::exists(path), kept);
}

void LogManagerTest::startUpCleanUpLeavesSubFoldersAlone()
{
    ScopedWorkDir work;
    QVERIFY(QDir().mkpath(QStringLiteral("Logs/archive")));
    const QString inner = work.file(QStringLiteral("Logs/archive/Log20200101.txt"));
    make_file_with_age(inner, 30);
    const time_t month_ago = QDateTime::currentDateTime().addDays(-30).toSecsSinceEpoch();
    const utimbuf times{month_ago, month_ago};
    QCOMPARE(
        utime(QFile::encodeName(work.file(QStringLiteral("Logs/archive"))).constData(), &times), 0);

    start_log_manager();
    stop_log_manager();
    QVERIFY(QFileInfo(work.file(QStringLiteral("Logs/archive"))).isDir());
    QVERIFY(QFileInfo::exists(inner));
}

void LogManagerTest::unopenableFileIsReportedAndLoggingStaysSafe()
{
    ScopedWorkDir work;
    // A directory where the day's file belongs cannot be opened for writing.
    QVERIFY(QDir().mkpath(todays_log_path()));
    QTest::ignoreMessage(QtDebugMsg, "日志文件被占用，打开失败！");
    start_log_manager();
    QVERIFY(log_manager() != nullptr);
    QVERIFY2(log_manager()->open_error().contains(QLatin1String("directory")),
             qPrintable(log_manager()->open_error()));
    QVERIFY(log_manager()->wait(10000)); // nothing to serve: the thread ends at once
    for (int i = 0; i < 100; ++i)
        write_log(QStringLiteral("still running"));
    stop_log_manager();

    QVERIFY(QFileInfo(todays_log_path()).isDir());
    QVERIFY(QDir(work.file(QStringLiteral("Logs"))).entryList(QDir::Files).isEmpty());
}

void LogManagerTest::messagesFromSeveralThreadsAllArriveInTheirOrder()
{
    ScopedWorkDir work;
    start_log_manager();
    constexpr int kThreads = 4;
    constexpr int kPerThread = 250;
    std::vector<std::unique_ptr<QThread>> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back(QThread::create([t] {
            for (int i = 0; i < kPerThread; ++i)
                write_log(QStringLiteral("writer %1 message %2").arg(t).arg(i));
        }));
        writers.back()->start();
    }
    for (auto &writer : writers)
        QVERIFY(writer->wait(10000));
    stop_log_manager();

    QStringList messages = read_messages(todays_log_path());
    QCOMPARE(messages.size(), kThreads * kPerThread + 2);
    QCOMPARE(messages.takeFirst(), kStartLine);
    QCOMPARE(messages.takeLast(), kEndLine);
    std::vector<int> next(kThreads, 0);
    static const QRegularExpression pattern(QStringLiteral("^writer (\\d) message (\\d+)$"));
    for (const QString &message : std::as_const(messages)) {
        const QRegularExpressionMatch match = pattern.match(message);
        QVERIFY2(match.hasMatch(), qPrintable(message));
        const int t = match.captured(1).toInt();
        QCOMPARE(match.captured(2).toInt(), next[t]);
        ++next[t];
    }
    for (int t = 0; t < kThreads; ++t)
        QCOMPARE(next[t], kPerThread);
}

// Dropped frames log one line each; a long run of them must not eat the memory.
void LogManagerTest::floodIsHeldToTheBoundAndCountedInOneLine()
{
    ScopedWorkDir work;
    start_log_manager();
    constexpr int kThreads = 4;
    constexpr int kPerThread = 4000;
    static_assert(kThreads * kPerThread > LogManager::defaultMaxQueuedLines);
    std::vector<std::unique_ptr<QThread>> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back(QThread::create([] {
            for (int i = 0; i < kPerThread; ++i)
                write_log(QStringLiteral("添加serial_data失败"));
        }));
        writers.back()->start();
    }
    for (auto &writer : writers)
        QVERIFY(writer->wait(60000));
    QVERIFY(log_manager()->queued_lines() <= LogManager::defaultMaxQueuedLines);
    stop_log_manager();

    QStringList messages = read_messages(todays_log_path());
    QCOMPARE(messages.takeFirst(), kStartLine);
    QCOMPARE(messages.takeLast(), kEndLine);
    const QRegularExpressionMatch leftOut = kLeftOutLine.match(messages.takeLast());
    QVERIFY(leftOut.hasMatch());
    QCOMPARE(messages.count(QStringLiteral("添加serial_data失败")), messages.size());
    QCOMPARE(messages.size() + leftOut.captured(1).toInt(), kThreads * kPerThread);
}

void LogManagerTest::leftOutLinesAreReportedOnceTheThreadCatchesUp()
{
    ScopedWorkDir work;
    LogManager manager(3);
    for (int i = 0; i < 5; ++i)
        manager.write_log(QStringLiteral("line %1").arg(i));
    QCOMPARE(manager.queued_lines(), 3);
    manager.start();
    // Written while the thread runs, not only when it ends.
    QTRY_COMPARE_WITH_TIMEOUT(read_messages(manager.file_path()),
                              (QStringList{kStartLine, QStringLiteral("line 0"),
                                           QStringLiteral("line 1"), QStringLiteral("line 2"),
                                           QStringLiteral("2 log lines left out: the log queue "
                                                          "was full")}),
                              30000);
    manager.write_log(QStringLiteral("line 5"));
    QTRY_COMPARE_WITH_TIMEOUT(read_messages(manager.file_path()).size(), 6, 30000);
    QCOMPARE(read_messages(manager.file_path()).last(), QStringLiteral("line 5"));
}

void LogManagerTest::pastMidnightLinesGoToTheNewDaysFileAndOldFilesGo()
{
    ScopedWorkDir work;
    QVERIFY(QDir().mkdir(QStringLiteral("Logs")));
    // Three days old now, four once the clock has passed midnight.
    const QString old = work.file(QStringLiteral("Logs/Log20200101.txt"));
    make_file_with_age(old, 3);
    std::atomic<int> daysLater{0};
    const auto clock = [&daysLater] {
        return QDateTime::currentDateTime().addDays(daysLater.load());
    };
    const QString today = todays_log_path();
    const QString tomorrow = QDir::currentPath() + QStringLiteral("/Logs/Log") +
                             QDate::currentDate().addDays(1).toString(QStringLiteral("yyyyMMdd")) +
                             QStringLiteral(".txt");
    {
        LogManager manager(LogManager::defaultMaxQueuedLines, nullptr, clock);
        manager.start();
        manager.write_log(QStringLiteral("before midnight"));
        QTRY_VERIFY(read_messages(today).contains(QStringLiteral("before midnight")));
        QVERIFY(QFileInfo::exists(old));
        daysLater = 1;
        manager.write_log(QStringLiteral("after midnight"));
    }
    QCOMPARE(read_messages(today), (QStringList{kStartLine, QStringLiteral("before midnight")}));
    QCOMPARE(read_messages(tomorrow), (QStringList{QStringLiteral("after midnight"), kEndLine}));
    QVERIFY(!QFileInfo::exists(old));
}

QTEST_GUILESS_MAIN(LogManagerTest)
#include "tst_logmanager.moc"
