// telvane-cli as scripts use it: the real executable recording from the
// instrument simulator on a pseudo-terminal, stopped by signals, cut off by a
// vanishing port, refusing bad arguments, and exporting what it left behind.
#include "csvexporter.h"
#include "instrumentsimulator.h"
#include "protocol.h"
#include "pseudoterminal.h"
#include "sampledatabase.h"
#include "sqlrows.h"
#include "storedmillivolts.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
constexpr int finishMs = 60000;
constexpr int progressMs = 20000;
// The recorder's own database; the window's is Quorlen.db.
const QString cliDatabase = QStringLiteral("telvane-cli.db");
const QString runTable = QStringLiteral("dataSample_20250305_14_07_09");
constexpr uid_t nobodyId = 65534;

// True when every folder on the way to path lets other users pass.
bool others_may_enter(const QString &path)
{
    for (QString folder = QFileInfo(path).absolutePath();; folder = QFileInfo(folder).path()) {
        struct stat info
        {};
        if (::stat(QFile::encodeName(folder).constData(), &info) != 0 ||
            (info.st_mode & S_IXOTH) == 0) {
            return false;
        }
        if (folder == QLatin1String("/")) {
            return true;
        }
    }
}

// One telvane-cli process working in a directory of its own.
class Cli
{
public:
    explicit Cli(const QString &directory)
    {
        process_.setWorkingDirectory(directory);
        // Runs here are small; the reserve of at least 200 MB would refuse them on a nearly
        // full build machine. The test of the free-space check sets its own.
        set_environment(QStringLiteral("TELVANE_FREE_SPACE_RESERVE"), QStringLiteral("0"));
    }
    ~Cli()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(finishMs);
        }
    }
    Cli(const Cli &) = delete;
    Cli &operator=(const Cli &) = delete;

    void start(const QStringList &arguments) { process_.start(program_, arguments); }
    // Runs with arguments as a shell writes them, for bytes no QString holds ("$(printf '\377')").
    int run_in_shell(const QString &arguments)
    {
        process_.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("exec \"$0\" ") + arguments, program_});
        return finish();
    }
    // Runs to the end; the exit code, or -1 when it did not end normally.
    int run(const QStringList &arguments)
    {
        start(arguments);
        return finish();
    }
    int finish()
    {
        if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(finishMs)) {
            return -1;
        }
        if (process_.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        out_ += process_.readAllStandardOutput();
        err_ += process_.readAllStandardError();
        return process_.exitCode();
    }
    // True once the process has ended, after waiting up to `ms` for it.
    bool ended(int ms)
    {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms);
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    qint64 pid() const { return process_.processId(); }
    void set_environment(const QString &name, const QString &value)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(name, value);
        process_.setProcessEnvironment(environment);
    }
    // The next line of standard output, waiting up to `ms` for it; empty when none came.
    QString next_line(int ms = progressMs)
    {
        if (!process_.canReadLine() && !process_.waitForReadyRead(ms)) {
            return {};
        }
        if (!process_.canReadLine()) {
            return {};
        }
        const QByteArray line = process_.readLine();
        out_ += line;
        return QString::fromUtf8(line).trimmed();
    }
    void write_input(const QByteArray &bytes) { process_.write(bytes); }
    void close_input() { process_.closeWriteChannel(); }
    // The process runs as the unprivileged user "nobody" (the test runs as root), from a copy
    // of the executable in /tmp: the build may lie in a folder only its owner may enter.
    // Empty, or why that cannot be done.
    QString run_as_nobody()
    {
        copy_ = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/telvane-cli-XXXXXX"));
        const QString program = copy_->filePath(QStringLiteral("telvane-cli"));
        const auto everyone = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        if (!copy_->isValid() || !QFile::copy(program_, program) ||
            !QFile::setPermissions(copy_->path(), everyone | QFile::WriteOwner) ||
            !QFile::setPermissions(program, everyone)) {
            return QStringLiteral("cannot copy telvane-cli into /tmp");
        }
        if (!others_may_enter(program)) {
            return QStringLiteral("other users cannot reach %1").arg(copy_->path());
        }
        program_ = program;
        process_.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyId) != 0 ||
                ::setuid(nobodyId) != 0) {
                ::_exit(127);
            }
        });
        return {};
    }
    // Waits until record has written `count` status lines on standard error.
    bool wait_for_status_lines(int count)
    {
        process_.setReadChannel(QProcess::StandardError);
        while (err_.count('\r') < count && process_.waitForReadyRead(progressMs)) {
            err_ += process_.readAllStandardError();
        }
        process_.setReadChannel(QProcess::StandardOutput);
        return err_.count('\r') >= count;
    }
    // The first line of standard output: record prints its table name there.
    QString first_line() { return next_line(); }
    QString out() const { return QString::fromUtf8(out_); }
    QByteArray out_bytes() const { return out_; }
    QString err() const { return QString::fromUtf8(err_); }

private:
    QProcess process_;
    QString program_ = QStringLiteral(TELVANE_CLI_EXECUTABLE);
    std::unique_ptr<QTemporaryDir> copy_; // the executable's copy for another user
    QByteArray out_;
    QByteArray err_;
};

QString millivolts_text(int channel, quint64 index, quint32 pattern)
{
    // Printed with one decimal, as the run CSV has it.
    return QString::number(
        stored_millivolts(InstrumentSimulator::sample_volts(channel, index, pattern)), 'f', 1);
}

// The CSV of a run as the simulator's waveform says it must read.
QStringList expected_csv(bool single, int rate, quint64 rows, quint32 pattern)
{
    QStringList header{"id", "time"};
    if (single) {
        header << "Vol";
    } else {
        for (int c = 1; c <= 16; ++c) {
            header << QStringLiteral("Vol%1").arg(c);
        }
    }
    QStringList lines{header.join(',')};
    for (quint64 k = 0; k < rows; ++k) {
        QStringList fields{QString::number(k + 1), QString::number(double(k) / rate, 'f', 4)};
        for (int c = 0; c < (single ? 1 : 16); ++c) {
            fields << millivolts_text(c, k, pattern);
        }
        lines << fields.join(',');
    }
    return lines;
}

QStringList read_lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QByteArray read_bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A database holding the run table runTable with `rows` single-channel rows.
bool make_run_database(const QString &path, int rows)
{
    SampleDatabase database(path);
    if (!database.open_database().ok() || !database.create_table(runTable, true).ok()) {
        return false;
    }
    QList<SampleRow> batch;
    for (int k = 0; k < rows; ++k) {
        batch.append({k / 1000.0, 1000.0 * std::sin(k / 50.0)});
    }
    return database.insert_samples(batch).rows == rows;
}

// Runs each statement on the file over a plain connection of its own, as another program would.
bool run_sql(const QString &path, const QStringList &statements)
{
    const QString name = QStringLiteral("other program");
    bool ran = true;
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", name);
        other.setDatabaseName(path);
        ran = other.open();
        QSqlQuery query(other);
        for (const QString &statement : statements) {
            ran = ran && query.exec(statement);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ran;
}

// The table as the database's own export writes it into a regular file.
QByteArray exported_csv(const QString &databasePath, const QString &table, int decimals)
{
    const QString path = databasePath + QStringLiteral(".reference.csv");
    SampleDatabase database(databasePath);
    if (!database.open_database().ok() || !database.export_table(path, table, decimals)) {
        return {};
    }
    const QByteArray bytes = read_bytes(path);
    QFile::remove(path);
    return bytes;
}

// The kind of file at path (S_IFREG, S_IFIFO, S_IFCHR...), without following a link.
mode_t file_type(const QString &path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

// The reading end of a named pipe, opened without waiting for a writer, so a tool that
// never opens the pipe cannot hang the test.
class PipeReader
{
public:
    explicit PipeReader(const QString &path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {}
    ~PipeReader() { close(); }
    PipeReader(const PipeReader &) = delete;
    PipeReader &operator=(const PipeReader &) = delete;

    bool is_open() const { return fd_ >= 0; }
    // Reads while the tool runs and, after it ended, until the pipe is empty. With a
    // limit, the reader leaves (closes its end) as soon as that many bytes came.
    QByteArray read_while_running(Cli &cli, qsizetype limit = -1)
    {
        QByteArray data;
        char buffer[65536];
        const QDeadlineTimer deadline(finishMs);
        while (fd_ >= 0 && !deadline.hasExpired()) {
            const bool ended = cli.ended(10);
            ssize_t n = 0;
            // With a limit no more than it is taken, so what the writer has left stays more
            // than the pipe holds, whatever the timing.
            const auto wanted = [&] {
                return limit >= 0 ? std::min<qsizetype>(sizeof buffer, limit - data.size())
                                  : qsizetype(sizeof buffer);
            };
            while ((n = ::read(fd_, buffer, size_t(wanted()))) > 0) {
                data.append(buffer, n);
                if (limit >= 0 && data.size() >= limit) {
                    close();
                    return data;
                }
            }
            if (ended) {
                break;
            }
        }
        return data;
    }
    void close()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

struct StatusFigures
{
    qint64 stored = 0;
    qint64 perSecond = 0;
};

// The figures of every status line a record wrote on standard error, in order.
QList<StatusFigures> status_lines(const QString &err)
{
    static const QRegularExpression line(
        QStringLiteral("^\\d+ / \\d+ s   stored (\\d+)   (\\d+) samples/s   dropped \\d+"));
    QList<StatusFigures> figures;
    for (const QString &piece : err.split(QRegularExpression(QStringLiteral("[\\r\\n]")))) {
        const QRegularExpressionMatch match = line.match(piece);
        if (match.hasMatch()) {
            figures.append({match.captured(1).toLongLong(), match.captured(2).toLongLong()});
        }
    }
    return figures;
}

// Bytes that arrive on a descriptor until `count` are in or `timeoutMs` passes (at least
// what is there already).
QByteArray read_from(int fd, qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(timeoutMs);
    do {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, int(deadline.remainingTime())) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
        }
    } while (bytes.size() < count && !deadline.hasExpired());
    return bytes;
}

QString log_text(const QString &directory)
{
    QString text;
    const QDir logs(directory + QStringLiteral("/Logs"));
    for (const QString &name : logs.entryList(QDir::Files)) {
        text += QString::fromUtf8(read_bytes(logs.filePath(name)));
    }
    return text;
}

// The run tables a record printed on standard output, in order.
QStringList printed_tables(const QString &out)
{
    QStringList tables;
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts)) {
        if (SampleDatabase::is_valid_table_name(line)) {
            tables.append(line);
        }
    }
    return tables;
}

// Open descriptors and resident kilobytes of a running process.
struct ProcessUsage
{
    int descriptors = 0;
    qint64 residentKb = 0;
};

ProcessUsage process_usage(qint64 pid)
{
    ProcessUsage usage;
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    usage.descriptors = int(QDir(proc + QStringLiteral("/fd")).entryList(QDir::System).size());
    for (const QString &line :
         QString::fromUtf8(read_bytes(proc + QStringLiteral("/status"))).split('\n')) {
        if (line.startsWith(QLatin1String("VmRSS:"))) {
            usage.residentKb =
                line.section(' ', 1, -1, QString::SectionSkipEmpty).section(' ', 0, 0).toLongLong();
        }
    }
    return usage;
}

// The name and value of each line `info` printed.
QMap<QString, QString> info_of(const QString &directory, const QString &table)
{
    Cli info(directory);
    QMap<QString, QString> fields;
    if (info.run({"info", "--table", table}) != 0) {
        fields.insert(QStringLiteral("error"), info.err());
    }
    for (const QString &line : info.out().split('\n', Qt::SkipEmptyParts)) {
        fields.insert(line.section('\t', 0, 0), line.section('\t', 1));
    }
    return fields;
}

// A sidecar as Python's json module reads it: its version, rows, first and last time (4
// decimals, as the CSV prints them) and the facts' outcome and committed rows, tab-separated.
QStringList sidecar_as_python_reads_it(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import json,sys\n"
                                 "d=json.load(open(sys.argv[1]))\n"
                                 "e=d['exported'];f=d['facts']\n"
                                 "print(d['version'],e['rows'],'%.4f'%e['first_time_s'],"
                                 "'%.4f'%e['last_time_s'],f['outcome'],"
                                 "f.get('committed_rows','-'),sep='\\t')"),
                  path});
    if (!python.waitForFinished(finishMs) || python.exitCode() != 0) {
        return {QStringLiteral("python3 failed: ") +
                QString::fromUtf8(python.readAllStandardError())};
    }
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed().split('\t');
}

} // namespace

class TelvaneCliTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordedRunsEqualTheWaveformRowForRowAndAreListed_data();
    void recordedRunsEqualTheWaveformRowForRowAndAreListed();
    void stopSignalEndsTheRunAfterTheEndFrameWithEverySampleStored_data();
    void stopSignalEndsTheRunAfterTheEndFrameWithEverySampleStored();
    void vanishingPortEndsTheRunWithExitFourAndKeepsTheRows();
    void unansweredStopEndsTheRunIncompleteWithTheRowsStored();
    void runGoingPastItsCollectionTimeIsStoppedAndEndsIncomplete_data();
    void runGoingPastItsCollectionTimeIsStoppedAndEndsIncomplete();
    void shortRunEndsIncompleteWithItsSamplesCounted_data();
    void shortRunEndsIncompleteWithItsSamplesCounted();
    void stopSignalDuringTheStatusWaitEndsAtOnceWithoutARun();
    void statusLineRateIsThatOfTheLastSecond();
    void unwritableCsvFailsTheRecordButKeepsTheRun();
    void badArgumentsAreRefusedBeforeAnyRunIsSent_data();
    void badArgumentsAreRefusedBeforeAnyRunIsSent();
    void fileNameNotInTheSystemsEncodingIsRefused_data();
    void fileNameNotInTheSystemsEncodingIsRefused();
    void unwritableLogFolderIsReportedOnceAndTheRunGoesOn();
    void attenuationModuleAllowsVoltagesBeyondTen();
    void statusReportsBatteryAndModule_data();
    void statusReportsBatteryAndModule();
    void silentPortGivesExitThree_data();
    void silentPortGivesExitThree();
    void builtInSimulatorRecordsWithoutAnyPort();
    void exportOfATableLeftByAKilledRecordEqualsTheRecoveryExport();
    void exportRefusesUnknownAndIllFormedTables_data();
    void exportRefusesUnknownAndIllFormedTables();
    void versionAndHelpAreAnsweredWithoutAnInstrument();
    void recordedRunSurvivesTheWindowClosingInTheSameFolder();
    void statsAndStretchesAgreeWithTheExportedRows();
    void rangeTypedFromPrintedTimesTakesTheRowsPrintedInside_data();
    void rangeTypedFromPrintedTimesTakesTheRowsPrintedInside();
    void recordersStartedTogetherGetTablesOfTheirOwn_data();
    void recordersStartedTogetherGetTablesOfTheirOwn();
    void csvNamingTheDatabaseIsRefusedAndTouchesNothing_data();
    void csvNamingTheDatabaseIsRefusedAndTouchesNothing();
    void csvIntoAPipeIsStreamedAndThePipeStays_data();
    void csvIntoAPipeIsStreamedAndThePipeStays();
    void csvWriteErrorFailsAndLeavesTheTarget_data();
    void csvWriteErrorFailsAndLeavesTheTarget();
    void unreadableDatabaseIsReportedWithSqlitesReason_data();
    void unreadableDatabaseIsReportedWithSqlitesReason();
    void readingCommandsChangeNoByteOfTheFile_data();
    void readingCommandsChangeNoByteOfTheFile();
    void tableWithoutARunsColumnsIsNamedAndItsExportLeavesNoFile();
    void tableCreationFailureNamesSqlitesReason();
    void unopenablePortIsReportedWithTheReason_data();
    void unopenablePortIsReportedWithTheReason();
    void chainStoresEveryRowOfEachRunInATableAndFileOfItsOwn_data();
    void chainStoresEveryRowOfEachRunInATableAndFileOfItsOwn();
    void stopSignalEndsTheChainWithTheRunUnderWay();
    void chainWaitsForAVanishedPortAndGoesOnEachTimeItComesBack();
    void descriptorsAndMemoryStayFlatOverTwentyChainedRuns();
    void fillingFileSystemEndsTheChainBeforeARunThatWouldNotFit();
    void runFactsSayWhatTheRunWasSetToAndHowItEnded_data();
    void runFactsSayWhatTheRunWasSetToAndHowItEnded();
    void everyCsvFileGetsASidecarWithItsCountsAndNoStreamDoes();
    void linesOnStandardInputMarkTheRunWhenTheyArrive();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<InstrumentSimulator> simulator_;
};

void TelvaneCliTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    simulator_ = std::make_unique<InstrumentSimulator>();
    QVERIFY(simulator_->is_open());
    QVERIFY(simulator_->start());
}

void TelvaneCliTest::cleanup()
{
    simulator_.reset();
    dir_.reset();
}

void TelvaneCliTest::recordedRunsEqualTheWaveformRowForRowAndAreListed_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("rate");

    QTest::newRow("single channel at 5000 points per second") << "single" << 5000;
    QTest::newRow("multi channel at 150 points per second") << "multi" << 150;
}

void TelvaneCliTest::recordedRunsEqualTheWaveformRowForRowAndAreListed()
{
    QFETCH(QString, mode);
    QFETCH(int, rate);
    const bool single = mode == QLatin1String("single");

    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", mode, "--rate",
                         QString::number(rate), "--time", "1", "--csv", "run.csv"}),
             0);
    const QString table = record.out().section('\n', 0, 0);
    QVERIFY2(SampleDatabase::is_valid_table_name(table), qPrintable(record.out()));

    // A fast single-channel run sends whole frames of sixteen samples.
    const quint64 sent = simulator_->samples_sent();
    QCOMPARE(sent, single ? quint64(5008) : quint64(150));
    const QStringList csv = read_lines(dir_->filePath("run.csv"));
    const QStringList expected = expected_csv(single, rate, sent, simulator_->pattern());
    QCOMPARE(csv.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(csv[i], expected[i]);
    }

    const QString log = log_text(dir_->path());
    QVERIFY2(log.contains(QStringLiteral("开始采集,速度=%1,时间=1").arg(rate)), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("采集停止")));
    QVERIFY(log.contains(QStringLiteral("执行时间 = ")));
    QVERIFY(log.contains(QStringLiteral("采集点数 = %1").arg(sent)));

    Cli tables(dir_->path());
    QCOMPARE(tables.run({"tables"}), 0);
    const QString lastTime = QString::number(double(sent - 1) / rate, 'f', 4);
    const QString started = QDateTime::fromString(table.mid(11, 17), "yyyyMMdd_hh_mm_ss")
                                .toString("yyyy-MM-dd hh:mm:ss");
    QCOMPARE(tables.out(),
             QStringLiteral("%1\t%2 rows\t%3\t0.0000..%4 s\t%5\t%6 points/s\t1 s\tcompleted\n")
                 .arg(table)
                 .arg(sent)
                 .arg(mode, lastTime, started)
                 .arg(rate));
}

void TelvaneCliTest::stopSignalEndsTheRunAfterTheEndFrameWithEverySampleStored_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP (terminal closed)") << int(SIGHUP);
}

void TelvaneCliTest::stopSignalEndsTheRunAfterTheEndFrameWithEverySampleStored()
{
    QFETCH(int, signal);

    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate", "2000",
                  "--time", "60"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    QTRY_VERIFY_WITH_TIMEOUT(simulator_->samples_sent() >= 2000, progressMs);
    record.signal(signal);
    QCOMPARE(record.finish(), 0);

    const QList<QByteArray> commands = simulator_->received_commands();
    QVERIFY(commands.contains(stop_command()));
    QVERIFY(!simulator_->run_active());
    const quint64 sent = simulator_->samples_sent();
    QVERIFY(sent < 60 * 2000);

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QCOMPARE(database.row_count(table), qint64(sent));
    QVERIFY(log_text(dir_->path()).contains(QStringLiteral("停止采集")));
    // Exit 0 says the stop was asked for, and the end line says so too.
    QVERIFY2(record.err().contains(QRegularExpression(
                 QStringLiteral("Recorded: %1 samples stored in %2 of %3, stopped on request "
                                "after \\d+\\.\\d s\n")
                     .arg(sent)
                     .arg(table, cliDatabase))),
             qPrintable(record.err()));
}

void TelvaneCliTest::vanishingPortEndsTheRunWithExitFourAndKeepsTheRows()
{
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "multi", "--rate", "150",
                  "--time", "60", "--csv", "partial.csv"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    QTRY_VERIFY_WITH_TIMEOUT(simulator_->samples_sent() >= 100, progressMs);
    simulator_->vanish();
    QCOMPARE(record.finish(), 4);
    QVERIFY2(record.err().contains(QStringLiteral("serial port lost")), qPrintable(record.err()));

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    const qint64 rows = database.row_count(table);
    QVERIFY(rows > 0);
    QVERIFY(quint64(rows) <= simulator_->samples_sent());
    // What was stored is the waveform's beginning, and is exported as well.
    const QStringList csv = read_lines(dir_->filePath("partial.csv"));
    QCOMPARE(csv, expected_csv(false, 150, quint64(rows), simulator_->pattern()));
}

void TelvaneCliTest::unansweredStopEndsTheRunIncompleteWithTheRowsStored()
{
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate", "100",
                  "--time", "60"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    QTRY_VERIFY_WITH_TIMEOUT(simulator_->samples_sent() >= 50, progressMs);
    // The instrument holds back everything, its end frame included, for longer than the tool waits.
    simulator_->stall(progressMs);
    record.signal(SIGINT);
    QCOMPARE(record.finish(), 5);
    QVERIFY2(record.err().contains(QStringLiteral("did not confirm the stop")),
             qPrintable(record.err()));
    QVERIFY(simulator_->received_commands().contains(stop_command()));

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QVERIFY(database.row_count(table) >= 50);
}

void TelvaneCliTest::runGoingPastItsCollectionTimeIsStoppedAndEndsIncomplete_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("withholdEndFrame");
    QTest::addColumn<bool>("ignoreStop");
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<QString>("mention");

    QTest::newRow("silent after the status reply")
        << true << false << false << qint64(0) << "did not confirm the stop";
    QTest::newRow("end frame withheld, stop obeyed")
        << false << true << false << qint64(20) << "stopped: 20 samples stored";
    QTest::newRow("end frame withheld, stop ignored")
        << false << true << true << qint64(20) << "did not confirm the stop";
}

void TelvaneCliTest::runGoingPastItsCollectionTimeIsStoppedAndEndsIncomplete()
{
    QFETCH(bool, silent);
    QFETCH(bool, withholdEndFrame);
    QFETCH(bool, ignoreStop);
    QFETCH(qint64, rows);
    QFETCH(QString, mention);
    simulator_->set_silent_runs(silent);
    simulator_->set_withhold_end_frame(withholdEndFrame);
    simulator_->set_ignore_stop(ignoreStop);

    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                         "10", "--time", "2"}),
             5);
    const QString err = record.err();
    QVERIFY2(err.contains(QStringLiteral("did not end the run within 5 s after its collection "
                                         "time")) &&
                 err.contains(mention),
             qPrintable(err));
    QVERIFY(simulator_->received_commands().contains(stop_command()));

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QCOMPARE(database.row_count(record.out().section('\n', 0, 0)), rows);
}

void TelvaneCliTest::shortRunEndsIncompleteWithItsSamplesCounted_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("endAfterFrames");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("mention");

    QTest::newRow("end frame at once")
        << "single" << 30 << qint64(0) << 5 << "incomplete: 0 of 30 samples";
    QTest::newRow("end frame after half the run")
        << "multi" << 20 << qint64(10) << 5 << "incomplete: 10 of 20 samples";
    // Sixteen samples a frame: 1000 samples are 62.5 frames, and the last may be rounded down.
    QTest::newRow("last frame of sixteen rounded down")
        << "single" << 1000 << qint64(62) << 0 << "Recorded: 992 samples stored";
    QTest::newRow("a frame of sixteen short")
        << "single" << 1000 << qint64(61) << 5 << "incomplete: 976 of 1000 samples";
}

void TelvaneCliTest::shortRunEndsIncompleteWithItsSamplesCounted()
{
    QFETCH(QString, mode);
    QFETCH(int, rate);
    QFETCH(qint64, endAfterFrames);
    QFETCH(int, exitCode);
    QFETCH(QString, mention);
    simulator_->set_end_after_frames(endAfterFrames);

    Cli record(dir_->path());
    const int code = record.run({"record", "--port", simulator_->port_name(), "--mode", mode,
                                 "--rate", QString::number(rate), "--time", "1"});
    QVERIFY2(code == exitCode, qPrintable(QStringLiteral("exit %1: ").arg(code) + record.err()));
    QVERIFY2(record.err().contains(mention), qPrintable(record.err()));
    QVERIFY(!simulator_->received_commands().contains(stop_command()));
}

void TelvaneCliTest::stopSignalDuringTheStatusWaitEndsAtOnceWithoutARun()
{
    // Nobody answers the status query; left alone the wait would end in exit 3.
    PseudoTerminal silent;
    QVERIFY(silent.is_open());
    Cli record(dir_->path());
    record.start({"record", "--port", silent.slave_name(), "--mode", "single", "--rate", "10",
                  "--time", "1"});
    QCOMPARE(read_from(silent.master_fd(), 26, progressMs), status_query_command());
    record.signal(SIGINT);
    QCOMPARE(record.finish(), 5);
    QVERIFY2(record.err().contains(QStringLiteral("interrupted before the run started")),
             qPrintable(record.err()));
    QCOMPARE(record.out(), QString());
    QCOMPARE(read_from(silent.master_fd(), 1, 0), QByteArray());
}

void TelvaneCliTest::statusLineRateIsThatOfTheLastSecond()
{
    constexpr int rate = 10;
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                  QString::number(rate), "--time", "60"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    // Stopped just after a status line: the last line follows it within moments, when
    // hardly a sample (or none) has come since.
    QVERIFY(record.wait_for_status_lines(2));
    record.signal(SIGINT);
    QCOMPARE(record.finish(), 0);

    const QList<StatusFigures> lines = status_lines(record.err());
    QVERIFY2(lines.size() >= 3, qPrintable(record.err()));
    for (const StatusFigures &line : lines) {
        // Wide margins for a busy machine's bursts; the fault was a figure ten times too high.
        QVERIFY2(line.perSecond <= 3 * rate, qPrintable(record.err()));
    }
    QVERIFY2(lines.last().perSecond >= rate / 3, qPrintable(record.err()));
    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QCOMPARE(lines.last().stored, database.row_count(table));
}

void TelvaneCliTest::unwritableCsvFailsTheRecordButKeepsTheRun()
{
    // The run's CSV is more than a pipe holds; its reader leaves after the first bytes.
    const QString fifo = dir_->filePath("run.csv");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PipeReader reader(fifo);
    QVERIFY(reader.is_open());
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate", "5000",
                  "--time", "1", "--csv", fifo});
    QVERIFY(!reader.read_while_running(record, 1).isEmpty());
    QCOMPARE(record.finish(), 1);
    QVERIFY2(record.err().contains(QStringLiteral("could not write the CSV file ") + fifo),
             qPrintable(record.err()));
    const QString table = record.out().section('\n', 0, 0);

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QCOMPARE(database.row_count(table), qint64(simulator_->samples_sent()));
}

void TelvaneCliTest::badArgumentsAreRefusedBeforeAnyRunIsSent_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("mentions");
    QTest::addColumn<bool>("statusQueryAllowed");

    QTest::newRow("rate 6000 single")
        << QStringList{"--mode", "single", "--rate", "6000", "--time", "1"}
        << QStringList{"--rate 6000", "1..5000"} << false;
    QTest::newRow("rate 151 multi")
        << QStringList{"--mode", "multi", "--rate", "151", "--time", "1"}
        << QStringList{"--rate 151", "1..150"} << false;
    QTest::newRow("time 0") << QStringList{"--mode", "single", "--rate", "10", "--time", "0"}
                            << QStringList{"--time 0", "1..10000"} << false;
    QTest::newRow("unknown mode") << QStringList{"--mode", "fast", "--rate", "10", "--time", "1"}
                                  << QStringList{"--mode", "single or multi"} << false;
    // The range of the excitation depends on the instrument: it is asked first.
    QTest::newRow("voltage 11 without module")
        << QStringList{"--mode", "single", "--rate", "10", "--time", "1", "--vout", "11"}
        << QStringList{"--vout 11", "-10..10"} << true;
    QTest::newRow("V4 -11 without module")
        << QStringList{"--mode", "multi", "--rate", "10", "--time", "1", "--v4", "-11"}
        << QStringList{"--v4 -11", "-10..10"} << true;
    // The files the set-up leaves: a folder "runs" and a one-byte "notes.db".
    const QStringList run = {"--mode", "single", "--rate", "10", "--time", "1"};
    QTest::newRow("csv in a missing folder")
        << run + QStringList{"--csv", "missing/run.csv"}
        << QStringList{"--csv missing/run.csv", "does not exist"} << false;
    QTest::newRow("csv naming a folder")
        << run + QStringList{"--csv", "runs"} << QStringList{"--csv runs", "folder"} << false;
    QTest::newRow("db a one-byte file of other data")
        << run + QStringList{"--db", "notes.db"}
        << QStringList{"--db notes.db", "not an SQLite database"} << false;
    QTest::newRow("db naming a folder")
        << run + QStringList{"--db", "runs"} << QStringList{"--db runs", "folder"} << false;
    QTest::newRow("repeat 0") << run + QStringList{"--repeat", "0"}
                              << QStringList{"--repeat 0", "forever"} << false;
    QTest::newRow("until a time that has passed")
        << run + QStringList{"--until", "2020-01-01 00:00"}
        << QStringList{"--until 2020-01-01 00:00", "passed"} << false;
    QTest::newRow("until not a time") << run + QStringList{"--until", "tomorrow"}
                                      << QStringList{"--until \"tomorrow\"", "hh:mm"} << false;
    QTest::newRow("reconnect without a chain")
        << run + QStringList{"--reconnect"} << QStringList{"--reconnect", "--repeat"} << false;
    QTest::newRow("csv pattern with an unknown field")
        << run + QStringList{"--repeat", "2", "--csv", "run-%Q.csv"}
        << QStringList{"run-%Q.csv", "%Q"} << false;
}

void TelvaneCliTest::badArgumentsAreRefusedBeforeAnyRunIsSent()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, mentions);
    QFETCH(bool, statusQueryAllowed);

    QVERIFY(QDir(dir_->path()).mkdir("runs"));
    const QString notes = dir_->filePath("notes.db");
    QFile file(notes);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.putChar('x'));
    file.close();

    Cli record(dir_->path());
    QCOMPARE(record.run(QStringList{"record", "--port", simulator_->port_name()} + arguments), 2);
    QCOMPARE(record.out(), QString());
    const QString err = record.err();
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.startsWith(QStringLiteral("telvane-cli: ")), qPrintable(err));
    for (const QString &mention : mentions) {
        QVERIFY2(err.contains(mention), qPrintable(err));
    }

    const QList<QByteArray> commands = simulator_->received_commands();
    if (statusQueryAllowed) {
        QCOMPARE(commands, QList<QByteArray>{status_query_command()});
    } else {
        QCOMPARE(commands, QList<QByteArray>());
    }
    QVERIFY(!simulator_->run_active());
    QCOMPARE(read_bytes(notes), QByteArray("x"));
}

void TelvaneCliTest::fileNameNotInTheSystemsEncodingIsRefused_data()
{
    QTest::addColumn<QString>("arguments");
    const QString run = QStringLiteral("record --simulate --mode single --rate 10 --time 1 ");
    QTest::newRow("record --db") << run + "--db \"$(printf 'runs\\377.db')\"";
    QTest::newRow("record --csv") << run + "--csv \"$(printf 'run\\377.csv')\"";
    QTest::newRow("export --csv")
        << "export --table dataSample_20240101_00_00_00 --csv \"$(printf 'run\\377.csv')\"";
}

// A name whose bytes are no text in the system's encoding would reach the file system changed
// (a replacement character in place of each such byte): it is refused before any file is made.
void TelvaneCliTest::fileNameNotInTheSystemsEncodingIsRefused()
{
    QFETCH(QString, arguments);
    Cli cli(dir_->path());
    QCOMPARE(cli.run_in_shell(arguments), 2);
    QVERIFY2(cli.err().contains(QStringLiteral("not valid in the system's encoding")),
             qPrintable(cli.err()));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TelvaneCliTest::unwritableLogFolderIsReportedOnceAndTheRunGoesOn()
{
    QFile logs(dir_->filePath("Logs")); // a file where the log folder belongs
    QVERIFY(logs.open(QIODevice::WriteOnly));
    logs.close();

    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                         "10", "--time", "1"}),
             0);
    const QString err = record.err();
    QCOMPARE(err.count(QLatin1String("log folder")), 1);
    QVERIFY2(err.contains(QLatin1String("/Logs: it is a file, not a folder")), qPrintable(err));
    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QCOMPARE(database.row_count(record.out().section('\n', 0, 0)), qint64(10));
}

void TelvaneCliTest::attenuationModuleAllowsVoltagesBeyondTen()
{
    simulator_->set_module_present(true);
    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "multi", "--rate",
                         "10", "--time", "1", "--v1", "11", "--v2", "-80", "--v3", "80"}),
             0);
    const QList<QByteArray> commands = simulator_->received_commands();
    QVERIFY(commands.contains(start_multi_command(11.0f, -80.0f, 80.0f, 0.0f, 10, 1)));
}

void TelvaneCliTest::statusReportsBatteryAndModule_data()
{
    QTest::addColumn<bool>("split");
    QTest::addColumn<QString>("link"); // a link to the line in the current folder, named so
    QTest::newRow("reply in one piece") << false << QString();
    QTest::newRow("reply in pieces after a stray byte") << true << QString();
    // A name that is a file in the current folder is that file, not one under /dev.
    QTest::newRow("port named by a link in the current folder") << false << "simA";
}

void TelvaneCliTest::statusReportsBatteryAndModule()
{
    QFETCH(bool, split);
    QFETCH(QString, link);
    simulator_->set_split_status_reply(split);
    simulator_->set_battery(42);
    simulator_->set_module_present(true);
    QString port = simulator_->port_name();
    if (!link.isEmpty()) {
        QVERIFY(QFile::link(port, dir_->filePath(link)));
        port = link;
    }
    Cli status(dir_->path());
    QCOMPARE(status.run({"status", "--port", port}), 0);
    QCOMPARE(status.out(), QStringLiteral("battery 42 %, attenuation module present\n"));
    QCOMPARE(simulator_->received_commands(), QList<QByteArray>{status_query_command()});
}

void TelvaneCliTest::silentPortGivesExitThree_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("status") << QStringList{"status"};
    QTest::newRow("record") << QStringList{"record", "--mode", "single", "--rate",
                                           "10",     "--time", "1"};
}

void TelvaneCliTest::silentPortGivesExitThree()
{
    QFETCH(QStringList, arguments);

    // A line with nobody answering at the other end.
    PseudoTerminal silent;
    QVERIFY(silent.is_open());
    Cli cli(dir_->path());
    QCOMPARE(cli.run(arguments + QStringList{"--port", silent.slave_name()}), 3);
    QVERIFY2(cli.err().contains(QStringLiteral("no valid status reply")), qPrintable(cli.err()));
    QCOMPARE(cli.out(), QString());
}

void TelvaneCliTest::builtInSimulatorRecordsWithoutAnyPort()
{
    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--simulate", "--mode", "multi", "--rate", "20", "--time", "1",
                         "--csv", "simulated.csv"}),
             0);
    const QStringList csv = read_lines(dir_->filePath("simulated.csv"));
    QCOMPARE(csv, expected_csv(false, 20, 20, 1));
    // The test's own simulator was not involved.
    QCOMPARE(simulator_->received_commands(), QList<QByteArray>());
}

void TelvaneCliTest::exportOfATableLeftByAKilledRecordEqualsTheRecoveryExport()
{
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate", "5000",
                  "--time", "60"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    {
        SampleDatabase watcher(dir_->filePath(cliDatabase));
        QVERIFY(watcher.open_database().ok());
        QTRY_VERIFY_WITH_TIMEOUT(watcher.row_count(table) > 1000, progressMs);
    }
    record.signal(SIGKILL);
    QCOMPARE(record.finish(), -1);

    Cli exporter(dir_->path());
    QCOMPARE(exporter.run({"export", "--table", table, "--csv", "saved.csv"}), 0);
    Cli oneDecimal(dir_->path());
    QCOMPARE(oneDecimal.run({"export", "--table", table, "--csv", "saved1.csv", "--db", cliDatabase,
                             "--decimals", "1"}),
             0);

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QVERIFY(database.export_table(dir_->filePath("recovery.csv"), table,
                                  CsvExporter::voltage_decimals(CsvExporter::Precision::Full)));
    const QByteArray recovery = read_bytes(dir_->filePath("recovery.csv"));
    QVERIFY(recovery.count('\n') > 1000);
    QCOMPARE(read_bytes(dir_->filePath("saved.csv")), recovery);

    // With one decimal the file reads as the window's export of a finished run.
    const QStringList saved1 = read_lines(dir_->filePath("saved1.csv"));
    QCOMPARE(saved1.size(), recovery.count('\n'));
    QCOMPARE(saved1.mid(0, 3), expected_csv(true, 5000, 2, 1));
}

void TelvaneCliTest::exportRefusesUnknownAndIllFormedTables_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("mention");
    QTest::newRow("no such run") << "dataSample_20000101_00_00_00"
                                 << "no such run table";
    QTest::newRow("not a run table name") << "sqlite_master"
                                          << "not a run table name";
    QTest::newRow("statement in the name") << "dataSample_20000101_00_00_00; DROP TABLE x"
                                           << "not a run table name";
}

void TelvaneCliTest::exportRefusesUnknownAndIllFormedTables()
{
    QFETCH(QString, table);
    QFETCH(QString, mention);

    {
        SampleDatabase database(dir_->filePath(cliDatabase));
        QVERIFY(database.open_database().ok());
        QVERIFY(database.create_table(QStringLiteral("dataSample_20250305_14_07_09"), true).ok());
    }
    Cli exporter(dir_->path());
    QCOMPARE(exporter.run({"export", "--table", table, "--csv", "out.csv"}), 2);
    QVERIFY2(exporter.err().contains(mention), qPrintable(exporter.err()));
    QVERIFY(!QFileInfo::exists(dir_->filePath("out.csv")));

    // A database that is not there is not created by looking into it.
    Cli missing(dir_->path());
    QCOMPARE(missing.run({"tables", "--db", "missing.db"}), 1);
    QVERIFY(!QFileInfo::exists(dir_->filePath("missing.db")));
}

void TelvaneCliTest::versionAndHelpAreAnsweredWithoutAnInstrument()
{
    Cli version(dir_->path());
    QCOMPARE(version.run({"--version"}), 0);
    QCOMPARE(version.out(), QStringLiteral("Telvane V1.1.0\n"));

    for (const QString &command : QStringList{"ports", "status", "record", "tables", "export"}) {
        Cli help(dir_->path());
        QCOMPARE(help.run({command, "--help"}), 0);
        QVERIFY2(help.out().startsWith(QStringLiteral("Usage: telvane-cli ") + command),
                 qPrintable(help.out()));
        if (help.out().contains(QLatin1String("--db"))) {
            // The recorder's default file, and how to read the window's.
            QVERIFY2(help.out().contains(cliDatabase) && help.out().contains("Quorlen.db"),
                     qPrintable(help.out()));
        }
    }
    Cli unknown(dir_->path());
    QCOMPARE(unknown.run({"play"}), 2);
    QVERIFY(unknown.err().contains(QStringLiteral("unknown command")));
    QCOMPARE(simulator_->received_commands(), QList<QByteArray>());
}

void TelvaneCliTest::recordedRunSurvivesTheWindowClosingInTheSameFolder()
{
    // Recorded into the window's own database: still not the window's run to drop.
    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                         "10", "--time", "1", "--db", "Quorlen.db"}),
             0);
    const QString table = record.out().section('\n', 0, 0);
    QVERIFY2(SampleDatabase::is_valid_table_name(table), qPrintable(record.out()));

    QProcess window;
    window.setWorkingDirectory(dir_->path());
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    window.start(QStringLiteral(MAINWINDOW_PROBE), {QStringLiteral("cycle")});
    QVERIFY(window.waitForFinished(finishMs));
    QCOMPARE(window.exitCode(), 0);

    Cli tables(dir_->path());
    QCOMPARE(tables.run({"tables", "--db", "Quorlen.db"}), 0);
    QVERIFY2(tables.out().startsWith(table + '\t' + "10 rows"), qPrintable(tables.out()));
}

// stats answers from the envelope levels what the exported rows say; a stretch exports and
// measures only its rows; a stretch without samples is refused with the run's span.
void TelvaneCliTest::statsAndStretchesAgreeWithTheExportedRows()
{
    Cli record(dir_->path());
    QCOMPARE(
        record.run({"record", "--simulate", "--mode", "multi", "--rate", "150", "--time", "2"}), 0);
    const QString table = record.out().section('\n', 0, 0);
    Cli tables(dir_->path());
    QCOMPARE(tables.run({"tables"}), 0);
    const QString started = tables.out().trimmed().section('\t', 4, 4);
    QCOMPARE(QDateTime::fromString(started, QStringLiteral("yyyy-MM-dd hh:mm:ss")),
             QDateTime::fromString(table.mid(11, 17), QStringLiteral("yyyyMMdd_hh_mm_ss")));

    for (const QStringList &stretch :
         {QStringList{}, QStringList{"--from", "0.5", "--to", "1.25"}}) {
        Cli exporter(dir_->path());
        QCOMPARE(exporter.run(QStringList{"export", "--table", table, "--csv", "-"} + stretch), 0);
        QStringList rows = exporter.out().split('\n', Qt::SkipEmptyParts);
        rows.removeFirst(); // the header
        Cli stats(dir_->path());
        QCOMPARE(stats.run(QStringList{"stats", "--table", table} + stretch), 0);
        const QStringList lines = stats.out().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 17);
        QCOMPARE(lines.first(), QStringLiteral("channel\tsamples\tmin_mV\tmax_mV\t"
                                               "peak_to_peak_mV\tmean_mV\trms_mV"));
        for (int c = 1; c <= 16; ++c) {
            double sum = 0.0;
            double squares = 0.0;
            double low = 1e300;
            double high = -1e300;
            for (const QString &row : std::as_const(rows)) {
                const double time = row.section(',', 1, 1).toDouble();
                QVERIFY(stretch.isEmpty() || (time >= 0.5 && time <= 1.25));
                const double value = row.section(',', c + 1, c + 1).toDouble();
                sum += value;
                squares += value * value;
                low = std::min(low, value);
                high = std::max(high, value);
            }
            const QStringList fields = lines.at(c).split('\t');
            QCOMPARE(fields.at(0), QStringLiteral("Vol%1").arg(c));
            QCOMPARE(fields.at(1).toInt(), rows.size());
            // The CSV rounds to 4 decimals, as stats prints.
            const double expected[] = {low, high, high - low, sum / rows.size(),
                                       std::sqrt(squares / rows.size())};
            for (int k = 0; k < 5; ++k)
                QVERIFY2(std::abs(fields.at(k + 2).toDouble() - expected[k]) < 2e-4,
                         qPrintable(lines.at(c)));
        }
    }
    Cli outside(dir_->path());
    QCOMPARE(outside.run({"stats", "--table", table, "--from", "5", "--to", "6"}), 2);
    QVERIFY2(outside.err().contains(QStringLiteral("which spans 0.0000..")),
             qPrintable(outside.err()));
    // Inside the run, between two of its samples: nothing to measure or export either.
    for (const QStringList &command :
         {QStringList{"stats"}, QStringList{"export", "--csv", "y.csv"}}) {
        Cli between(dir_->path());
        QCOMPARE(between.run(command +
                             QStringList{"--table", table, "--from", "0.50001", "--to", "0.50002"}),
                 2);
        QVERIFY2(between.err().contains(
                     QStringLiteral("0.50001..0.50002 s holds no sample of the run %1, which "
                                    "spans 0.0000..")
                         .arg(table)),
                 qPrintable(between.err()));
    }
    QVERIFY(!QFile::exists(dir_->filePath("y.csv")));
    Cli backwards(dir_->path());
    QCOMPARE(
        backwards.run({"export", "--table", table, "--csv", "x.csv", "--from", "1", "--to", "0.5"}),
        2);
    QVERIFY(!QFile::exists(dir_->filePath("x.csv")));
}

// A stretch typed from printed times takes exactly the rows printed inside it, in stats, the
// export and its sidecar: in runs stored by earlier versions as running sums of the period
// (2.0000 stored as 1.99999999999989) and in recorded runs, whose times are exact.
void TelvaneCliTest::rangeTypedFromPrintedTimesTakesTheRowsPrintedInside_data()
{
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("stretch");
    QTest::addColumn<int>("expected");
    const auto range = [](const char *from, const char *to) {
        QStringList arguments;
        if (from != nullptr)
            arguments << "--from" << from;
        if (to != nullptr)
            arguments << "--to" << to;
        return arguments;
    };
    QTest::newRow("summed 1000/s, 2 to 5")
        << false << 1000 << true << 6000 << range("2", "5") << 3001;
    QTest::newRow("summed 150/s x 16, 10 to 20")
        << false << 150 << false << 4500 << range("10", "20") << 1501;
    QTest::newRow("summed 1000/s, 1 to 1") << false << 1000 << true << 6000 << range("1", "1") << 1;
    QTest::newRow("summed 1000/s, from its last printed time")
        << false << 1000 << true << 3116 << range("3.115", nullptr) << 1;
    QTest::newRow("recorded 5000/s, 0.2 to 0.4")
        << true << 5000 << true << 0 << range("0.2", "0.4") << 1001;
    QTest::newRow("recorded 150/s x 16, 0.5 to 1")
        << true << 150 << false << 0 << range("0.5", "1") << 76;
}

void TelvaneCliTest::rangeTypedFromPrintedTimesTakesTheRowsPrintedInside()
{
    QFETCH(bool, recorded);
    QFETCH(int, rate);
    QFETCH(bool, single);
    QFETCH(int, rows);
    QFETCH(QStringList, stretch);
    QFETCH(int, expected);
    const QString path = dir_->filePath(cliDatabase);
    QString table = runTable;
    if (recorded) {
        Cli record(dir_->path());
        QCOMPARE(record.run({"record", "--simulate", "--mode", single ? "single" : "multi",
                             "--rate", QString::number(rate), "--time", "2"}),
                 0);
        table = record.out().section('\n', 0, 0);
        QSqlDatabase check = QSqlDatabase::addDatabase("QSQLITE", "times");
        check.setDatabaseName(path);
        QVERIFY(check.open());
        QSqlQuery query(check);
        // Each time is the sample's number over the rate, as exactly as a double holds it.
        QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE time <> "
                                          "(id - (SELECT MIN(id) FROM %1)) / %2.0")
                               .arg(table)
                               .arg(rate)) &&
                query.next());
        QCOMPARE(query.value(0).toInt(), 0);
        check.close();
    } else {
        // As earlier versions stored it: the time a running sum of the period.
        SampleDatabase database(path);
        QVERIFY(database.open_database().ok() && database.create_table(table, single).ok());
        QList<SampleRow> batch;
        double time = 0.0;
        for (int k = 0; k < rows; ++k) {
            batch.append(SampleRow(single ? 2 : 17, std::sin(k / 7.0) * 100.0));
            batch.last()[0] = time;
            time += 1.0 / rate;
        }
        QCOMPARE(database.insert_samples(batch).rows, rows);
    }
    QSqlDatabase::removeDatabase("times");

    // The rows whose printed time lies inside, as a reader of the whole CSV finds them.
    Cli whole(dir_->path());
    QCOMPARE(whole.run({"export", "--table", table, "--csv", "-"}), 0);
    const double from =
        stretch.contains("--from") ? stretch.at(stretch.indexOf("--from") + 1).toDouble() : -1.0;
    const double to =
        stretch.contains("--to") ? stretch.at(stretch.indexOf("--to") + 1).toDouble() : 1e9;
    QStringList inside;
    for (const QString &line : whole.out().split('\n', Qt::SkipEmptyParts).mid(1)) {
        const double printed = line.section(',', 1, 1).toDouble();
        if (printed >= from && printed <= to)
            inside.append(line);
    }
    QCOMPARE(inside.size(), expected);

    Cli exporter(dir_->path());
    QCOMPARE(exporter.run(QStringList{"export", "--table", table, "--csv", "part.csv"} + stretch),
             0);
    QCOMPARE(read_lines(dir_->filePath("part.csv")).mid(1), inside);
    const QJsonObject sidecar = QJsonDocument::fromJson(read_bytes(dir_->filePath("part.json")))
                                    .object()
                                    .value("exported")
                                    .toObject();
    QCOMPARE(sidecar.value("rows").toInt(), expected);
    Cli stats(dir_->path());
    QCOMPARE(stats.run(QStringList{"stats", "--table", table} + stretch), 0);
    QCOMPARE(stats.out().section('\n', 1, 1).section('\t', 1, 1), QString::number(expected));
}

void TelvaneCliTest::recordersStartedTogetherGetTablesOfTheirOwn_data()
{
    QTest::addColumn<QString>("secondMode");
    QTest::newRow("same mode") << "single";
    QTest::newRow("mixed modes") << "multi";
}

// Two recorders in one folder, started in the same second: each writes only into the table
// it created, and its CSV and exit code tell about its own run alone.
void TelvaneCliTest::recordersStartedTogetherGetTablesOfTheirOwn()
{
    QFETCH(QString, secondMode);
    constexpr int rate = 50;
    for (int round = 0; round < 3; ++round) {
        Cli first(dir_->path());
        Cli second(dir_->path());
        const QString firstCsv = QStringLiteral("first-%1.csv").arg(round);
        const QString secondCsv = QStringLiteral("second-%1.csv").arg(round);
        first.start({"record", "--simulate", "--mode", "single", "--rate", QString::number(rate),
                     "--time", "1", "--csv", firstCsv});
        second.start({"record", "--simulate", "--mode", secondMode, "--rate", QString::number(rate),
                      "--time", "1", "--csv", secondCsv});
        QCOMPARE(first.finish(), 0);
        QCOMPARE(second.finish(), 0);
        const QString firstTable = first.out().section('\n', 0, 0);
        const QString secondTable = second.out().section('\n', 0, 0);
        QVERIFY2(firstTable != secondTable, qPrintable(firstTable));
        QCOMPARE(read_lines(dir_->filePath(firstCsv)), expected_csv(true, rate, rate, 1));
        QCOMPARE(read_lines(dir_->filePath(secondCsv)),
                 expected_csv(secondMode == QLatin1String("single"), rate, rate, 1));
        SampleDatabase database(dir_->filePath(cliDatabase));
        QVERIFY(database.open_database().ok());
        QCOMPARE(database.row_count(firstTable), rate);
        QCOMPARE(database.row_count(secondTable), rate);
    }
}

void TelvaneCliTest::csvNamingTheDatabaseIsRefusedAndTouchesNothing_data()
{
    QTest::addColumn<QString>("database"); // --db, or empty for the default
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("link"); // csv made a "symbolic" or "hard" link to target
    QTest::addColumn<QString>("target");

    QTest::newRow("the default database") << "" << cliDatabase << ""
                                          << "";
    QTest::newRow("the database by another path") << "runs.db"
                                                  << "sub/../runs.db"
                                                  << ""
                                                  << "";
    QTest::newRow("its write-ahead log") << "runs.db"
                                         << "./runs.db-wal"
                                         << ""
                                         << "";
    QTest::newRow("its shared-memory index") << "runs.db"
                                             << "runs.db-shm"
                                             << ""
                                             << "";
    QTest::newRow("its rollback journal") << "./sub/../runs.db"
                                          << "runs.db-journal"
                                          << ""
                                          << "";
    QTest::newRow("a symbolic link to the database") << "runs.db"
                                                     << "run.csv"
                                                     << "symbolic"
                                                     << "runs.db";
    QTest::newRow("a hard link to the database") << "runs.db"
                                                 << "run.csv"
                                                 << "hard"
                                                 << "runs.db";
    QTest::newRow("a symbolic link to the log not yet there") << "runs.db"
                                                              << "run.csv"
                                                              << "symbolic"
                                                              << "runs.db-wal";
}

void TelvaneCliTest::csvNamingTheDatabaseIsRefusedAndTouchesNothing()
{
    QFETCH(QString, database);
    QFETCH(QString, csv);
    QFETCH(QString, link);
    QFETCH(QString, target);

    const QString databasePath = dir_->filePath(database.isEmpty() ? cliDatabase : database);
    QVERIFY(QDir(dir_->path()).mkdir("sub"));
    QVERIFY(make_run_database(databasePath, 100));
    const QByteArray csvPath = QFile::encodeName(dir_->filePath(csv));
    if (link == QLatin1String("symbolic")) {
        QCOMPARE(::symlink(qPrintable(target), csvPath.constData()), 0);
    } else if (link == QLatin1String("hard")) {
        QCOMPARE(::link(qPrintable(dir_->filePath(target)), csvPath.constData()), 0);
    }
    const QByteArray before = read_bytes(databasePath);
    const auto entries = [this] {
        return QDir(dir_->path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QStringList entriesBefore = entries();

    const QStringList db = database.isEmpty() ? QStringList() : QStringList{"--db", database};
    const QList<QStringList> commands = {
        QStringList{"record", "--port", simulator_->port_name(), "--mode", "single", "--rate", "10",
                    "--time", "1", "--csv", csv} +
            db,
        QStringList{"export", "--table", runTable, "--csv", csv} + db};
    for (const QStringList &arguments : commands) {
        Cli cli(dir_->path());
        QCOMPARE(cli.run(arguments), 2);
        QVERIFY2(cli.err().contains(QStringLiteral("--csv ") + csv) &&
                     cli.err().contains(QLatin1String("database")),
                 qPrintable(cli.err()));
        QCOMPARE(read_bytes(databasePath), before);
        QCOMPARE(entries(), entriesBefore);
    }
    QCOMPARE(simulator_->received_commands(), QList<QByteArray>());
}

void TelvaneCliTest::csvIntoAPipeIsStreamedAndThePipeStays_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("standardOutput"); // --csv -, else a named pipe

    QTest::newRow("export into a named pipe") << "export" << false;
    QTest::newRow("export to standard output") << "export" << true;
    QTest::newRow("record into a named pipe") << "record" << false;
}

void TelvaneCliTest::csvIntoAPipeIsStreamedAndThePipeStays()
{
    QFETCH(QString, command);
    QFETCH(bool, standardOutput);

    // Far more than a pipe holds: the rows must be streamed as the reader takes them.
    const QString database = dir_->filePath(cliDatabase);
    QVERIFY(make_run_database(database, 20000));
    const QString fifo = dir_->filePath("run.csv");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    PipeReader reader(fifo);
    QVERIFY(reader.is_open());

    const bool record = command == QLatin1String("record");
    const QString csv = standardOutput ? QStringLiteral("-") : fifo;
    Cli cli(dir_->path());
    if (record) {
        cli.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate", "100",
                   "--time", "1", "--csv", csv});
    } else {
        cli.start({"export", "--table", runTable, "--csv", csv});
    }
    const QByteArray received = reader.read_while_running(cli);
    QCOMPARE(cli.finish(), 0);
    QVERIFY2(!cli.err().contains(QLatin1String("could not")), qPrintable(cli.err()));

    const QString table = record ? cli.out().section('\n', 0, 0) : runTable;
    const QByteArray expected = exported_csv(database, table, record ? 1 : 4);
    QVERIFY(expected.count('\n') > 100);
    QCOMPARE(standardOutput ? cli.out_bytes() : received, expected);
    QCOMPARE(file_type(fifo), mode_t(S_IFIFO));
}

void TelvaneCliTest::csvWriteErrorFailsAndLeavesTheTarget_data()
{
    QTest::addColumn<bool>("device"); // a full device, else a pipe whose reader leaves
    QTest::newRow("a full device") << true;
    QTest::newRow("a pipe whose reader leaves") << false;
}

void TelvaneCliTest::csvWriteErrorFailsAndLeavesTheTarget()
{
    QFETCH(bool, device);

    QVERIFY(make_run_database(dir_->filePath(cliDatabase), 20000));
    const QString target = dir_->filePath("target");
    const QByteArray nativeTarget = QFile::encodeName(target);
    std::unique_ptr<PipeReader> reader;
    if (device) {
        if (::geteuid() != 0) {
            QSKIP("making a device node needs root");
        }
        // Like /dev/full: every write fails for want of space.
        QCOMPARE(::mknod(nativeTarget.constData(), S_IFCHR | 0600, makedev(1, 7)), 0);
    } else {
        QCOMPARE(::mkfifo(nativeTarget.constData(), 0600), 0);
        reader = std::make_unique<PipeReader>(target);
        QVERIFY(reader->is_open());
    }
    Cli cli(dir_->path());
    cli.start({"export", "--table", runTable, "--csv", target});
    if (reader) {
        QVERIFY(!reader->read_while_running(cli, 1).isEmpty());
    }
    QCOMPARE(cli.finish(), 1);
    QVERIFY2(cli.err().contains(QStringLiteral("could not write the CSV file ") + target) &&
                 !cli.err().contains(QLatin1String("CSV written")),
             qPrintable(cli.err()));
    QCOMPARE(file_type(target), device ? mode_t(S_IFCHR) : mode_t(S_IFIFO));
}

void TelvaneCliTest::unreadableDatabaseIsReportedWithSqlitesReason_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("reason");

    QTest::newRow("not a database") << "text"
                                    << "file is not a database";
    // SQLite takes a file shorter than a page for an empty database.
    QTest::newRow("one byte, not a database") << "byte"
                                              << "file is not a database";
    QTest::newRow("truncated") << "truncated"
                               << "malformed";
    // The tables are listed, the rows cannot all be read: the export fails midway.
    QTest::newRow("damaged in the middle") << "overwritten"
                                           << "malformed";
}

void TelvaneCliTest::unreadableDatabaseIsReportedWithSqlitesReason()
{
    QFETCH(QString, damage);
    QFETCH(QString, reason);

    const QString folder = dir_->filePath("runs");
    QVERIFY(QDir(dir_->path()).mkdir("runs"));
    const QString database = folder + QStringLiteral("/runs.db");
    if (damage == QLatin1String("text")) {
        QFile file(database);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray("time,Vol\n0.0000,1.0\n").repeated(100)) > 0);
    } else if (damage == QLatin1String("byte")) {
        QFile file(database);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.putChar('\n'));
    } else {
        QVERIFY(make_run_database(database, 20000));
    }
    if (damage == QLatin1String("truncated")) {
        QVERIFY(QFile::resize(database, QFileInfo(database).size() / 2));
    } else if (damage == QLatin1String("overwritten")) {
        QFile file(database);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2));
        QCOMPARE(file.write(QByteArray(40960, '\xa5')), qint64(40960));
    }

    const QByteArray before = read_bytes(database);
    const QString csv = dir_->filePath("out.csv");
    const QList<QStringList> commands = {
        {"tables", "--db", database},
        {"export", "--table", runTable, "--db", database, "--csv", csv}};
    for (const QStringList &arguments : commands) {
        Cli cli(dir_->path());
        QCOMPARE(cli.run(arguments), 1);
        QVERIFY2(cli.err().contains(reason) &&
                     !cli.err().contains(QLatin1String("could not write")),
                 qPrintable(cli.err()));
        QCOMPARE(cli.out(), QString());
        QVERIFY(!QFile::exists(csv));
        QCOMPARE(read_bytes(database), before);
    }
}

void TelvaneCliTest::readingCommandsChangeNoByteOfTheFile_data()
{
    QTest::addColumn<QString>("where");
    // Another program's file keeps its rollback journal.
    QTest::newRow("rollback journal") << "rollback";
    // The recorder's own file: the log and its index a reader makes go with it.
    QTest::newRow("write-ahead log") << "log";
    // Root writes anywhere: a folder of the log's name stops the log being made.
    QTest::newRow("no log can be made beside it") << "log folder";
    QTest::newRow("folder the reader may not write") << "read-only folder";
    QTest::newRow("read-only mount") << "read-only mount";
}

void TelvaneCliTest::readingCommandsChangeNoByteOfTheFile()
{
    QFETCH(QString, where);

    const QString folder = dir_->filePath("runs");
    const QString out = dir_->filePath("out");
    QVERIFY(QDir(dir_->path()).mkdir("runs") && QDir(dir_->path()).mkdir("out"));
    const QString database = folder + QStringLiteral("/runs.db");
    bool mounted = false;
    const auto unmount = qScopeGuard([&] {
        if (mounted) {
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        }
    });
    if (where == QLatin1String("read-only mount")) {
        mounted =
            ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=4m") == 0;
        if (!mounted) {
            QSKIP("a tmpfs cannot be mounted here (it takes root)");
        }
    }
    QVERIFY(make_run_database(database, 2000));
    const bool asNobody = where == QLatin1String("read-only folder") && ::geteuid() == 0;
    if (where == QLatin1String("rollback")) {
        QVERIFY(run_sql(database, {QStringLiteral("PRAGMA journal_mode=DELETE")}));
    } else if (where == QLatin1String("log folder")) {
        QVERIFY(QDir(folder).mkdir(QStringLiteral("runs.db-wal")));
    } else if (where == QLatin1String("read-only folder")) {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(out, QFile::permissions(out) | QFile::WriteOther |
                                               QFile::ExeOther));
        QVERIFY(QFile::setPermissions(dir_->path(), QFile::permissions(dir_->path()) |
                                                        QFile::ExeOther | QFile::ReadOther));
    } else if (mounted) {
        QCOMPARE(::mount(nullptr, QFile::encodeName(folder).constData(), nullptr,
                         MS_REMOUNT | MS_RDONLY, nullptr),
                 0);
    }

    const QByteArray before = read_bytes(database);
    const auto files = [&folder] {
        return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                      QDir::NoDotAndDotDot);
    };
    const QStringList filesBefore = files();
    const QString csv = out + QStringLiteral("/run.csv");
    const QList<QPair<QStringList, int>> commands = {
        {{"tables"}, 0},
        {{"stats", "--table", runTable}, 0},
        {{"export", "--table", runTable, "--csv", csv}, 0},
        // Failing commands open the file as well: this run has no facts, that one is not there.
        {{"info", "--table", runTable}, 1},
        {{"export", "--table", "dataSample_20000101_00_00_00", "--csv", csv}, 2},
    };
    for (const auto &[arguments, exitCode] : commands) {
        Cli cli(dir_->path());
        if (asNobody) {
            if (const QString problem = cli.run_as_nobody(); !problem.isEmpty()) {
                QSKIP(qPrintable(problem));
            }
        }
        const int code = cli.run(arguments + QStringList{"--db", database});
        QVERIFY2(code == exitCode, qPrintable(arguments.first() + ": " + cli.err()));
        QVERIFY(read_bytes(database) == before);
        QCOMPARE(files(), filesBefore);
    }
    QCOMPARE(read_lines(csv).size(), 2001);
}

void TelvaneCliTest::tableWithoutARunsColumnsIsNamedAndItsExportLeavesNoFile()
{
    const QString database = dir_->filePath(cliDatabase);
    const QString odd = QStringLiteral("dataSample_20240101_10_00_00");
    QVERIFY(make_run_database(database, 10));
    QVERIFY(run_sql(database, {QStringLiteral("CREATE TABLE %1(x INTEGER)").arg(odd),
                               QStringLiteral("INSERT INTO %1 VALUES(1)").arg(odd)}));

    Cli tables(dir_->path());
    QCOMPARE(tables.run({"tables"}), 0);
    QVERIFY2(tables.out().startsWith(runTable + '\t') && !tables.out().contains(odd),
             qPrintable(tables.out()));
    QVERIFY2(tables.err().contains(odd + QStringLiteral(": no such column: time")),
             qPrintable(tables.err()));

    // Neither a new file nor one already of that name is left changed.
    QFile kept(dir_->filePath("kept.csv"));
    QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept\n") == 5);
    kept.close();
    for (const QString &name : QStringList{"new", "kept"}) {
        Cli exporter(dir_->path());
        QCOMPARE(exporter.run({"export", "--table", odd, "--csv", name + ".csv"}), 1);
        QVERIFY2(exporter.err().contains(QStringLiteral("no such column: time")),
                 qPrintable(exporter.err()));
        QVERIFY(!QFile::exists(dir_->filePath(name + ".json")));
    }
    QVERIFY(!QFile::exists(dir_->filePath("new.csv")));
    QCOMPARE(read_bytes(kept.fileName()), QByteArray("kept\n"));
}

void TelvaneCliTest::tableCreationFailureNamesSqlitesReason()
{
    // SQLite's header, then no database.
    QFile notes(dir_->filePath("notes.db"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    QVERIFY(notes.write(QByteArray("SQLite format 3\0", 16)) == 16);
    QVERIFY(notes.write(QByteArray("not a database\n").repeated(100)) > 0);
    notes.close();

    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                         "10", "--time", "1", "--db", "notes.db"}),
             1);
    QVERIFY2(record.err().contains(QLatin1String("Data table creation failed")) &&
                 record.err().contains(QLatin1String("file is not a database")),
             qPrintable(record.err()));
}

void TelvaneCliTest::unopenablePortIsReportedWithTheReason_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("does not exist") << "missing" << QStringList{"does not exist"};
    QTest::newRow("not a serial device") << "file" << QStringList{"not a serial device"};
    QTest::newRow("held by another program") << "held" << QStringList{"busy"};
    QTest::newRow("not permitted")
        << "forbidden"
        << QStringList{"permission denied", "group dialout",
                       "sudo usermod -aG dialout $USER, then log in again"};
}

void TelvaneCliTest::unopenablePortIsReportedWithTheReason()
{
    QFETCH(QString, port);
    QFETCH(QStringList, mentions);

    Cli cli(dir_->path());
    QString path = simulator_->port_name();
    QSerialPort holder;
    if (port == QLatin1String("missing")) {
        path = dir_->filePath("ttyUSB7");
    } else if (port == QLatin1String("file")) {
        path = dir_->filePath("notes.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (port == QLatin1String("held")) {
        holder.setPortName(path);
        QVERIFY(holder.open(QIODevice::ReadWrite));
    } else {
        const group *dialout = ::getgrnam("dialout");
        if (::geteuid() != 0 || dialout == nullptr) {
            QSKIP("needs root and a dialout group to hand the line to that group");
        }
        // The line as a serial adapter usually comes: root's, usable by group dialout.
        const QByteArray native = QFile::encodeName(path);
        QCOMPARE(::chown(native.constData(), 0, dialout->gr_gid), 0);
        QCOMPARE(::chmod(native.constData(), 0660), 0);
        QVERIFY(QFile::setPermissions(dir_->path(), QFile::permissions(dir_->path()) |
                                                        QFile::ExeOther | QFile::ReadOther));
        if (const QString problem = cli.run_as_nobody(); !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
    }
    QCOMPARE(cli.run({"status", "--port", path}), 1);
    const QString err = cli.err();
    QVERIFY2(err.contains(QStringLiteral("cannot open serial port ") + path), qPrintable(err));
    for (const QString &mention : mentions) {
        QVERIFY2(err.contains(mention), qPrintable(err));
    }
    QCOMPARE(err.count('\n'), 1);
    QCOMPARE(simulator_->received_commands(), QList<QByteArray>());
}

void TelvaneCliTest::chainStoresEveryRowOfEachRunInATableAndFileOfItsOwn_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("files"); // what the run files are called
    QTest::addColumn<int>("chains");    // the same command, one after the other

    QTest::newRow("a plain name is numbered") << "run.csv"
                                              << "^run-[123]\\.csv$" << 1;
    QTest::newRow("fields take the run's start time") << "run-%Y%m%d-%H%M%S.csv"
                                                      << "^run-\\d{8}-\\d{6}(-[23])?\\.csv$" << 1;
    QTest::newRow("a second chain takes the next free numbers") << "run.csv"
                                                                << "^run-[1-6]\\.csv$" << 2;
}

void TelvaneCliTest::chainStoresEveryRowOfEachRunInATableAndFileOfItsOwn()
{
    QFETCH(QString, csv);
    QFETCH(QString, files);
    QFETCH(int, chains);
    simulator_->set_speed_factor(10.0);

    QStringList tables;
    QString err;
    for (int chain = 1; chain <= chains; ++chain) {
        Cli record(dir_->path());
        QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "multi",
                             "--rate", "150", "--time", "10", "--repeat", "3", "--csv", csv}),
                 0);
        tables += printed_tables(record.out());
        err = record.err();
    }
    QCOMPARE(simulator_->samples_sent(), quint64(chains * 3 * 1500));
    QCOMPARE(tables.size(), chains * 3);
    QCOMPARE(QSet<QString>(tables.begin(), tables.end()).size(), chains * 3);
    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    for (const QString &table : tables) {
        QCOMPARE(database.row_count(table), qint64(1500));
    }

    // Every run's file holds that run, from its first row: the waveform starts anew.
    const QStringList written = QDir(dir_->path()).entryList({"run*.csv"}, QDir::Files, QDir::Name);
    QCOMPARE(written.size(), chains * 3);
    QCOMPARE(QDir(dir_->path()).entryList({"run*.json"}, QDir::Files).size(), chains * 3);
    const QStringList expected = expected_csv(false, 150, 1500, simulator_->pattern());
    for (const QString &name : written) {
        QVERIFY2(QRegularExpression(files).match(name).hasMatch(), qPrintable(name));
        QCOMPARE(read_lines(dir_->filePath(name)), expected);
    }
    // The second chain says where its first run went instead.
    QCOMPARE(err.contains(QStringLiteral("is taken by an existing file; run 1 goes to ")),
             chains > 1);

    QVERIFY2(err.contains(QRegularExpression("gap before run 2: \\d+ ms")), qPrintable(err));
    QVERIFY2(err.contains(QRegularExpression("gap before run 3: \\d+ ms")), qPrintable(err));
    QVERIFY2(err.contains(QRegularExpression(
                 "Chain: 3 runs, 4500 samples stored, 2 gaps of \\d+\\.\\.\\d+ ms\n")),
             qPrintable(err));
    QVERIFY(log_text(dir_->path()).contains(QStringLiteral("gap before run 3")));
}

void TelvaneCliTest::stopSignalEndsTheChainWithTheRunUnderWay()
{
    simulator_->set_speed_factor(10.0);
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "multi", "--rate", "150",
                  "--time", "60", "--repeat", "forever"});
    QVERIFY(SampleDatabase::is_valid_table_name(record.next_line()));
    QVERIFY(SampleDatabase::is_valid_table_name(record.next_line()));
    QTRY_VERIFY_WITH_TIMEOUT(simulator_->samples_sent() >= 9000 + 150, progressMs);
    record.signal(SIGTERM);
    QCOMPARE(record.finish(), 0);

    QVERIFY(!simulator_->run_active());
    const QStringList tables = printed_tables(record.out());
    QCOMPARE(tables.size(), 2);
    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    QCOMPARE(database.row_count(tables[0]), qint64(9000));
    // Nothing the instrument sent before its end frame is missing.
    QCOMPARE(database.row_count(tables[0]) + database.row_count(tables[1]),
             qint64(simulator_->samples_sent()));
    QVERIFY2(
        record.err().contains(QRegularExpression(
            QStringLiteral("Chain: 2 runs, %1 samples stored, 1 gap of .*, stopped on request\n")
                .arg(simulator_->samples_sent()))),
        qPrintable(record.err()));
}

void TelvaneCliTest::chainWaitsForAVanishedPortAndGoesOnEachTimeItComesBack()
{
    // The adapter's stable name, as a /dev/serial/by-id/ link is; the terminal behind it
    // changes each time it comes back.
    const QString link = dir_->filePath("instrument");
    simulator_.reset();
    const auto plug_in = [&] {
        simulator_ = std::make_unique<InstrumentSimulator>();
        simulator_->set_speed_factor(2.0);
        return simulator_->create_symlink(link) && simulator_->start();
    };
    QVERIFY(plug_in());

    constexpr int losses = 3;
    Cli record(dir_->path());
    record.start({"record", "--port", link, "--mode", "multi", "--rate", "150", "--time", "8",
                  "--repeat", "5", "--reconnect"});
    QList<qint64> sentBeforeLoss;
    for (int i = 0; i < losses; ++i) {
        QVERIFY(SampleDatabase::is_valid_table_name(record.next_line()));
        QTRY_VERIFY_WITH_TIMEOUT(simulator_->samples_sent() >= 150, progressMs);
        simulator_->vanish();
        sentBeforeLoss.append(qint64(simulator_->samples_sent()));
        simulator_.reset(); // the link goes with it
        QVERIFY(!QFileInfo::exists(link));
        QVERIFY(plug_in());
    }
    QCOMPARE(record.finish(), 4); // the worst run lost its port

    const QStringList tables = printed_tables(record.out());
    QCOMPARE(tables.size(), 5);
    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    for (int i = 0; i < losses; ++i) {
        const qint64 rows = database.row_count(tables[i]);
        QVERIFY2(rows > 0 && rows <= sentBeforeLoss[i], qPrintable(QString::number(rows)));
    }
    // After the last return the chain records its remaining runs whole.
    QCOMPARE(database.row_count(tables[3]), qint64(1200));
    QCOMPARE(database.row_count(tables[4]), qint64(1200));

    const QString err = record.err();
    QCOMPARE(err.count(QStringLiteral("waiting for it to come back")), losses);
    QCOMPARE(err.count(QRegularExpression("port .+ back at .+, \\d+\\.\\d s after it was lost")),
             losses);
    QVERIFY2(err.contains(QStringLiteral("Chain: 5 runs")) &&
                 err.contains(QStringLiteral("port lost 3 times")),
             qPrintable(err));
    const QString log = log_text(dir_->path());
    QCOMPARE(log.count(QStringLiteral("waiting for it to come back")), losses);
    QCOMPARE(log.count(QStringLiteral("after it was lost")), losses);
}

void TelvaneCliTest::descriptorsAndMemoryStayFlatOverTwentyChainedRuns()
{
    simulator_->set_speed_factor(4.0);
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "multi", "--rate", "150",
                  "--time", "1", "--repeat", "21", "--csv", "run.csv"});
    // The most each run used, sampled from its table's line to the next one's.
    QList<ProcessUsage> peaks;
    while (!record.ended(0)) {
        const ProcessUsage now = process_usage(record.pid());
        if (!peaks.isEmpty() && now.descriptors > 0) {
            peaks.last().descriptors = std::max(peaks.last().descriptors, now.descriptors);
            peaks.last().residentKb = std::max(peaks.last().residentKb, now.residentKb);
        }
        if (SampleDatabase::is_valid_table_name(record.next_line(10))) {
            peaks.append(ProcessUsage{});
        }
    }
    while (SampleDatabase::is_valid_table_name(record.next_line(0))) {
        peaks.append(ProcessUsage{});
    }
    QCOMPARE(record.finish(), 0);
    QCOMPARE(peaks.size(), 21);
    QVERIFY(peaks[1].descriptors > 0);
    QCOMPARE(peaks[19].descriptors, peaks[1].descriptors);
#if !defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer freed memory waits in its quarantine, so the resident set grows
    // whatever the program does; the descriptors above still count exactly.
    QVERIFY2(peaks[19].residentKb - peaks[1].residentKb < 4096,
             qPrintable(QStringLiteral("%1 kB after run 2, %2 kB after run 20")
                            .arg(peaks[1].residentKb)
                            .arg(peaks[19].residentKb)));
#endif
}

void TelvaneCliTest::fillingFileSystemEndsTheChainBeforeARunThatWouldNotFit()
{
    // A small file system of the recorder's own, so nothing else fills or empties it.
    const QString small = dir_->filePath("small");
    QVERIFY(QDir().mkpath(small));
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=16m") != 0) {
        QSKIP("a tmpfs cannot be mounted here (it takes root)");
    }
    const auto unmount =
        qScopeGuard([&small] { ::umount2(QFile::encodeName(small).constData(), MNT_DETACH); });

    simulator_->set_speed_factor(4.0);
    Cli record(small);
    record.set_environment("TELVANE_FREE_SPACE_RESERVE", QString::number(1024 * 1024));
    QCOMPARE(record.run({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                         "5000", "--time", "5", "--repeat", "forever"}),
             1);
    const QStringList tables = printed_tables(record.out());
    QVERIFY2(tables.size() >= 2, qPrintable(record.err()));
    const QString err = record.err();
    QVERIFY2(err.contains(QRegularExpression(
                 QStringLiteral("not enough free space for run %1 on .+: \\d+\\.\\d MB free, "
                                "\\d+\\.\\d MB needed .*; it is not started")
                     .arg(tables.size() + 1))),
             qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("storing the samples failed")), qPrintable(err));
    QVERIFY(log_text(small).contains(QStringLiteral("not enough free space")));

    // Every run that started keeps what it stored, and the file is sound.
    qint64 stored = 0;
    {
        SampleDatabase database(small + QLatin1Char('/') + cliDatabase);
        QVERIFY(database.open_database().ok());
        for (const QString &table : tables) {
            QVERIFY(database.row_count(table) > 0);
            stored += database.row_count(table);
        }
    }
    QVERIFY2(
        err.contains(
            QStringLiteral("Chain: %1 runs, %2 samples stored").arg(tables.size()).arg(stored)),
        qPrintable(err));
    {
        QSqlDatabase check = QSqlDatabase::addDatabase("QSQLITE", "integrity");
        check.setDatabaseName(small + QLatin1Char('/') + cliDatabase);
        QVERIFY(check.open());
        QSqlQuery query(check);
        QVERIFY(query.exec("PRAGMA integrity_check") && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
    }
    QSqlDatabase::removeDatabase("integrity");
}

QTEST_GUILESS_MAIN(TelvaneCliTest)
// The facts of a run hold what it was set to, the instrument's status and how it ended; a
// killed run's stay without an end, shown as still open only while its program lives. They are
// not listed as a table and go with their run.
void TelvaneCliTest::runFactsSayWhatTheRunWasSetToAndHowItEnded_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("by itself") << "completed";
    QTest::newRow("SIGINT") << "stopped";
    QTest::newRow("vanishing port") << "port lost";
    QTest::newRow("SIGKILL") << "program gone";
}

void TelvaneCliTest::runFactsSayWhatTheRunWasSetToAndHowItEnded()
{
    QFETCH(QString, ending);
    const bool byItself = ending == QLatin1String("completed");
    simulator_->set_battery(63);
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "multi", "--rate", "150",
                  "--time", byItself ? "1" : "60", "--v1", "2", "--v2", "-1.5"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    if (!byItself) {
        SampleDatabase watcher(dir_->filePath(cliDatabase));
        QVERIFY(watcher.open_database().ok());
        QTRY_VERIFY_WITH_TIMEOUT(watcher.row_count(table) > 0, progressMs);
        const QMap<QString, QString> running = info_of(dir_->path(), table);
        QCOMPARE(running.value("outcome"), QStringLiteral("still open (no end recorded)"));
    }
    if (ending == QLatin1String("stopped")) {
        record.signal(SIGINT);
    } else if (ending == QLatin1String("port lost")) {
        simulator_->vanish();
    } else if (ending == QLatin1String("program gone")) {
        record.signal(SIGKILL);
    }
    record.finish();

    SampleDatabase database(dir_->filePath(cliDatabase));
    QVERIFY(database.open_database().ok());
    const qint64 rows = database.row_count(table);
    QVERIFY(rows > 0);
    const QMap<QString, QString> info = info_of(dir_->path(), table);
    QCOMPARE(info.value("run"), table);
    QCOMPARE(info.value("mode"), QStringLiteral("multi"));
    QCOMPARE(info.value("channels"), QStringLiteral("16"));
    QCOMPARE(info.value("rate"), QStringLiteral("150 points/s"));
    QCOMPARE(info.value("collection time"),
             byItself ? QStringLiteral("1 s") : QStringLiteral("60 s"));
    QCOMPARE(info.value("excitation"), QStringLiteral("V1 2 V, V2 -1.5 V, V3 0 V, V4 0 V"));
    QCOMPARE(info.value("battery"), QStringLiteral("63 %"));
    QCOMPARE(info.value("range module"), QStringLiteral("absent"));
    // The start to the second is the one the table's name carries.
    const QDateTime started = QDateTime::fromString(info.value("started"), Qt::ISODateWithMs);
    QCOMPARE(table.mid(11, 17), started.toLocalTime().toString("yyyyMMdd_hh_mm_ss"));
    if (ending == QLatin1String("program gone")) {
        QCOMPARE(info.value("outcome"), QStringLiteral("program gone (no end recorded)"));
        QVERIFY(!info.contains("committed rows"));
    } else {
        QCOMPARE(info.value("outcome"), ending);
        QCOMPARE(info.value("committed rows"), QString::number(rows));
        QCOMPARE(info.value("dropped"), QStringLiteral("0 frames, 0 samples"));
        QCOMPARE(info.value("paused"), QStringLiteral("0.000 s"));
        // The recorder's end says the same.
        QVERIFY2(record.err().contains(
                     QStringLiteral("Facts: %1, %2 rows committed, 0 frames and 0 samples "
                                    "dropped, 0.000 s paused")
                         .arg(ending)
                         .arg(rows)),
                 qPrintable(record.err()));
    }
    // The port's loss is the one gap, from the last row stored on; any other run has none.
    if (ending == QLatin1String("port lost")) {
        const QList<RunGap> gaps = database.read_gaps(table);
        QCOMPARE(gaps.size(), 1);
        const Result<RunListing> run = database.describe_run(table);
        QVERIFY(run.ok());
        QCOMPARE(gaps[0].start, run->lastTime.value_or(-1.0));
        QCOMPARE(info.value("gap"), QStringLiteral("%1 s\t%2 s\tport lost")
                                        .arg(QString::number(gaps[0].start, 'f', 3),
                                             QString::number(gaps[0].length, 'f', 3)));
        QVERIFY(!info.contains("gaps"));
    } else if (ending != QLatin1String("program gone")) {
        QCOMPARE(info.value("gaps"), QStringLiteral("no gaps"));
        QVERIFY(!info.contains("gap"));
    }
    Cli tables(dir_->path());
    QCOMPARE(tables.run({"tables"}), 0);
    QCOMPARE(tables.out().trimmed().section('\t', 5),
             QStringLiteral("150 points/s\t%1\t%2").arg(info.value("collection time"), ending));

    QVERIFY(!database.table_names().join(' ').contains(QLatin1String("_facts")));
    QVERIFY(!database.table_names().join(' ').contains(QLatin1String("_gaps")));
    QVERIFY(database.drop_tables({table}));
    QVERIFY(!database.read_facts(table));
    QCOMPARE(sql_rows::select(database.connection_handle(),
                              QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")),
             QList<QVariantList>());
}

// Every CSV written into a file gets <name>.json beside it, which Python reads, whose counts and
// time span are the CSV's; the CSV stays as it was. Standard output gets none, and a sidecar
// that cannot be written fails the export.
void TelvaneCliTest::everyCsvFileGetsASidecarWithItsCountsAndNoStreamDoes()
{
    Cli record(dir_->path());
    QCOMPARE(record.run({"record", "--simulate", "--mode", "single", "--rate", "500", "--time", "1",
                         "--csv", "run.csv"}),
             0);
    const QString table = record.out().section('\n', 0, 0);
    QVERIFY2(record.err().contains("Sidecar written to run.json"), qPrintable(record.err()));
    Cli whole(dir_->path());
    QCOMPARE(whole.run({"export", "--table", table, "--csv", "whole.csv", "--decimals", "1"}), 0);
    QCOMPARE(read_bytes(dir_->filePath("whole.csv")), read_bytes(dir_->filePath("run.csv")));
    Cli part(dir_->path());
    QCOMPARE(part.run({"export", "--table", table, "--csv", "part.csv", "--from", "0.25", "--to",
                       "0.5"}),
             0);

    const QString runRows = QString::number(read_lines(dir_->filePath("run.csv")).size() - 1);
    for (const QString &name :
         {QStringLiteral("run"), QStringLiteral("whole"), QStringLiteral("part")}) {
        const QStringList csv = read_lines(dir_->filePath(name + ".csv"));
        QVERIFY(csv.size() > 2);
        const QStringList sidecar = sidecar_as_python_reads_it(dir_->filePath(name + ".json"));
        QCOMPARE(sidecar,
                 (QStringList{"1", QString::number(csv.size() - 1), csv.at(1).section(',', 1, 1),
                              csv.last().section(',', 1, 1), "completed", runRows}));
    }

    const QStringList before = QDir(dir_->path()).entryList(QDir::Files);
    Cli stream(dir_->path());
    QCOMPARE(stream.run({"export", "--table", table, "--csv", "-"}), 0);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), before);

    QVERIFY(QDir(dir_->path()).mkdir("blocked.json"));
    Cli blocked(dir_->path());
    QCOMPARE(blocked.run({"export", "--table", table, "--csv", "blocked.csv"}), 1);
    QVERIFY2(blocked.err().contains("could not write the sidecar file blocked.json"),
             qPrintable(blocked.err()));
}

// Each line a script writes to the recorder marks the run at the moment it arrives; the end of
// the input leaves the run going. The marks are listed by info and exported in the sidecar.
void TelvaneCliTest::linesOnStandardInputMarkTheRunWhenTheyArrive()
{
    constexpr int rate = 100;
    Cli record(dir_->path());
    record.start({"record", "--port", simulator_->port_name(), "--mode", "single", "--rate",
                  QString::number(rate), "--time", "60", "--csv", "marked.csv"});
    const QString table = record.first_line();
    QVERIFY(SampleDatabase::is_valid_table_name(table));
    SampleDatabase watcher(dir_->filePath(cliDatabase));
    QVERIFY(watcher.open_database().ok());
    QTRY_VERIFY_WITH_TIMEOUT(watcher.row_count(table) >= rate, progressMs);
    const qint64 rowsBeforeFirst = watcher.row_count(table);
    record.write_input("valve opened\n");
    QTRY_COMPARE_WITH_TIMEOUT(watcher.read_marks(table).size(), 1, progressMs);
    const qint64 rowsAtFirst = watcher.row_count(table);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.row_count(table) >= rowsAtFirst + rate, progressMs);
    record.write_input("valve closed\nlast\twords \\ here");
    record.close_input();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.read_marks(table).size(), 3, progressMs);
    const qint64 rowsAtEnd = watcher.row_count(table);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.row_count(table) >= rowsAtEnd + rate / 2, progressMs);
    QVERIFY(!record.ended(0)); // the end of the input did not end the run
    record.signal(SIGINT);
    QCOMPARE(record.finish(), 0);

    const QList<RunMark> marks = watcher.read_marks(table);
    QCOMPARE(marks.size(), 3);
    QCOMPARE(marks[0].text, QStringLiteral("valve opened"));
    QCOMPARE(marks[1].text, QStringLiteral("valve closed"));
    QCOMPARE(marks[2].text, QStringLiteral("last\twords \\ here"));
    // The first mark came after the rows stored before it, the second a second of rows later,
    // and both before the run's last row (half a second for the rows still on their way).
    const double lastTime = double(watcher.row_count(table) - 1) / rate;
    QVERIFY2(marks[0].time >= double(rowsBeforeFirst - 1) / rate - 0.5,
             qPrintable(QString::number(marks[0].time)));
    QVERIFY(marks[1].time > marks[0].time);
    QVERIFY2(marks[1].time <= lastTime + 0.5, qPrintable(QString::number(marks[1].time)));

    Cli info(dir_->path());
    QCOMPARE(info.run({"info", "--table", table}), 0);
    QVERIFY2(info.out().contains(QStringLiteral("mark\t%1 s\tvalve opened\n")
                                     .arg(QString::number(marks[0].time, 'f', 3))),
             qPrintable(info.out()));
    // A tab in the text would split the line's fields; it is escaped, and so is a backslash.
    QVERIFY2(info.out().contains(QStringLiteral("\tlast\\twords \\\\ here\n")),
             qPrintable(info.out()));
    const QJsonArray exported = QJsonDocument::fromJson(read_bytes(dir_->filePath("marked.json")))
                                    .object()
                                    .value("marks")
                                    .toArray();
    QCOMPARE(exported.size(), 3);
    QCOMPARE(exported[1].toObject().value("text").toString(), QStringLiteral("valve closed"));
    QCOMPARE(exported[1].toObject().value("time_s").toDouble(), marks[1].time);
}

#include "tst_telvanecli.moc"
