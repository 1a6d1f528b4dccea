// The runs of a real PostgreSQL server read back by telvane-cli (--db URI) and pushed to it:
// a mirrored run lists, reads, measures and exports exactly as in its file (the export byte for
// byte, CSV and sidecar); push uploads a file's runs once, completes a run whose recorder was
// killed while it was mirrored, and duplicates nothing when run again; a server that cannot be
// reached or refuses us is an error; one without runs lists none.
#include "postgresserver.h"
#include "recorderprocess.h"
#include "runfacts.h"
#include "serverruns.h"
#include "sqlrows.h"
#include "tablecontents.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

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
    void aDownloadedRunHoldsTheTablesOfItsFile();
    void pushUploadsOnceAndCompletesACutShortMirror();
    void aServerWithoutRunsListsNone();
    void aServerAwayOrRefusingIsAnError_data();
    void aServerAwayOrRefusingIsAnError();

private:
    QString uri() const { return server_->uri(database); }
    // Rows and marks of the run on the server, and its catalogue row: "rows|marks|max id|
    // catalogue rows|complete".
    QString on_server(const QString &name);

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

void ServerReadTest::aDownloadedRunHoldsTheTablesOfItsFile()
{
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    // Enough rows for three envelope levels.
    recorder.start({"--simulate", "--mode", "single", "--rate", "5000", "--time", "4", "--db",
                    "run.db", "--mirror", uri(), "--station", "bench"});
    QVERIFY2(recorder.wait_for_output(QStringLiteral("dataSample_"), runEndMs),
             qPrintable(recorder.output()));
    recorder.write_line(QStringLiteral("tab\there, 'quoted' \\ \"twice\""));
    recorder.write_line(QStringLiteral("second"));
    QVERIFY2(recorder.finish(runEndMs) == 0, qPrintable(recorder.output()));
    const QString table = recorder.table();
    const QString localFile = dir_->filePath(QStringLiteral("run.db"));

    ServerRuns server(uri());
    const Result<QList<ServerRun>> runs = server.list();
    QVERIFY2(runs.ok(), qPrintable(runs.status().message()));
    QCOMPARE(runs->size(), 1);
    const ServerRun &listed = runs->first();
    QCOMPARE(listed.listing.name, table);
    QCOMPARE(listed.listing.rows, qint64(20000));
    QCOMPARE(listed.listing.channels, 1);
    QCOMPARE(listed.station, QStringLiteral("bench"));
    QCOMPARE(listed.sourceFile, localFile);
    QCOMPARE(listed.localName, table);
    QVERIFY(listed.complete);
    QVERIFY(listed.facts && listed.facts->outcome == RunFacts::completed);

    const QString copyFile = dir_->filePath(QStringLiteral("copy.db"));
    const Status copied = server.download(table, copyFile);
    QVERIFY2(copied.ok(), qPrintable(copied.message()));
    QCOMPARE(server.rows_copied(), qint64(20000));
    QCOMPARE(server.rows_total(), qint64(20000));

    // Every table of the run, its layout and its rows, as in the file.
    const auto open = [](const QString &file) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        return std::unique_ptr<sqlite3, decltype(&sqlite3_close)>(db, &sqlite3_close);
    };
    const auto original = open(localFile);
    const auto copy = open(copyFile);
    const QString layout = QStringLiteral(
        "SELECT type, name, sql FROM sqlite_master WHERE name LIKE 'dataSample%' ORDER BY name");
    const QList<QVariantList> tables = sql_rows::select(original.get(), layout);
    QCOMPARE(sql_rows::select(copy.get(), layout), tables);
    QStringList names;
    for (const QVariantList &entry : tables) {
        if (entry.value(0).toString() == QLatin1String("table")) {
            names << entry.value(1).toString();
        }
    }
    QVERIFY2(names.contains(table + "_envelope") && names.contains(table + "_facts") &&
                 names.contains(table + "_marks"),
             qPrintable(names.join(' ')));
    for (const QString &name : std::as_const(names)) {
        const QString rows = QStringLiteral("SELECT * FROM \"%1\" ORDER BY 1, 2").arg(name);
        QString error;
        const QList<QVariantList> expected = sql_rows::select(original.get(), rows, &error);
        QVERIFY2(error.isEmpty() && !expected.isEmpty(), qPrintable(name + ": " + error));
        QVERIFY2(sql_rows::select(copy.get(), rows) == expected, qPrintable(name));
    }

    QVERIFY(server.download(table, copyFile).is(Status::Kind::Exists));
    QVERIFY(server.download(QStringLiteral("dataSample_20000101_00_00_00"), copyFile)
                .is(Status::Kind::NotFound));
    ServerRuns cancelled(uri());
    cancelled.cancel();
    const QString cancelledFile = dir_->filePath(QStringLiteral("cancelled.db"));
    QVERIFY(cancelled.download(table, cancelledFile).is(Status::Kind::Cancelled));
    QVERIFY(tablesInFile(cancelledFile).filter(QStringLiteral("dataSample")).isEmpty());
}

QString ServerReadTest::on_server(const QString &name)
{
    return server_->psql(QStringLiteral("SELECT (SELECT count(*) FROM \"%1\"), (SELECT count(*) "
                                        "FROM \"%1_marks\"), (SELECT max(id) FROM \"%1\"), rows, "
                                        "complete FROM telvane_runs WHERE name = '%1'")
                             .arg(name));
}

void ServerReadTest::pushUploadsOnceAndCompletesACutShortMirror()
{
    // A run recorded without a mirror.
    RecorderProcess whole(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    whole.start(
        {"--simulate", "--mode", "multi", "--rate", "150", "--time", "2", "--db", "run.db"});
    QVERIFY2(whole.wait_for_output(QStringLiteral("dataSample_"), runEndMs),
             qPrintable(whole.output()));
    whole.write_line(QStringLiteral("first run"));
    QVERIFY2(whole.finish(runEndMs) == 0, qPrintable(whole.output()));
    const QString wholeRun = whole.table();

    // A run mirrored until the server went away, then killed: the server has its start, the
    // file more rows and no end.
    RecorderProcess cut(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    cut.start({"--simulate", "--mode", "single", "--rate", "2000", "--time", "60", "--db", "run.db",
               "--mirror", uri(), "--station", "bench"});
    QVERIFY2(cut.wait_for_output(QStringLiteral("dataSample_"), runEndMs),
             qPrintable(cut.output()));
    const QString cutRun = cut.table();
    QVERIFY(cutRun != wholeRun);
    cut.write_line(QStringLiteral("before the kill"));
    // While it is recorded (and mirrored), it is still open in both places.
    for (const QString &db : {QStringLiteral("run.db"), uri()}) {
        const Outcome info = run_cli(dir_->path(), {"info", "--table", cutRun, "--db", db});
        QVERIFY2(info.exitCode == 0 && info.out.contains(RunFacts::stillOpen.toUtf8()),
                 qPrintable(db + ": " + info.told()));
    }
    const auto mirrored = [&] {
        return server_->psql(QStringLiteral("SELECT (SELECT rows FROM telvane_runs WHERE name = "
                                            "'%1') > 0 AND (SELECT count(*) FROM \"%1_marks\") = "
                                            "1")
                                 .arg(cutRun)) == QStringLiteral("t");
    };
    QVERIFY2(QTest::qWaitFor(mirrored, runEndMs),
             qPrintable(cut.output() + server_->error() + server_->log()));
    server_->stop();
    QTest::qWait(1000); // rows the server will not get from the mirror
    QVERIFY(cut.running());
    cut.kill();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    const qint64 onServer =
        server_->psql(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(cutRun)).toLongLong();
    const QString localFile = dir_->filePath(QStringLiteral("run.db"));
    const int cutRows = rowsInTable(localFile, cutRun);
    const int wholeRows = rowsInTable(localFile, wholeRun);
    QVERIFY2(onServer > 0 && onServer < cutRows,
             qPrintable(QStringLiteral("%1 of %2 rows on the server").arg(onServer).arg(cutRows)));

    const QStringList push{"push", "--db", "run.db", "--to", uri(), "--station", "bench"};
    const Outcome first = run_cli(dir_->path(), push);
    QVERIFY2(first.exitCode == 0, qPrintable(first.told()));
    QCOMPARE(QString::fromUtf8(first.out),
             QStringLiteral("%1: %2 rows uploaded\n%3: completed: %4 of %5 rows were missing\n")
                 .arg(wholeRun)
                 .arg(wholeRows)
                 .arg(cutRun)
                 .arg(cutRows - onServer)
                 .arg(cutRows));
    QCOMPARE(on_server(wholeRun), QStringLiteral("%1|1|%1|%1|t").arg(wholeRows));
    QCOMPARE(on_server(cutRun), QStringLiteral("%1|1|%1|%1|t").arg(cutRows));
    QCOMPARE(server_->psql(QStringLiteral("SELECT count(*) FROM telvane_runs")),
             QStringLiteral("2"));

    const Outcome again = run_cli(dir_->path(), push);
    QVERIFY2(again.exitCode == 0, qPrintable(again.told()));
    QCOMPARE(QString::fromUtf8(again.out),
             QStringLiteral("%1: already complete on the server\n%2: already complete on the "
                            "server\n")
                 .arg(wholeRun, cutRun));
    QCOMPARE(on_server(wholeRun), QStringLiteral("%1|1|%1|%1|t").arg(wholeRows));
    QCOMPARE(on_server(cutRun), QStringLiteral("%1|1|%1|%1|t").arg(cutRows));

    // What was pushed reads as the file: the killed run without its end too.
    const Outcome fileTables = run_cli(dir_->path(), {"tables", "--db", "run.db"});
    const Outcome serverTables = run_cli(dir_->path(), {"tables", "--db", uri()});
    QVERIFY2(fileTables.out.contains(RunFacts::programGone.toUtf8()), fileTables.out.constData());
    QCOMPARE(serverTables.out, fileTables.out);
    for (const QString &table : {wholeRun, cutRun}) {
        QCOMPARE(run_cli(dir_->path(), {"info", "--table", table, "--db", uri()}).out,
                 run_cli(dir_->path(), {"info", "--table", table, "--db", "run.db"}).out);
        QCOMPARE(run_cli(dir_->path(),
                         {"export", "--table", table, "--db", uri(), "--csv", "server.csv"})
                     .exitCode,
                 0);
        QCOMPARE(run_cli(dir_->path(),
                         {"export", "--table", table, "--db", "run.db", "--csv", "file.csv"})
                     .exitCode,
                 0);
        QVERIFY(contents(dir_->filePath(QStringLiteral("server.csv"))) ==
                contents(dir_->filePath(QStringLiteral("file.csv"))));
        QCOMPARE(contents(dir_->filePath(QStringLiteral("server.json"))),
                 contents(dir_->filePath(QStringLiteral("file.json"))));
    }
}

void ServerReadTest::aServerWithoutRunsListsNone()
{
    const Outcome tables = run_cli(dir_->path(), {"tables", "--db", uri()});
    QVERIFY2(tables.exitCode == 0 && tables.out.isEmpty(), qPrintable(tables.told()));
    const Outcome info =
        run_cli(dir_->path(), {"info", "--table", "dataSample_20260101_10_00_00", "--db", uri()});
    QVERIFY2(info.exitCode == 2 && info.told().contains("no such run table"),
             qPrintable(info.told()));
}

void ServerReadTest::aServerAwayOrRefusingIsAnError_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("db");
    QTest::addColumn<QString>("told");
    QTest::newRow("stopped") << true << database << "cannot be reached";
    QTest::newRow("unknown database") << false << "nowhere"
                                      << "database \"nowhere\" does not exist";
}

void ServerReadTest::aServerAwayOrRefusingIsAnError()
{
    QFETCH(bool, stopped);
    QFETCH(QString, db);
    QFETCH(QString, told);
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.start(
        {"--simulate", "--mode", "multi", "--rate", "50", "--time", "1", "--db", "run.db"});
    QVERIFY2(recorder.finish(runEndMs) == 0, qPrintable(recorder.output()));
    if (stopped) {
        server_->stop();
    }
    const QString target = server_->uri(db);
    const QString table = recorder.table();
    const QList<QStringList> commands{
        {"tables", "--db", target},
        {"info", "--table", table, "--db", target},
        {"stats", "--table", table, "--db", target},
        {"export", "--table", table, "--db", target, "--csv", "out.csv"},
        {"push", "--db", "run.db", "--to", target},
    };
    for (const QStringList &command : commands) {
        const Outcome outcome = run_cli(dir_->path(), command);
        QVERIFY2(outcome.exitCode == 1 && outcome.err.startsWith("telvane-cli: ") &&
                     outcome.told().contains(told) && outcome.out.isEmpty(),
                 qPrintable(command.join(' ') +
                            QStringLiteral(": exit %1\n").arg(outcome.exitCode) + outcome.told()));
    }
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("out.csv"))));
}

QTEST_GUILESS_MAIN(ServerReadTest)
#include "tst_serverread.moc"
