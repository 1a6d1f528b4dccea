// telvane-cli record publishing its run to a real Mosquitto broker, watched by a real
// subscriber: every row arrives and equals the run's CSV even when the broker goes away in the
// middle of the run or only comes after it; what could not be sent is told and exits 6; TLS
// with a user and password works, and a wrong password or authority is refused before the run.
#include "mosquittobroker.h"
#include "mqttcollector.h"
#include "tablecontents.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

constexpr int connectMs = 20000;
constexpr int runEndMs = 180000; // the run, then up to its --publish-wait
constexpr int arrivalMs = 60000;
const QString passwordVariable = QStringLiteral("TELVANE_MQTT_PASSWORD");

// One `telvane-cli record` in a folder of its own, its output gathered as it comes while the
// test's event loop runs.
class Recorder
{
public:
    explicit Recorder(const QString &directory)
    {
        process_.setWorkingDirectory(directory);
        environment_ = QProcessEnvironment::systemEnvironment();
        // Runs here are small; the free-space reserve would refuse them on a nearly full disk.
        environment_.insert(QStringLiteral("TELVANE_FREE_SPACE_RESERVE"), QStringLiteral("0"));
        environment_.remove(passwordVariable);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                         [this] { out_ += process_.readAllStandardOutput(); });
        QObject::connect(&process_, &QProcess::readyReadStandardError,
                         [this] { err_ += process_.readAllStandardError(); });
    }
    ~Recorder()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(runEndMs);
        }
    }
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    void set_environment(const QString &name, const QString &value)
    {
        environment_.insert(name, value);
    }
    void start(const QStringList &arguments)
    {
        process_.setProcessEnvironment(environment_);
        process_.start(QStringLiteral(TELVANE_CLI_EXECUTABLE),
                       QStringList{QStringLiteral("record")} + arguments);
    }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Waits for the end; the exit code, or -1 when it did not end normally in time.
    int finish()
    {
        if (!QTest::qWaitFor([this] { return !running(); }, runEndMs)) {
            return -1;
        }
        out_ += process_.readAllStandardOutput();
        err_ += process_.readAllStandardError();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    // Waits until text has appeared on standard output or error.
    bool wait_for_output(const QString &text, int ms)
    {
        return QTest::qWaitFor([&] { return output().contains(text) || !running(); }, ms) &&
               output().contains(text);
    }
    // record prints its run table's name as its first line.
    QString table() const { return QString::fromUtf8(out_).section(QLatin1Char('\n'), 0, 0); }
    QString output() const { return QString::fromUtf8(out_ + err_); }

private:
    QProcess process_;
    QProcessEnvironment environment_;
    QByteArray out_;
    QByteArray err_;
};

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

// The run's CSV: its header and, by id, the time and voltages as it printed them.
struct CsvRun
{
    QStringList header;
    std::map<qint64, QList<double>> rows;
};

CsvRun read_csv(const QString &path)
{
    CsvRun run;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return run;
    }
    run.header = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char(','));
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).trimmed().split(',');
        QList<double> values;
        for (int i = 1; i < fields.size(); ++i) {
            values << fields[i].toDouble();
        }
        run.rows.emplace(fields[0].toLongLong(), values);
    }
    return run;
}

// Empty when the rows are exactly those of the CSV, each value equal at the CSV's precision
// (time four decimals, voltages one); else the first difference.
QString difference(const std::map<qint64, MqttCollector::SampleRow> &rows, const CsvRun &csv)
{
    if (rows.size() != csv.rows.size()) {
        return QStringLiteral("%1 rows arrived, the CSV has %2")
            .arg(rows.size())
            .arg(csv.rows.size());
    }
    auto arrived = rows.cbegin();
    for (const auto &[id, fields] : csv.rows) {
        if (arrived->first != id) {
            return QStringLiteral("id %1 arrived where the CSV has id %2")
                .arg(arrived->first)
                .arg(id);
        }
        const MqttCollector::SampleRow &row = arrived->second;
        if (row.values.size() != fields.size() - 1) {
            return QStringLiteral("id %1 has %2 voltages, the CSV %3")
                .arg(id)
                .arg(row.values.size())
                .arg(fields.size() - 1);
        }
        if (std::abs(row.time - fields[0]) > 0.00005 + 1e-9) {
            return QStringLiteral("id %1: time %2, the CSV %3")
                .arg(id)
                .arg(row.time)
                .arg(fields[0]);
        }
        for (int i = 0; i < row.values.size(); ++i) {
            if (std::abs(row.values[i] - fields[i + 1]) > 0.05 + 1e-9) {
                return QStringLiteral("id %1 column %2: %3, the CSV %4")
                    .arg(id)
                    .arg(i + 2)
                    .arg(row.values[i])
                    .arg(fields[i + 1]);
            }
        }
        ++arrived;
    }
    return {};
}

QString published_line(int published, int rows, const MosquittoBroker &broker,
                       const QString &prefix)
{
    return QStringLiteral("Published: %1 of %2 rows to 127.0.0.1:%3/%4")
        .arg(published)
        .arg(rows)
        .arg(broker.port())
        .arg(prefix);
}

MqttCollector::Options collector_options(const MosquittoBroker &broker, const QString &prefix,
                                         const QString &clientId)
{
    MqttCollector::Options options;
    options.port = broker.port();
    options.prefix = prefix;
    options.clientId = clientId;
    return options;
}

QJsonObject json_object(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

} // namespace

class PublishTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyRowArrivesThoughTheBrokerRestartsMidRun_data();
    void everyRowArrivesThoughTheBrokerRestartsMidRun();
    void aBrokerThatComesAfterTheRunGetsEveryRow();
    void aBrokerThatNeverComesLeavesTheRowsUnpublished();
    void tlsWithAPasswordPublishes_data();
    void tlsWithAPasswordPublishes();
    void aWrongPasswordOrAuthorityIsRefusedBeforeTheRun_data();
    void aWrongPasswordOrAuthorityIsRefusedBeforeTheRun();

private:
    // The run's rows as the collector has them, checked against its CSV: every id once, in
    // order within each message, under the CSV's columns and the run's name.
    void verify_rows_match_the_csv(const MqttCollector &collector, const QString &table,
                                   int expectedRows);
    // What a subscriber arriving after the recorder has gone sees retained: the station
    // "offline" and the run's final facts.
    void verify_left_behind(MqttCollector::Options options, const QString &table,
                            const QString &mode, int rate, int rows);

    std::unique_ptr<QTemporaryDir> dir_;
};

void PublishTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void PublishTest::verify_rows_match_the_csv(const MqttCollector &collector, const QString &table,
                                            int expectedRows)
{
    const CsvRun csv = read_csv(dir_->filePath(QStringLiteral("run.csv")));
    QCOMPARE(int(csv.rows.size()), expectedRows);
    const bool allArrived = MqttCollector::wait_for(
        [&] { return collector.row_count() >= int(csv.rows.size()); }, arrivalMs);
    QStringList problems;
    const auto rows = collector.rows_by_id(&problems);
    QVERIFY2(
        allArrived,
        qPrintable(QStringLiteral("%1 of %2 rows arrived").arg(rows.size()).arg(csv.rows.size())));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    const QString different = difference(rows, csv);
    QVERIFY2(different.isEmpty(), qPrintable(different));
    QCOMPARE(collector.sample_columns(), csv.header);
    for (const MqttCollector::Message &message :
         collector.messages(collector.topic(QStringLiteral("samples")))) {
        QCOMPARE(json_object(message.payload).value(QStringLiteral("run")).toString(), table);
    }
}

void PublishTest::verify_left_behind(MqttCollector::Options options, const QString &table,
                                     const QString &mode, int rate, int rows)
{
    options.clientId = QStringLiteral("latecomer");
    MqttCollector latecomer(options);
    QVERIFY2(latecomer.start(connectMs), qPrintable(latecomer.error()));
    const QString stateTopic = latecomer.topic(QStringLiteral("state"));
    const QString runTopic = latecomer.topic(QStringLiteral("run"));
    QVERIFY2(MqttCollector::wait_for(
                 [&] {
                     return latecomer.message_count(stateTopic) > 0 &&
                            latecomer.message_count(runTopic) > 0;
                 },
                 connectMs),
             "no retained state and run facts");
    const MqttCollector::Message state = latecomer.messages(stateTopic).first();
    QVERIFY(state.retained);
    QCOMPARE(state.payload, QByteArray("offline"));
    const MqttCollector::Message run = latecomer.messages(runTopic).first();
    QVERIFY(run.retained);
    const QJsonObject facts = json_object(run.payload);
    QCOMPARE(facts.value(QStringLiteral("run")).toString(), table);
    QCOMPARE(facts.value(QStringLiteral("mode")).toString(), mode);
    QCOMPARE(facts.value(QStringLiteral("rate")).toInt(), rate);
    QCOMPARE(facts.value(QStringLiteral("complete")).toBool(), true);
    QCOMPARE(facts.value(QStringLiteral("committed_rows")).toInt(), rows);
}

void PublishTest::everyRowArrivesThoughTheBrokerRestartsMidRun_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("seconds");
    QTest::newRow("16 channels at 150/s") << "multi" << 150 << 10;
    QTest::newRow("1 channel at 5000/s") << "single" << 5000 << 6;
}

void PublishTest::everyRowArrivesThoughTheBrokerRestartsMidRun()
{
    QFETCH(QString, mode);
    QFETCH(int, rate);
    QFETCH(int, seconds);
    const QString prefix = QStringLiteral("lab/st1");
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    const MqttCollector::Options options = collector_options(broker, prefix, "restart");
    MqttCollector collector(options);
    QVERIFY2(collector.start(connectMs), qPrintable(collector.error()));

    Recorder recorder(dir_->path());
    recorder.start(run_arguments(mode, rate, seconds) +
                   QStringList{"--publish", broker.url(prefix)});
    const QString samples = collector.topic(QStringLiteral("samples"));
    MqttCollector::wait_for(
        [&] { return collector.message_count(samples) > 0 || !recorder.running(); }, arrivalMs);
    // Else the broker would not go away in the middle of the run.
    QVERIFY2(
        collector.message_count(samples) > 0 && recorder.running(),
        qPrintable(QStringLiteral("no rows arrived while the run went on\n") + recorder.output()));
    broker.stop();
    // The run goes on without a broker for a moment.
    QTest::qWait(1500);
    QVERIFY2(broker.start(), qPrintable(broker.error()));

    const int exitCode = recorder.finish();
    const int rows = rate * seconds;
    QVERIFY2(exitCode == 0, qPrintable(QStringLiteral("exit %1\n%2\nbroker log:\n%3")
                                           .arg(exitCode)
                                           .arg(recorder.output(), broker.log())));
    QVERIFY2(recorder.output().contains(published_line(rows, rows, broker, prefix)),
             qPrintable(recorder.output()));
    verify_rows_match_the_csv(collector, recorder.table(), rows);
    // While it published, the station said so.
    const QList<MqttCollector::Message> states =
        collector.messages(collector.topic(QStringLiteral("state")));
    QVERIFY(std::any_of(states.cbegin(), states.cend(), [](const MqttCollector::Message &state) {
        return state.payload == "online";
    }));
    verify_left_behind(options, recorder.table(), mode, rate, rows);
}

void PublishTest::aBrokerThatComesAfterTheRunGetsEveryRow()
{
    const QString prefix = QStringLiteral("lab/late");
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    // The subscriber's session is made first; the broker keeps it while it is down.
    const MqttCollector::Options options = collector_options(broker, prefix, "late");
    MqttCollector collector(options);
    QVERIFY2(collector.start(connectMs), qPrintable(collector.error()));
    broker.stop();

    Recorder recorder(dir_->path());
    recorder.start(run_arguments("multi", 50, 3) +
                   QStringList{"--publish", broker.url(prefix), "--publish-wait", "120"});
    // The run has ended once its rows are told stored.
    QVERIFY2(recorder.wait_for_output(QStringLiteral("samples stored in"), runEndMs),
             qPrintable(recorder.output()));
    QVERIFY2(broker.start(), qPrintable(broker.error()));

    const int exitCode = recorder.finish();
    QVERIFY2(exitCode == 0, qPrintable(QStringLiteral("exit %1\n%2\nbroker log:\n%3")
                                           .arg(exitCode)
                                           .arg(recorder.output(), broker.log())));
    QVERIFY2(recorder.output().contains(published_line(150, 150, broker, prefix)),
             qPrintable(recorder.output()));
    verify_rows_match_the_csv(collector, recorder.table(), 150);
    verify_left_behind(options, recorder.table(), "multi", 50, 150);
}

void PublishTest::aBrokerThatNeverComesLeavesTheRowsUnpublished()
{
    const QString prefix = QStringLiteral("lab/nobody");
    const MosquittoBroker broker; // never started: nothing listens on its port
    Recorder recorder(dir_->path());
    recorder.start(run_arguments("multi", 50, 2) +
                   QStringList{"--publish", broker.url(prefix), "--publish-wait", "2"});
    QCOMPARE(recorder.finish(), 6);
    QVERIFY2(recorder.output().contains(published_line(0, 100, broker, prefix)),
             qPrintable(recorder.output()));
    // The run itself is whole.
    QCOMPARE(int(read_csv(dir_->filePath(QStringLiteral("run.csv"))).rows.size()), 100);
    QCOMPARE(rowsInTable(dir_->filePath(QStringLiteral("run.db")), recorder.table()), 100);
}

void PublishTest::tlsWithAPasswordPublishes_data()
{
    QTest::addColumn<bool>("passwordInFile");
    QTest::newRow("password from the environment") << false;
    QTest::newRow("password from a file") << true;
}

void PublishTest::tlsWithAPasswordPublishes()
{
    QFETCH(bool, passwordInFile);
    const QString prefix = QStringLiteral("lab/secure");
    const QString password = QStringLiteral("Corr3ct-h0rse");
    MosquittoBroker::Options brokerOptions;
    brokerOptions.tls = true;
    brokerOptions.users.insert(QStringLiteral("station"), password);
    brokerOptions.users.insert(QStringLiteral("reader"), QStringLiteral("reader-pass"));
    MosquittoBroker broker(brokerOptions);
    QVERIFY2(broker.start(), qPrintable(broker.error()));
    MqttCollector::Options options = collector_options(broker, prefix, "tls");
    options.caFile = broker.ca_file();
    options.user = QStringLiteral("reader");
    options.password = QStringLiteral("reader-pass");
    MqttCollector collector(options);
    QVERIFY2(collector.start(connectMs), qPrintable(collector.error()));

    Recorder recorder(dir_->path());
    QStringList arguments =
        run_arguments("multi", 50, 2) +
        QStringList{"--publish", broker.url(prefix, "station"), "--mqtt-ca", broker.ca_file()};
    if (passwordInFile) {
        const QString file = dir_->filePath(QStringLiteral("password"));
        QFile passwordFile(file);
        QVERIFY(passwordFile.open(QIODevice::WriteOnly));
        passwordFile.write(password.toUtf8() + '\n');
        passwordFile.close();
        arguments << "--mqtt-password-file" << file;
    } else {
        recorder.set_environment(passwordVariable, password);
    }
    recorder.start(arguments);
    const int exitCode = recorder.finish();
    QVERIFY2(exitCode == 0, qPrintable(QStringLiteral("exit %1\n%2\nbroker log:\n%3")
                                           .arg(exitCode)
                                           .arg(recorder.output(), broker.log())));
    QVERIFY2(recorder.output().contains(published_line(100, 100, broker, prefix)),
             qPrintable(recorder.output()));
    QVERIFY(!recorder.output().contains(password));
    verify_rows_match_the_csv(collector, recorder.table(), 100);
    verify_left_behind(options, recorder.table(), "multi", 50, 100);
}

void PublishTest::aWrongPasswordOrAuthorityIsRefusedBeforeTheRun_data()
{
    QTest::addColumn<bool>("wrongPassword");
    QTest::addColumn<bool>("wrongAuthority");
    QTest::newRow("wrong password") << true << false;
    QTest::newRow("certificate of another authority") << false << true;
}

void PublishTest::aWrongPasswordOrAuthorityIsRefusedBeforeTheRun()
{
    QFETCH(bool, wrongPassword);
    QFETCH(bool, wrongAuthority);
    const QString prefix = QStringLiteral("lab/secure");
    const QString password = QStringLiteral("Corr3ct-h0rse");
    const QString given = wrongPassword ? QStringLiteral("Wr0ng-b4ttery") : password;
    MosquittoBroker::Options brokerOptions;
    brokerOptions.tls = true;
    brokerOptions.users.insert(QStringLiteral("station"), password);
    MosquittoBroker broker(brokerOptions);
    QVERIFY2(broker.start(), qPrintable(broker.error()));

    Recorder recorder(dir_->path());
    recorder.set_environment(passwordVariable, given);
    recorder.start(run_arguments("multi", 50, 2) +
                   QStringList{"--publish", broker.url(prefix, "station"), "--mqtt-ca",
                               wrongAuthority ? broker.wrong_ca_file() : broker.ca_file()});
    QCOMPARE(recorder.finish(), 2);
    const QString output = recorder.output();
    QVERIFY2(output.contains(QStringLiteral("telvane-cli: ")), qPrintable(output));
    QVERIFY2(!output.contains(given) && !output.contains(password), qPrintable(output));
    // Nothing was recorded.
    QVERIFY2(recorder.table().isEmpty(), qPrintable(output));
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("run.csv"))));
    const QStringList tables = tablesInFile(dir_->filePath(QStringLiteral("run.db")));
    QVERIFY2(tables.filter(QStringLiteral("dataSample")).isEmpty(),
             qPrintable(tables.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(PublishTest)
#include "tst_publish.moc"
