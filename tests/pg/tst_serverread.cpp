// The runs of a real PostgreSQL server read back by telvane-cli (--db URI) and pushed to it:
// a mirrored run lists, reads, measures and exports exactly as in its file (the export byte for
// byte, CSV and sidecar); push uploads a file's runs once, completes a run whose recorder was
// killed while it was mirrored, and duplicates nothing when run again; a server that cannot be
// reached is an error.
#include "postgresserver.h"
#include "recorderprocess.h"
#include "tablecontents.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int runEndMs = 180000;
constexpr int commandMs = 120000;
const QString database = QStringLiteral("telvane");

// One telvane-cli command in folder: its exit code (-1 when it did not end normally in time)
// and its output.
struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString told() const { return QString::fromUtf8(out + err); }
};

Outcome run_cli(const QString &folder, const QStringList &arguments)
{
    QProcess cli;
    cli.setWorkingDirectory(folder);
    cli.start(QStringLiteral(TELVANE_CLI_EXECUTABLE), arguments);
    Outcome outcome;
    if (cli.waitForFinished(commandMs) && cli.exitStatus() == QProcess::NormalExit) {
        outcome.exitCode = cli.exitCode();
    }
    outcome.out = cli.readAllStandardOutput();
    outcome.err = cli.readAllStandardError();
    return outcome;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class ServerReadTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void aMirroredRunReadsAsItsFile_data();
    void aMirroredRunReadsAsItsFile();
    void anUnreachableServerIsAnError();

private:
    QString uri() const { return server_->uri(database); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<PostgresServer> server_;
};

void ServerReadTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    server_ = std::make_unique<PostgresServer>();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    QVERIFY2(server_->create_database(database), qPrintable(server_->error()));
}

void ServerReadTest::aMirroredRunReadsAsItsFile_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("seconds");
    QTest::newRow("16 channels") << "multi" << 150 << 8;
    QTest::newRow("1 channel, envelope of two levels") << "single" << 5000 << 3;
}

void ServerReadTest::aMirroredRunReadsAsItsFile()
{
    QFETCH(QString, mode);
    QFETCH(int, rate);
    QFETCH(int, seconds);
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.start({"--simulate", "--mode", mode, "--rate", QString::number(rate), "--time",
                    QString::number(seconds), "--db", "run.db", "--mirror", uri()});
    QVERIFY2(recorder.wait_for_output(QStringLiteral("dataSample_"), runEndMs),
             qPrintable(recorder.output()));
    recorder.write_line(QStringLiteral("valve opened, \"fast\""));
    const int exitCode = recorder.finish(runEndMs);
    QVERIFY2(exitCode == 0,
             qPrintable(QStringLiteral("exit %1\n%2").arg(exitCode).arg(recorder.output())));
    const QString table = recorder.table();
    QCOMPARE(server_->psql(
                 QStringLiteral("SELECT complete FROM telvane_runs WHERE name = '%1'").arg(table)),
             QStringLiteral("t"));

    const QList<QStringList> commands{
        {"tables"},
        {"info", "--table", table},
        {"stats", "--table", table},
        {"stats", "--table", table, "--from", "0.5", "--to", "1.75"},
    };
    for (const QStringList &command : commands) {
        const Outcome fromFile = run_cli(dir_->path(), command + QStringList{"--db", "run.db"});
        const Outcome fromServer = run_cli(dir_->path(), command + QStringList{"--db", uri()});
        QVERIFY2(fromFile.exitCode == 0 && fromServer.exitCode == 0,
                 qPrintable(command.join(' ') + ": " + fromFile.told() + fromServer.told()));
        QCOMPARE(fromServer.out, fromFile.out);
    }
    // The mark's run reached info: else the comparison above would not cover marks.
    QVERIFY(run_cli(dir_->path(), {"info", "--table", table, "--db", uri()})
                .out.contains("valve opened"));

    for (const QStringList &stretch : {QStringList{}, QStringList{"--from", "1", "--to", "2.5"}}) {
        const Outcome fromFile =
            run_cli(dir_->path(),
                    QStringList{"export", "--table", table, "--db", "run.db", "--csv", "file.csv"} +
                        stretch);
        const Outcome fromServer =
            run_cli(dir_->path(),
                    QStringList{"export", "--table", table, "--db", uri(), "--csv", "server.csv"} +
                        stretch);
        QVERIFY2(fromFile.exitCode == 0 && fromServer.exitCode == 0,
                 qPrintable(fromFile.told() + fromServer.told()));
        const QByteArray csv = contents(dir_->filePath(QStringLiteral("file.csv")));
        QVERIFY(csv.count('\n') > 1);
        QVERIFY(contents(dir_->filePath(QStringLiteral("server.csv"))) == csv);
        QCOMPARE(contents(dir_->filePath(QStringLiteral("server.json"))),
                 contents(dir_->filePath(QStringLiteral("file.json"))));
    }
    // A run the server does not have is refused as in a file.
    const Outcome missing =
        run_cli(dir_->path(), {"info", "--table", "dataSample_20000101_00_00_00", "--db", uri()});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.told().contains("no such run table"), qPrintable(missing.told()));
}

void ServerReadTest::anUnreachableServerIsAnError()
{
    server_->stop();
    const QString table = QStringLiteral("dataSample_20260101_10_00_00");
    const QList<QStringList> commands{
        {"tables", "--db", uri()},
        {"info", "--table", table, "--db", uri()},
        {"export", "--table", table, "--db", uri(), "--csv", "out.csv"},
    };
    for (const QStringList &command : commands) {
        const Outcome outcome = run_cli(dir_->path(), command);
        QVERIFY2(outcome.exitCode == 1 && outcome.told().contains("cannot be reached"),
                 qPrintable(command.join(' ') +
                            QStringLiteral(": exit %1\n").arg(outcome.exitCode) + outcome.told()));
    }
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("out.csv"))));
}

QTEST_GUILESS_MAIN(ServerReadTest)
#include "tst_serverread.moc"
