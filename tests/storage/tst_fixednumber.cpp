#include "fixednumber.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

// The CSV export prints numbers without going through QString, yet must print them
// exactly as QString::number(value, 'f', decimals) does.
class FixedNumberTest : public QObject
{
    Q_OBJECT

private:
    static QString fixed(double value, int decimals)
    {
        std::string out = "x";
        append_fixed(out, value, decimals);
        return QString::fromStdString(out.substr(1));
    }

private slots:
    void printsLikeQt_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain time") << 0.01 << 4 << "0.0100";
        QTest::newRow("halfway time rounds away from zero") << 0.03125 << 4 << "0.0313";
        QTest::newRow("negative halfway rounds away from zero") << -0.03125 << 4 << "-0.0313";
        QTest::newRow("halfway voltage") << 0.25 << 1 << "0.3";
        QTest::newRow("exact halfway carries into the integer part") << 9.75 << 1 << "9.8";
        QTest::newRow("carry adds a digit") << 99.96875 << 4 << "99.9688";
        QTest::newRow("carry adds a digit, whole") << 9.5 << 0 << "10";
        QTest::newRow("negative carry adds a digit") << -99.5 << 0 << "-100";
        QTest::newRow("just below halfway rounds down") << 0.15 << 1 << "0.1";
        QTest::newRow("negative zero loses its sign") << -0.0 << 1 << "0.0";
        QTest::newRow("small negative keeps its sign") << -0.04 << 1 << "-0.0";
        QTest::newRow("large value") << 1e20 << 1 << "100000000000000000000.0";
        QTest::newRow("largest value")
            << std::numeric_limits<double>::max() << 4
            << QString::number(std::numeric_limits<double>::max(), 'f', 4);
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 1 << "inf";
    }

    void printsLikeQt()
    {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(QString, expected);
        QCOMPARE(fixed(value, decimals), expected);
        QCOMPARE(fixed(value, decimals), QString::number(value, 'f', decimals));
    }

    void agreesWithQtOnManyValues()
    {
        QRandomGenerator random(20240105);
        for (int i = 0; i < 100000; ++i) {
            double value = 0;
            switch (i % 4) {
            case 0: // voltages as the decoder rounds them
                value = std::round((random.bounded(160000.0) - 80000.0) * 10.0) / 10.0;
                break;
            case 1: // times of a run: sample count over rate, many exact halfway cases
                value = random.bounded(1, 1 << 22) / static_cast<double>(1 << random.bounded(11));
                break;
            case 2:
                value = random.bounded(2000.0) - 1000.0;
                break;
            default: // any bit pattern that is a finite number
                do {
                    const quint64 bits = random.generate64();
                    std::memcpy(&value, &bits, sizeof value);
                } while (!std::isfinite(value));
            }
            for (int decimals : {0, 1, 4}) {
                const QString expected = QString::number(value, 'f', decimals);
                if (fixed(value, decimals) != expected) {
                    QFAIL(qPrintable(QStringLiteral("%1 with %2 decimals: got %3, want %4")
                                         .arg(value, 0, 'g', 17)
                                         .arg(decimals)
                                         .arg(fixed(value, decimals), expected)));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(FixedNumberTest)
#include "tst_fixednumber.moc"
