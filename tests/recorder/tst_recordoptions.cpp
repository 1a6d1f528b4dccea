// The arguments of record: what is accepted, what is refused with which
// message, and the excitation range that depends on the attenuation module.
#include "commandparser.h"
#include "protocol.h"
#include "recordoptions.h"

#include <QtTest>

namespace {
struct Parsed
{
    RecordOptions options;
    QString error;
};

Parsed parse_record(const QStringList &arguments)
{
    CommandParser parser(QStringLiteral("record"), QStringLiteral("test"));
    RecordOptions::add_options(parser);
    Parsed parsed;
    if (parser.parse(arguments)) {
        parsed.options = RecordOptions::read(parser);
    }
    parsed.error = parser.error();
    return parsed;
}

QStringList with_port(const QStringList &arguments)
{
    return QStringList{"--port", "/dev/ttyUSB0"} + arguments;
}
} // namespace

class RecordOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void acceptedArgumentsReachTheRun_data();
    void acceptedArgumentsReachTheRun();
    void refusedArgumentsNameTheOptionAndItsRange_data();
    void refusedArgumentsNameTheOptionAndItsRange();
    void excitationRangeFollowsTheAttenuationModule_data();
    void excitationRangeFollowsTheAttenuationModule();
    void startPacketCarriesTheVoltagesAsTheSpinBoxesHoldThem();
};

void RecordOptionsTest::acceptedArgumentsReachTheRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QList<double>>("voltages");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("csv");

    QTest::newRow("single at its ceiling, defaults")
        << with_port({"--mode", "single", "--rate", "5000", "--time", "10000"}) << true << 5000
        << 10000 << QList<double>{0.0} << "telvane-cli.db"
        << "";
    QTest::newRow("multi at its ceiling with four voltages and files")
        << with_port({"--mode", "multi", "--rate", "150", "--time", "1", "--v1", "1", "--v2", "-1",
                      "--v3", "0", "--v4", "2.5", "--db", "runs.db", "--csv", "run.csv"})
        << false << 150 << 1 << QList<double>{1.0, -1.0, 0.0, 2.5} << "runs.db"
        << "run.csv";
    QTest::newRow("lowest rate and time, vout at -10")
        << with_port({"--mode", "single", "--rate", "1", "--time", "1", "--vout", "-10"}) << true
        << 1 << 1 << QList<double>{-10.0} << "telvane-cli.db"
        << "";
    QTest::newRow("voltages keep three decimals like the spin boxes")
        << with_port({"--mode", "single", "--rate", "10", "--time", "5", "--vout", "2.0004"})
        << true << 10 << 5 << QList<double>{2.0} << "telvane-cli.db"
        << "";
    QTest::newRow("beyond 10 V is left for the instrument's answer")
        << with_port({"--mode", "single", "--rate", "10", "--time", "5", "--vout", "-80"}) << true
        << 10 << 5 << QList<double>{-80.0} << "telvane-cli.db"
        << "";
    QTest::newRow("simulator instead of a port")
        << QStringList{"--simulate", "--mode", "multi", "--rate", "10", "--time", "2"} << false
        << 10 << 2 << QList<double>{0.0, 0.0, 0.0, 0.0} << "telvane-cli.db"
        << "";
}

void RecordOptionsTest::acceptedArgumentsReachTheRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, single);
    QFETCH(int, rate);
    QFETCH(int, seconds);
    QFETCH(QList<double>, voltages);
    QFETCH(QString, database);
    QFETCH(QString, csv);

    const Parsed parsed = parse_record(arguments);
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.options.single_channel(), single);
    QCOMPARE(parsed.options.rate(), rate);
    QCOMPARE(parsed.options.seconds(), seconds);
    QCOMPARE(parsed.options.voltages(), voltages);
    QCOMPARE(parsed.options.database_file(), database);
    QCOMPARE(parsed.options.csv_file(), csv);
    QCOMPARE(parsed.options.instrument().simulate(), arguments.contains("--simulate"));
}

void RecordOptionsTest::refusedArgumentsNameTheOptionAndItsRange_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("mentions");

    const QStringList single = {"--mode", "single"};
    const QStringList multi = {"--mode", "multi"};
    QTest::newRow("rate above the single ceiling")
        << with_port(single + QStringList{"--rate", "5001", "--time", "1"})
        << QStringList{"--rate 5001", "1..5000"};
    QTest::newRow("rate above the multi ceiling")
        << with_port(multi + QStringList{"--rate", "151", "--time", "1"})
        << QStringList{"--rate 151", "1..150"};
    QTest::newRow("rate zero") << with_port(single + QStringList{"--rate", "0", "--time", "1"})
                               << QStringList{"--rate 0", "1..5000"};
    QTest::newRow("rate not a whole number")
        << with_port(single + QStringList{"--rate", "12.5", "--time", "1"})
        << QStringList{"--rate", "12.5", "1..5000"};
    QTest::newRow("rate missing") << with_port(single + QStringList{"--time", "1"})
                                  << QStringList{"--rate", "required"};
    QTest::newRow("time zero") << with_port(single + QStringList{"--rate", "10", "--time", "0"})
                               << QStringList{"--time 0", "1..10000"};
    QTest::newRow("time above the ceiling")
        << with_port(single + QStringList{"--rate", "10", "--time", "10001"})
        << QStringList{"--time 10001", "1..10000"};
    QTest::newRow("unknown mode") << with_port({"--mode", "dual", "--rate", "10", "--time", "1"})
                                  << QStringList{"--mode", "dual", "single or multi"};
    QTest::newRow("mode missing") << with_port({"--rate", "10", "--time", "1"})
                                  << QStringList{"--mode", "required"};
    QTest::newRow("voltage beyond what any instrument allows")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--vout", "80.5"})
        << QStringList{"--vout 80.5", "-80..80"};
    QTest::newRow("voltage not a number")
        << with_port(multi + QStringList{"--rate", "10", "--time", "1", "--v3", "high"})
        << QStringList{"--v3", "high"};
    QTest::newRow("vout in a multi-channel run")
        << with_port(multi + QStringList{"--rate", "10", "--time", "1", "--vout", "1"})
        << QStringList{"--vout", "single mode only"};
    QTest::newRow("v2 in a single-channel run")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--v2", "1"})
        << QStringList{"--v2", "multi mode only"};
    QTest::newRow("port missing") << (single + QStringList{"--rate", "10", "--time", "1"})
                                  << QStringList{"--port", "--simulate"};
    QTest::newRow("port and simulator together")
        << with_port(single + QStringList{"--simulate", "--rate", "10", "--time", "1"})
        << QStringList{"--port", "--simulate"};
    QTest::newRow("empty csv name")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--csv", ""})
        << QStringList{"--csv"};
    QTest::newRow("csv to standard output, which carries the table name")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--csv", "-"})
        << QStringList{"--csv -", "standard output"};
    QTest::newRow("option given twice")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--rate", "20"})
        << QStringList{"--rate", "twice"};
    QTest::newRow("switch given twice")
        << (single + QStringList{"--simulate", "--rate", "10", "--time", "1", "--simulate"})
        << QStringList{"--simulate", "twice"};
    QTest::newRow("unknown option")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--speed", "2"})
        << QStringList{"speed"};
    QTest::newRow("stray argument")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "now"})
        << QStringList{"now"};
    QTest::newRow("mirror wait without a mirror")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--mirror-wait", "5"})
        << QStringList{"--mirror-wait", "needs --mirror"};
    QTest::newRow("station without a mirror")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--station", "a"})
        << QStringList{"--station", "needs --mirror"};
    QTest::newRow("mirror wait beyond a day")
        << with_port(single + QStringList{"--rate", "10", "--time", "1", "--mirror",
                                          "postgresql://db.lab/telvane", "--mirror-wait", "86401"})
        << QStringList{"--mirror-wait 86401", "0..86400"};
}

void RecordOptionsTest::refusedArgumentsNameTheOptionAndItsRange()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, mentions);

    const QString error = parse_record(arguments).error;
    QVERIFY2(!error.isEmpty(), "accepted");
    QVERIFY2(!error.contains(QLatin1Char('\n')), qPrintable(error));
    for (const QString &mention : mentions) {
        QVERIFY2(error.contains(mention), qPrintable(error));
    }
}

void RecordOptionsTest::excitationRangeFollowsTheAttenuationModule_data()
{
    QTest::addColumn<QStringList>("voltages");
    QTest::addColumn<bool>("module");
    QTest::addColumn<bool>("needsModule");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("11 V without module") << QStringList{"--vout", "11"} << false << true
                                         << "--vout 11 is out of range (allowed -10..10 V; the "
                                            "instrument reports no attenuation module)";
    QTest::newRow("11 V with module") << QStringList{"--vout", "11"} << true << true << "";
    QTest::newRow("-10 V without module") << QStringList{"--vout", "-10"} << false << false << "";
    QTest::newRow("10.0004 V rounds to 10 V")
        << QStringList{"--vout", "10.0004"} << false << false << "";
    QTest::newRow("10.0006 V rounds beyond 10 V")
        << QStringList{"--vout", "10.0006"} << false << true
        << "--vout 10.001 is out of range (allowed -10..10 V; the instrument reports no "
           "attenuation module)";
    QTest::newRow("80 V with module") << QStringList{"--vout", "80"} << true << true << "";
}

void RecordOptionsTest::excitationRangeFollowsTheAttenuationModule()
{
    QFETCH(QStringList, voltages);
    QFETCH(bool, module);
    QFETCH(bool, needsModule);
    QFETCH(QString, refusal);

    const Parsed parsed = parse_record(
        with_port(QStringList{"--mode", "single", "--rate", "10", "--time", "1"} + voltages));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.options.needs_module(), needsModule);
    QCOMPARE(parsed.options.voltage_error(module), refusal);
}

void RecordOptionsTest::startPacketCarriesTheVoltagesAsTheSpinBoxesHoldThem()
{
    const Parsed single = parse_record(
        with_port({"--mode", "single", "--rate", "5000", "--time", "100", "--vout", "1.5"}));
    QCOMPARE(single.options.start_command().toHex(),
             QByteArray("ff010000c03f000000000000000000000000138800640000"
                        "0d0a"));

    const Parsed multi =
        parse_record(with_port({"--mode", "multi", "--rate", "150", "--time", "10000", "--v1", "1",
                                "--v2", "-1", "--v4", "2.5"}));
    QCOMPARE(multi.options.start_command(),
             start_multi_command(1.0f, -1.0f, 0.0f, 2.5f, 150, 10000));
}

QTEST_GUILESS_MAIN(RecordOptionsTest)
#include "tst_recordoptions.moc"
