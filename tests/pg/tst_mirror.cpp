// telvane-cli record mirroring its runs to a real PostgreSQL server, read back with psql: every
// row reaches the server and equals the run's CSV even when the server stops in the middle of
// the run or only comes after it; what could not be sent is told and exits 6; two recorders of
// the same second (their passwords from libpq's own places) get a run each, a chain a run per
// run; a server that refuses us is an error before the run.
#include "postgresserver.h"
#include "recorderprocess.h"
#include "tablecontents.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>

namespace {

constexpr int runEndMs = 180000; // the run, then up to its --mirror-wait
constexpr int arrivalMs = 60000;
const QString database = QStringLiteral("telvane");
// The role the recorders log in as where a password is asked for, and its password.
const QString stationRole = QStringLiteral("station");
const QString stationPassword = QStringLiteral("Corr3ct-h0rse");

QStringList run_arguments(const QString &mode, int rate, int seconds)
{
    return {"--simulate",
            "--mode",
            mode,
            "--rate",
            QString::number(rate),
            "--time",
            QString::number(seconds),
            "--db",
            "run.db",
            "--csv",
            "run.csv"};
}

// A run's rows by id: the time, then the voltages.
using Rows = std::map<qint64, QList<double>>;

Rows parse_csv(const QByteArray &text, QStringList *header = nullptr)
{
    Rows rows;
    QList<QByteArray> lines = text.split('\n');
    if (header != nullptr && !lines.isEmpty()) {
        *header = QString::fromUtf8(lines.first()).trimmed().split(',');
    }
    for (qsizetype l = 1; l < lines.size(); ++l) {
        const QStringList fields = QString::fromUtf8(lines[l]).trimmed().split(',');
        if (fields.size() < 2) {
            continue;
        }
        QList<double> values;
        for (int i = 1; i < fields.size(); ++i) {
            values << fields[i].toDouble();
        }
        rows.emplace(fields[0].toLongLong(), values);
    }
    return rows;
}

Rows read_csv(const QString &path, QStringList *header = nullptr)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? parse_csv(file.readAll(), header) : Rows();
}

// psql's lines "id|time|v1|..." as rows.
Rows parse_rows(const QString &text)
{
    Rows rows;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('|'));
        QList<double> values;
        for (int i = 1; i < fields.size(); ++i) {
            values << fields[i].toDouble();
        }
        rows.emplace(fields[0].toLongLong(), values);
    }
    return rows;
}

// Empty when the server's rows are exactly the CSV's, each value equal at the CSV's precision
// (time four decimals, voltages one); else the first difference.
QString difference(const Rows &server, const Rows &csv)
{
    if (server.size() != csv.size()) {
        return QStringLiteral("the server has %1 rows, the CSV %2")
            .arg(server.size())
            .arg(csv.size());
    }
    auto row = server.cbegin();
    for (const auto &[id, fields] : csv) {
        if (row->first != id) {
            return QStringLiteral("id %1 on the server where the CSV has id %2")
                .arg(row->first)
                .arg(id);
        }
        if (row->second.size() != fields.size()) {
            return QStringLiteral("id %1 has %2 columns on the server, %3 in the CSV")
                .arg(id)
                .arg(row->second.size() + 1)
                .arg(fields.size() + 1);
        }
        for (int i = 0; i < fields.size(); ++i) {
            const double tolerance = i == 0 ? 0.00005 : 0.05;
            if (std::abs(row->second[i] - fields[i]) > tolerance + 1e-9) {
                return QStringLiteral("id %1 column %2: %3 on the server, %4 in the CSV")
                    .arg(id)
                    .arg(i + 2)
                    .arg(row->second[i])
                    .arg(fields[i]);
            }
        }
        ++row;
    }
    return {};
}

QString mirrored_line(int mirrored, int rows, const PostgresServer &server)
{
    return QStringLiteral("Mirrored: %1 of %2 rows to %3/%4")
        .arg(mirrored)
        .arg(rows)
        .arg(server.socket_folder(), database);
}

} // namespace

class MirrorTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyRowReachesTheServerThoughItStopsMidRun_data();
    void everyRowReachesTheServerThoughItStopsMidRun();
    void aServerDownForTheWholeRunLeavesTheRowsUnmirrored();
    void aServerThatComesAfterTheRunGetsEveryRow();
    void twoRecordersOfTheSameSecondGetARunEach();
    void aChainIsMirroredRunByRun();
    void aServerThatRefusesUsIsAnErrorBeforeTheRun_data();
    void aServerThatRefusesUsIsAnErrorBeforeTheRun();

private:
    // The server as psql sees it: the run's catalogue row says it is complete with every row
    // of this station's file, its table equals the CSV in folder, and its envelope and facts
    // are those of the SQLite file.
    void verify_mirrored(const QString &folder, const QString &table, int rows,
                         const QString &station);
    // The role stationRole with its password, allowed to make tables in the database.
    void make_station_role();
    // The server's name of a run of this station's file in folder; empty when none.
    QString server_name(const QString &folder, const QString &table, const QString &station);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<PostgresServer> server_;
};

void MirrorTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    server_ = std::make_unique<PostgresServer>();
    QVERIFY2(server_->start(), qPrintable(server_->error()));
    QVERIFY2(server_->create_database(database), qPrintable(server_->error()));
}

void MirrorTest::make_station_role()
{
    QVERIFY2(server_->create_role(stationRole, stationPassword), qPrintable(server_->error()));
    QVERIFY2(!server_->psql(QStringLiteral("GRANT CREATE ON SCHEMA public TO %1").arg(stationRole))
                  .isNull(),
             qPrintable(server_->error()));
}

QString MirrorTest::server_name(const QString &folder, const QString &table, const QString &station)
{
    return server_->psql(QStringLiteral("SELECT name FROM telvane_runs WHERE station = '%1' AND "
                                        "source_file = '%2' AND local_name = '%3'")
                             .arg(station, QDir(folder).filePath(QStringLiteral("run.db")), table));
}

void MirrorTest::verify_mirrored(const QString &folder, const QString &table, int rows,
                                 const QString &station)
{
    const QString name = server_name(folder, table, station);
    QVERIFY2(!name.isEmpty(), qPrintable(server_->error() + server_->psql("TABLE telvane_runs")));
    const QString catalogue = server_->psql(
        QStringLiteral("SELECT rows, outcome, complete FROM telvane_runs WHERE name = '%1'")
            .arg(name));
    QCOMPARE(catalogue, QStringLiteral("%1|completed|t").arg(rows));

    QStringList header;
    const Rows csv = read_csv(QDir(folder).filePath(QStringLiteral("run.csv")), &header);
    QCOMPARE(int(csv.size()), rows);
    const Rows server =
        parse_rows(server_->psql(QStringLiteral("SELECT * FROM \"%1\" ORDER BY id").arg(name)));
    const QString different = difference(server, csv);
    QVERIFY2(different.isEmpty(), qPrintable(different));
    // The CSV's header is the server table's columns.
    const QString columns = server_->psql(
        QStringLiteral("SELECT string_agg(column_name, ',' ORDER BY ordinal_position) FROM "
                       "information_schema.columns WHERE table_name = '%1'")
            .arg(name));
    QCOMPARE(columns, header.join(QLatin1Char(',')));

    const QString localFile = QDir(folder).filePath(QStringLiteral("run.db"));
    QCOMPARE(
        server_->psql(QStringLiteral("SELECT count(*) FROM \"%1_envelope\"").arg(name)).toInt(),
        rowsInTable(localFile, table + QStringLiteral("_envelope")));
    QCOMPARE(
        server_->psql(QStringLiteral("SELECT outcome, committed_rows FROM \"%1_facts\"").arg(name)),
        QStringLiteral("completed|%1").arg(rows));
}

void MirrorTest::everyRowReachesTheServerThoughItStopsMidRun_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("seconds");
    QTest::newRow("16 channels at 150/s") << "multi" << 150 << 10;
    QTest::newRow("1 channel at 5000/s") << "single" << 5000 << 8;
}

void MirrorTest::everyRowReachesTheServerThoughItStopsMidRun()
{
    QFETCH(QString, mode);
    QFETCH(int, rate);
    QFETCH(int, seconds);
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.start(run_arguments(mode, rate, seconds) +
                   QStringList{"--mirror", server_->uri(database), "--station", "bench-1"});
    QVERIFY2(recorder.wait_for_output(QStringLiteral("dataSample_"), arrivalMs),
             qPrintable(recorder.output()));
    recorder.write_line(QStringLiteral("before the server stops"));
    const auto serverRows = [&] {
        return server_->psql(QStringLiteral("SELECT coalesce(max(rows), 0) FROM telvane_runs"))
            .toInt();
    };
    static_cast<void>(
        QTest::qWaitFor([&] { return serverRows() > 0 || !recorder.running(); }, arrivalMs));
    // Else the server would not go away in the middle of the run.
    QVERIFY2(serverRows() > 0 && recorder.running(),
             qPrintable(QStringLiteral("no rows on the server while the run went on\n") +
                        recorder.output() + server_->log()));
    server_->stop();
    // The run goes on without a server for a moment.
    QTest::qWait(1500);
    recorder.write_line(QStringLiteral("while the server is away"));
    QVERIFY2(server_->start(), qPrintable(server_->error()));

    const int exitCode = recorder.finish(runEndMs);
    const int rows = rate * seconds;
    QVERIFY2(exitCode == 0,
             qPrintable(QStringLiteral("exit %1\n%2").arg(exitCode).arg(recorder.output())));
    QVERIFY2(recorder.output().contains(mirrored_line(rows, rows, *server_)),
             qPrintable(recorder.output()));
    verify_mirrored(dir_->path(), recorder.table(), rows, QStringLiteral("bench-1"));
    const QString name = server_name(dir_->path(), recorder.table(), QStringLiteral("bench-1"));
    // Not mixed up with another run: the local name was free.
    QCOMPARE(name, recorder.table());
    QCOMPARE(server_->psql(QStringLiteral("SELECT text FROM \"%1_marks\" ORDER BY time").arg(name)),
             QStringLiteral("before the server stops\nwhile the server is away"));
}

void MirrorTest::aServerDownForTheWholeRunLeavesTheRowsUnmirrored()
{
    server_->stop();
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.start(run_arguments("multi", 50, 2) +
                   QStringList{"--mirror", server_->uri(database), "--mirror-wait", "2"});
    const int exitCode = recorder.finish(runEndMs);
    QVERIFY2(exitCode == 6,
             qPrintable(QStringLiteral("exit %1\n%2").arg(exitCode).arg(recorder.output())));
    QVERIFY2(recorder.output().contains(mirrored_line(0, 100, *server_)),
             qPrintable(recorder.output()));
    // The run itself is whole.
    QCOMPARE(int(read_csv(dir_->filePath(QStringLiteral("run.csv"))).size()), 100);
    QCOMPARE(rowsInTable(dir_->filePath(QStringLiteral("run.db")), recorder.table()), 100);
}

void MirrorTest::aServerThatComesAfterTheRunGetsEveryRow()
{
    server_->stop();
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.start(run_arguments("multi", 50, 3) + QStringList{"--mirror", server_->uri(database),
                                                               "--mirror-wait", "120", "--station",
                                                               "bench-2"});
    // The run has ended once its rows are told stored.
    QVERIFY2(recorder.wait_for_output(QStringLiteral("samples stored in"), runEndMs),
             qPrintable(recorder.output()));
    QVERIFY2(server_->start(), qPrintable(server_->error()));

    const int exitCode = recorder.finish(runEndMs);
    QVERIFY2(exitCode == 0,
             qPrintable(QStringLiteral("exit %1\n%2").arg(exitCode).arg(recorder.output())));
    QVERIFY2(recorder.output().contains(mirrored_line(150, 150, *server_)),
             qPrintable(recorder.output()));
    verify_mirrored(dir_->path(), recorder.table(), 150, QStringLiteral("bench-2"));
}

void MirrorTest::twoRecordersOfTheSameSecondGetARunEach()
{
    QTemporaryDir other;
    QVERIFY(other.isValid());
    RecorderProcess first(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    RecorderProcess second(QStringLiteral(TELVANE_CLI_EXECUTABLE), other.path());
    // Early in a second, so that both runs usually start within it.
    while (QDateTime::currentDateTime().time().msec() >= 50) {
        QThread::msleep(5);
    }
    // Of different shapes, so that rows of one in the other's table would show.
    make_station_role();
    // The password from each of libpq's places: the environment, and a password file.
    first.set_environment(QStringLiteral("PGPASSWORD"), stationPassword);
    const QString passwordFile = other.filePath(QStringLiteral("pgpass"));
    QFile pgpass(passwordFile);
    QVERIFY(pgpass.open(QIODevice::WriteOnly));
    pgpass.write(QStringLiteral("*:*:*:%1:%2\n").arg(stationRole, stationPassword).toUtf8());
    pgpass.close();
    QVERIFY(pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    second.remove_environment(QStringLiteral("PGPASSWORD"));
    second.set_environment(QStringLiteral("PGPASSFILE"), passwordFile);
    // Of different shapes, so that rows of one in the other's table would show.
    first.start(run_arguments("multi", 50, 3) +
                QStringList{"--mirror", server_->uri(database, stationRole), "--station", "bench"});
    second.start(run_arguments("single", 100, 3) + QStringList{"--mirror",
                                                               server_->uri(database, stationRole),
                                                               "--station", "bench"});
    const int firstExit = first.finish(runEndMs);
    const int secondExit = second.finish(runEndMs);
    QVERIFY2(firstExit == 0 && secondExit == 0,
             qPrintable(QStringLiteral("exit %1 and %2\n%3\n%4")
                            .arg(firstExit)
                            .arg(secondExit)
                            .arg(first.output(), second.output())));
    QVERIFY2(!first.output().contains(stationPassword) &&
                 !second.output().contains(stationPassword),
             qPrintable(first.output() + second.output()));
    QCOMPARE(server_->psql(QStringLiteral("SELECT count(*) FROM telvane_runs")),
             QStringLiteral("2"));
    verify_mirrored(dir_->path(), first.table(), 150, QStringLiteral("bench"));
    verify_mirrored(other.path(), second.table(), 300, QStringLiteral("bench"));
    const QString firstName = server_name(dir_->path(), first.table(), QStringLiteral("bench"));
    const QString secondName = server_name(other.path(), second.table(), QStringLiteral("bench"));
    QVERIFY(firstName != secondName);
    if (first.table() == second.table()) {
        // One keeps the name, the other takes the next suffix.
        const QStringList names{firstName, secondName};
        QVERIFY2(names.contains(first.table()) && names.contains(first.table() + "_2"),
                 qPrintable(names.join(QLatin1Char(' '))));
    } else {
        QCOMPARE(firstName, first.table());
        QCOMPARE(secondName, second.table());
    }
}

void MirrorTest::aChainIsMirroredRunByRun()
{
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.start(QStringList{"--simulate", "--mode", "multi", "--rate", "50", "--time", "2",
                               "--repeat", "2", "--db", "run.db", "--mirror",
                               server_->uri(database), "--station", "bench"});
    const int exitCode = recorder.finish(runEndMs);
    QVERIFY2(exitCode == 0,
             qPrintable(QStringLiteral("exit %1\n%2").arg(exitCode).arg(recorder.output())));
    QVERIFY2(recorder.output().contains(mirrored_line(200, 200, *server_)),
             qPrintable(recorder.output()));
    const QStringList runs =
        server_->psql(QStringLiteral("SELECT local_name FROM telvane_runs ORDER BY started"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(runs.size(), 2);
    const QString localFile = dir_->filePath(QStringLiteral("run.db"));
    for (const QString &table : runs) {
        QCOMPARE(rowsInTable(localFile, table), 100);
        const QString name = server_name(dir_->path(), table, QStringLiteral("bench"));
        QCOMPARE(server_->psql(
                     QStringLiteral("SELECT rows, outcome, complete FROM telvane_runs WHERE name = "
                                    "'%1'")
                         .arg(name)),
                 QStringLiteral("100|completed|t"));
        const Rows server =
            parse_rows(server_->psql(QStringLiteral("SELECT * FROM \"%1\" ORDER BY id").arg(name)));
        const QString different = difference(server, parse_csv(tableAsCsv(localFile, table, 1)));
        QVERIFY2(different.isEmpty(), qPrintable(table + QStringLiteral(": ") + different));
    }
}

void MirrorTest::aServerThatRefusesUsIsAnErrorBeforeTheRun_data()
{
    QTest::addColumn<QString>("host"); // empty for this server
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("db");
    QTest::addColumn<QString>("password");    // in PGPASSWORD
    QTest::addColumn<QString>("uriPassword"); // in the URI
    QTest::addColumn<int>("schemaVersion");   // the server's; 0 for none
    QTest::addColumn<QString>("told");        // what the error says
    QTest::newRow("wrong password") << "" << stationRole << database << "Wr0ng-b4ttery"
                                    << "" << 0 << "password authentication failed";
    QTest::newRow("unknown database") << ""
                                      << "postgres"
                                      << "nowhere"
                                      << ""
                                      << "" << 0 << "database \"nowhere\" does not exist";
    QTest::newRow("unknown host") << "nowhere.invalid" << stationRole << database << ""
                                  << "" << 0 << "could not translate host name";
    QTest::newRow("password in the URI") << "" << stationRole << database << "" << stationPassword
                                         << 0 << "must not carry a password";
    QTest::newRow("newer schema") << ""
                                  << "postgres" << database << ""
                                  << "" << 2
                                  << "the server's schema is version 2; this program knows up to 1";
}

void MirrorTest::aServerThatRefusesUsIsAnErrorBeforeTheRun()
{
    QFETCH(QString, host);
    QFETCH(QString, user);
    QFETCH(QString, db);
    QFETCH(QString, password);
    QFETCH(QString, uriPassword);
    QFETCH(int, schemaVersion);
    QFETCH(QString, told);
    const QString rightPassword = stationPassword;
    make_station_role();
    if (schemaVersion > 0) {
        QVERIFY2(!server_
                      ->psql(QStringLiteral("CREATE TABLE telvane_schema (version integer NOT "
                                            "NULL); INSERT INTO telvane_schema VALUES (%1)")
                                 .arg(schemaVersion))
                      .isNull(),
                 qPrintable(server_->error()));
    }
    QString uri = host.isEmpty() ? server_->uri(db, user)
                                 : QStringLiteral("postgresql://%1@%2/%3").arg(user, host, db);
    if (!uriPassword.isEmpty()) {
        uri += (uri.contains(QLatin1Char('?')) ? QStringLiteral("&") : QStringLiteral("?")) +
               QStringLiteral("password=") + uriPassword;
    }
    RecorderProcess recorder(QStringLiteral(TELVANE_CLI_EXECUTABLE), dir_->path());
    recorder.remove_environment(QStringLiteral("PGPASSWORD"));
    recorder.set_environment(QStringLiteral("PGPASSFILE"), dir_->filePath(QStringLiteral("none")));
    if (!password.isEmpty()) {
        recorder.set_environment(QStringLiteral("PGPASSWORD"), password);
    }
    recorder.start(run_arguments("multi", 50, 2) + QStringList{"--mirror", uri});
    const int exitCode = recorder.finish(runEndMs);
    const QString output = recorder.output();
    QVERIFY2(exitCode == 2, qPrintable(QStringLiteral("exit %1\n%2").arg(exitCode).arg(output)));
    QVERIFY2(output.contains(QStringLiteral("telvane-cli: ")) && output.contains(told),
             qPrintable(output));
    QVERIFY2(!output.contains(rightPassword) && (password.isEmpty() || !output.contains(password)),
             qPrintable(output));
    // Nothing was recorded.
    QVERIFY2(!output.contains(QStringLiteral("dataSample_")), qPrintable(output));
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("run.csv"))));
    QVERIFY(tablesInFile(dir_->filePath(QStringLiteral("run.db")))
                .filter(QStringLiteral("dataSample"))
                .isEmpty());
}

QTEST_GUILESS_MAIN(MirrorTest)
#include "tst_mirror.moc"
