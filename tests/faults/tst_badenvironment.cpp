// The window and telvane-cli in a hostile environment: a read-only working directory, a
// "Quorlen.db" that is no database, a garbled or hostile "config.ini", a disk that fills
// up during a run and an export, a database another process keeps locked, and a port
// another process holds. Each case runs in a
// process of its own, in a directory of its own.
#include "instrumentsimulator.h"
#include "observerconnection.h"
#include "protocol.h"
#include "scopedworkdir.h"
#include "settingsondisk.h"
#include "tablecontents.h"
#include "waveformtable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int processTimeoutMs = 60000;
constexpr rlim_t fullDiskBytes = 48 * 1024;
const QString connected = QStringLiteral("box: Message | Connection Success");
const QString tableFailed = QStringLiteral("box: Message | Data table creation failed");
const QString databaseUnusable = QStringLiteral("The database Quorlen.db cannot be used");
const QString settingsUnwritable = QStringLiteral("The settings file config.ini cannot be written");

// The reason the window gives for an unusable database, from its start-up warning.
QString database_reason(const QString &warning)
{
    static const QRegularExpression reason(QRegularExpression::escape(databaseUnusable) +
                                           QStringLiteral(" \\((.*?)\\): runs"));
    return reason.match(warning).captured(1);
}

// Every file may grow to `bytes` at most, as on a disk that has no more room; the writes
// beyond fail instead of killing the process.
void limit_file_size(QProcess &process, rlim_t bytes)
{
    process.setChildProcessModifier([bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
}

struct Outcome
{
    int exitCode = -1;
    QStringList lines;
    QString text; // everything the process wrote
};

// The rows the last status line of a record reports as stored, or -1.
qint64 last_status_stored(const QString &text)
{
    static const QRegularExpression stored(QStringLiteral(" s   stored (\\d+)   "));
    qint64 rows = -1;
    for (auto match = stored.globalMatch(text); match.hasNext();)
        rows = match.next().captured(1).toLongLong();
    return rows;
}

Outcome run(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Outcome outcome;
    if (!process.waitForFinished(processTimeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = process.exitCode();
    outcome.text = QString::fromUtf8(process.readAll());
    for (const QString &line : outcome.text.split(QLatin1Char('\n'))) {
        // The port list's debug lines are of no interest here.
        if (line.startsWith(QLatin1String("box:")) || line.startsWith(QLatin1String("run")) ||
            line.startsWith(QLatin1String("telvane-cli")) ||
            line.startsWith(QLatin1String("dataSample_")))
            outcome.lines.append(line.trimmed());
    }
    return outcome;
}

Outcome try_window(const QString &port, const std::function<void(QProcess &)> &prepare = {})
{
    QProcess probe;
    if (prepare)
        prepare(probe);
    return run(probe, QStringLiteral(RUN_PROBE), {QStringLiteral("try"), port});
}

QByteArray read_file(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write_file(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}
} // namespace

class BadEnvironmentTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readOnlyDirectoryIsReportedAndLeftUntouched();
    void foreignFilesAreReportedAndLeftUntouched();
    void garbledOrHostileSettingsStillRecord_data();
    void garbledOrHostileSettingsStillRecord();
    void fullDiskDuringARunIsReportedWithTheSamplesLost();
    void fullDiskMakesTheRecorderFailWithoutAHalfWrittenFile();
    void lockedDatabaseStopsTheRecorderWithTheReason();
    void portHeldByAnotherProcessFailsToConnectAndLaterWorks();
    void portTheUserMayNotOpenNamesItsGroupAndHowToJoinIt();

private:
    std::unique_ptr<ScopedWorkDir> dir_;
    std::unique_ptr<InstrumentSimulator> simulator_;
};

void BadEnvironmentTest::init()
{
    dir_ = std::make_unique<ScopedWorkDir>();
    simulator_ = std::make_unique<InstrumentSimulator>(5);
    QVERIFY(simulator_->start());
}

void BadEnvironmentTest::cleanup()
{
    simulator_.reset();
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    dir_.reset();
}

void BadEnvironmentTest::readOnlyDirectoryIsReportedAndLeftUntouched()
{
    QVERIFY(::chmod(qPrintable(dir_->path()), 0555) == 0);
    // Permissions do not stop root: run the window as an unprivileged user then.
    std::function<void(QProcess &)> prepare;
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("running as root without setpriv: cannot make a directory read-only");
        // The build may sit in a folder only root can enter (a clone under /root).
        const int reachable = QProcess::execute(
            setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                      QStringLiteral("--clear-groups"), QStringLiteral("/usr/bin/test"),
                      QStringLiteral("-x"), QStringLiteral(RUN_PROBE)});
        if (reachable != 0)
            QSKIP("the test program is not reachable for an unprivileged user here");
        QVERIFY(::chmod(qPrintable(simulator_->port_name()), 0666) == 0);
        // A lock a killed process left on this terminal's name would stop the unprivileged
        // user, who may not remove root's file; the terminal is new, so the lock is stale.
        QFile::remove(QStringLiteral("/var/lock/LCK..") +
                      simulator_->port_name().mid(5).replace(QLatin1Char('/'), QLatin1Char('_')));
        prepare = [setpriv](QProcess &probe) {
            probe.setProgram(setpriv);
            probe.setArguments({QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                QStringLiteral("--clear-groups"), QStringLiteral(RUN_PROBE),
                                QStringLiteral("try"), QString()});
        };
    }
    QProcess probe;
    Outcome outcome;
    if (prepare) {
        prepare(probe);
        QStringList arguments = probe.arguments();
        arguments.last() = simulator_->port_name();
        outcome = run(probe, probe.program(), arguments);
    } else {
        outcome = try_window(simulator_->port_name());
    }

    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.lines.size(), 4);
    QVERIFY2(outcome.lines.at(1).contains(databaseUnusable) &&
                 outcome.lines.at(1).contains(settingsUnwritable),
             qPrintable(outcome.lines.join('\n')));
    QVERIFY2(!database_reason(outcome.lines.at(1)).trimmed().isEmpty(),
             qPrintable(outcome.lines.at(1)));
    QCOMPARE(outcome.lines.at(2), connected);
    QCOMPARE(outcome.lines.at(3), tableFailed);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

// A database file and a log folder that are someone else's files: both named in the one
// start-up warning, neither changed, and the window still works.
void BadEnvironmentTest::foreignFilesAreReportedAndLeftUntouched()
{
    const QByteArray text = QByteArray("These are the lab's notes, not a database.\n").repeated(50);
    write_file(QStringLiteral("Quorlen.db"), text);
    write_file(QStringLiteral("Logs"), text);

    const Outcome outcome = try_window(simulator_->port_name());
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.lines.size(), 4);
    QVERIFY2(outcome.lines.at(1).contains(databaseUnusable) &&
                 outcome.lines.at(1).contains(QStringLiteral("The log folder")) &&
                 !outcome.lines.at(1).contains(settingsUnwritable),
             qPrintable(outcome.lines.at(1)));
    QVERIFY2(!database_reason(outcome.lines.at(1)).trimmed().isEmpty(),
             qPrintable(outcome.lines.at(1)));
    QCOMPARE(outcome.lines.at(2), connected);
    QCOMPARE(outcome.lines.at(3), tableFailed);
    QCOMPARE(read_file(QStringLiteral("Quorlen.db")), text);
    QCOMPARE(read_file(QStringLiteral("Logs")), text);
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
}

void BadEnvironmentTest::garbledOrHostileSettingsStillRecord_data()
{
    QTest::addColumn<QByteArray>("settings");
    static const char garbage[] = "\x00\xff\xfe[[[=\x01\n==\n\x7f";
    QTest::newRow("binary garbage") << QByteArray(garbage, sizeof garbage - 1);
    QTest::newRow("unclosed group and stray lines") << QByteArray("[General\nno equals sign\n=x\n");
    QTest::newRow("channel keys that are not booleans")
        << QByteArray("[General]\nChannel0Visible=DROP TABLE x\nChannel3Visible=2\n"
                      "Channel15Visible=@Variant(\\0\\0\\0\\x7f)\nNormalExit=maybe\n");
    QTest::newRow("table name carrying SQL on a clean exit")
        << QByteArray("[General]\nNormalExit=true\n"
                      "last_table_name=\"x; DROP TABLE sqlite_master; --\"\n");
}

void BadEnvironmentTest::garbledOrHostileSettingsStillRecord()
{
    QFETCH(QByteArray, settings);
    write_file(QStringLiteral("config.ini"), settings);

    const Outcome outcome = try_window(simulator_->port_name());
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.lines, (QStringList{QStringLiteral("run ended"), connected}));
    // Whatever was in it, the file is rewritten readable, so an unclean exit is noticed again.
    QCOMPARE(settingOnDisk(QStringLiteral("NormalExit")), QStringLiteral("true"));
    QCOMPARE(WaveformTable::integrity_check(QStringLiteral("Quorlen.db")), QStringLiteral("ok"));
}

void BadEnvironmentTest::fullDiskDuringARunIsReportedWithTheSamplesLost()
{
    const Outcome outcome = try_window(
        simulator_->port_name(), [](QProcess &probe) { limit_file_size(probe, fullDiskBytes); });
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.lines.size(), 3);
    QCOMPARE(outcome.lines.at(0), QStringLiteral("run ended"));
    QCOMPARE(outcome.lines.at(1), connected);
    // One box, with SQLite's reason, for a run that was stopped when its samples could no
    // longer be stored.
    static const QRegularExpression box(QStringLiteral(
        "^box: Warning \\| The samples could not be stored in the database "
        "\\((.+)\\), so the run was stopped\\. \\d+ of its \\d+ samples are kept\\.$"));
    QVERIFY2(box.match(outcome.lines.at(2)).hasMatch(), qPrintable(outcome.lines.at(2)));
    // The status bar says so as well, with the same counts.
    static const QRegularExpression status(QStringLiteral(
        "\nstatus: Connected  \\|  .*  \\|  Samples could not be stored \\((.+)\\); the run "
        "was stopped with (\\d+) of (\\d+) rows stored\\.\n"));
    const QRegularExpressionMatch line = status.match(outcome.text);
    QVERIFY2(line.hasMatch(), qPrintable(outcome.text));
    QVERIFY2(outcome.lines.at(2).contains(QStringLiteral(". %1 of its %2 samples are kept.")
                                              .arg(line.captured(2), line.captured(3))),
             qPrintable(outcome.lines.at(2)));
    QCOMPARE(WaveformTable::integrity_check(QStringLiteral("Quorlen.db")), QStringLiteral("ok"));
}

void BadEnvironmentTest::fullDiskMakesTheRecorderFailWithoutAHalfWrittenFile()
{
    QProcess record;
    limit_file_size(record, 256 * 1024);
    // Far longer than the disk lasts: the run is stopped once its samples cannot be stored.
    const Outcome recorded =
        run(record, QStringLiteral(TELVANE_CLI_EXECUTABLE),
            {QStringLiteral("record"), QStringLiteral("--port"), simulator_->port_name(),
             QStringLiteral("--mode"), QStringLiteral("single"), QStringLiteral("--rate"),
             QStringLiteral("3200"), QStringLiteral("--time"), QStringLiteral("600")});
    QVERIFY2(recorded.exitCode == 1, qPrintable(recorded.text));
    static const QRegularExpression failure(
        QStringLiteral("storing the samples failed \\((.+)\\), so the run was stopped; only "
                       "\\d+ of \\d+ samples reached the database"));
    QVERIFY2(failure.match(recorded.text).hasMatch(), qPrintable(recorded.text));
    QVERIFY(simulator_->received_commands().contains(stop_command()));
    QCOMPARE(WaveformTable::integrity_check(QStringLiteral("telvane-cli.db")),
             QStringLiteral("ok"));

    // The rows that did get stored do not fit either: the export fails whole and leaves
    // no file behind.
    const QString table = recorded.lines.value(0);
    const qint64 rows = rowsInTable(QStringLiteral("telvane-cli.db"), table);
    QVERIFY2(rows > 1000, qPrintable(table));
    // The status line counted the rows that reached the table, not those handed on.
    QCOMPARE(last_status_stored(recorded.text), rows);
    QProcess exporter;
    limit_file_size(exporter, 40 * 1024); // room for the database's own files, not the CSV
    const Outcome exported = run(exporter, QStringLiteral(TELVANE_CLI_EXECUTABLE),
                                 {QStringLiteral("export"), QStringLiteral("--table"), table,
                                  QStringLiteral("--csv"), QStringLiteral("run.csv")});
    QVERIFY2(exported.exitCode == 1, qPrintable(exported.lines.join('\n')));
    QCOMPARE(QDir().entryList({QStringLiteral("run.csv*")}, QDir::Files), QStringList());
}

void BadEnvironmentTest::lockedDatabaseStopsTheRecorderWithTheReason()
{
    QProcess record;
    record.setProcessChannelMode(QProcess::MergedChannels);
    record.start(QStringLiteral(TELVANE_CLI_EXECUTABLE),
                 {QStringLiteral("record"), QStringLiteral("--port"), simulator_->port_name(),
                  QStringLiteral("--mode"), QStringLiteral("single"), QStringLiteral("--rate"),
                  QStringLiteral("100"), QStringLiteral("--time"), QStringLiteral("600")});
    QVERIFY(record.waitForReadyRead(processTimeoutMs)); // the table name: the run has begun
    // Another program takes the write lock and keeps it until the recorder has given up;
    // every row the recorder tries waits for it up to the busy time-out.
    const QString problem = with_observer_connection(
        QStringLiteral("telvane-cli.db"), [&record](QSqlDatabase &db) -> QString {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("BEGIN EXCLUSIVE")))
                return QStringLiteral("cannot lock: ") + query.lastError().text();
            const bool ended = record.waitForFinished(processTimeoutMs);
            query.exec(QStringLiteral("ROLLBACK"));
            return ended ? QString() : QStringLiteral("the recorder went on");
        });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString text = QString::fromUtf8(record.readAll());
    QVERIFY2(record.exitStatus() == QProcess::NormalExit && record.exitCode() == 1,
             qPrintable(text));
    QVERIFY2(text.contains(QLatin1String(
                 "storing the samples failed (database is locked), so the run was stopped")),
             qPrintable(text));
    QVERIFY(simulator_->received_commands().contains(stop_command()));

    // The facts could not take the end either: info shows the end the recorder printed, and
    // the next run writes it into them.
    const QString table = text.section(QLatin1Char('\n'), 0, 0);
    const QRegularExpressionMatch end =
        QRegularExpression(QStringLiteral("Facts: storage failed, (\\d+) rows committed"))
            .match(text);
    QVERIFY2(end.hasMatch(), qPrintable(text));
    const auto info = [&table] {
        QProcess process;
        return run(process, QStringLiteral(TELVANE_CLI_EXECUTABLE),
                   {QStringLiteral("info"), QStringLiteral("--table"), table})
            .text;
    };
    const QString kept = info();
    QVERIFY2(
        kept.contains(
            QStringLiteral("outcome\tstorage failed\ncommitted rows\t%1\n").arg(end.captured(1))),
        qPrintable(kept));
    QProcess next;
    QCOMPARE(run(next, QStringLiteral(TELVANE_CLI_EXECUTABLE),
                 {QStringLiteral("record"), QStringLiteral("--simulate"), QStringLiteral("--mode"),
                  QStringLiteral("single"), QStringLiteral("--rate"), QStringLiteral("100"),
                  QStringLiteral("--time"), QStringLiteral("1")})
                 .exitCode,
             0);
    QCOMPARE(QDir().entryList({QStringLiteral("*.owner")}, QDir::Files), QStringList());
    QCOMPARE(info(), kept);
}

void BadEnvironmentTest::portHeldByAnotherProcessFailsToConnectAndLaterWorks()
{
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QStringLiteral(TELVANE_CLI_EXECUTABLE),
                 {QStringLiteral("record"), QStringLiteral("--port"), simulator_->port_name(),
                  QStringLiteral("--mode"), QStringLiteral("single"), QStringLiteral("--rate"),
                  QStringLiteral("100"), QStringLiteral("--time"), QStringLiteral("60"),
                  QStringLiteral("--db"), QStringLiteral("holder.db")});
    QVERIFY(holder.waitForReadyRead(processTimeoutMs)); // the table name: it holds the port
    QTRY_VERIFY_WITH_TIMEOUT(simulator_->run_active(), processTimeoutMs);

    const Outcome refused = try_window(simulator_->port_name());
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.lines,
             QStringList{QStringLiteral("box: Message | Connection Failed /  / ") +
                         simulator_->port_name() +
                         QStringLiteral(" cannot be opened: it is busy: another program is using "
                                        "it (or left its lock file under /var/lock).")});

    ::kill(pid_t(holder.processId()), SIGTERM);
    QVERIFY(holder.waitForFinished(processTimeoutMs));
    QCOMPARE(holder.exitCode(), 0);
    const Outcome later = try_window(simulator_->port_name());
    QCOMPARE(later.exitCode, 0);
    QCOMPARE(later.lines, (QStringList{QStringLiteral("run ended"), connected}));
}

void BadEnvironmentTest::portTheUserMayNotOpenNamesItsGroupAndHowToJoinIt()
{
    // The line as a serial adapter usually comes: root's, usable by group dialout; the window
    // runs as a user outside that group. Root would open it anyway.
    const group *dialout = ::getgrnam("dialout");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || dialout == nullptr || setpriv.isEmpty())
        QSKIP("needs root, setpriv and a dialout group to hand the line to that group");
    const QStringList asNobody{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                               QStringLiteral("--clear-groups")};
    if (QProcess::execute(setpriv, asNobody + QStringList{QStringLiteral("/usr/bin/test"),
                                                          QStringLiteral("-x"),
                                                          QStringLiteral(RUN_PROBE)}) != 0)
        QSKIP("the test program is not reachable for an unprivileged user here");
    const QByteArray line = QFile::encodeName(simulator_->port_name());
    QCOMPARE(::chown(line.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(line.constData(), 0660), 0);
    QCOMPARE(::chmod(QFile::encodeName(dir_->path()).constData(), 0777), 0);

    QProcess probe;
    const Outcome refused =
        run(probe, setpriv,
            asNobody + QStringList{QStringLiteral(RUN_PROBE), QStringLiteral("try"),
                                   simulator_->port_name()});
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.lines,
             QStringList{QStringLiteral("box: Message | Connection Failed /  / ") +
                         simulator_->port_name() +
                         QStringLiteral(" cannot be opened: permission denied: the device "
                                        "belongs to group dialout; join it with: sudo usermod "
                                        "-aG dialout $USER, then log in again.")});
    QCOMPARE(simulator_->received_commands(), QList<QByteArray>());
}

QTEST_GUILESS_MAIN(BadEnvironmentTest)
#include "tst_badenvironment.moc"
