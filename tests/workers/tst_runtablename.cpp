#include "runtablename.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"

#include <QTest>

class RunTableNameTest : public QObject
{
    Q_OBJECT

private slots:
    // Two connections stand for two programs on one file: whichever comes second takes the
    // next free name, and a table that exists is never written into again.
    void runsStartedInOneSecondGetTablesOfTheirOwn()
    {
        ScopedWorkDir dir;
        SampleDatabase first;
        SampleDatabase second;
        QVERIFY(first.open_database().ok());
        QVERIFY(second.open_database().ok());
        const QDateTime start(QDate(2025, 3, 5), QTime(14, 7, 9));

        QStringList names;
        for (int run = 0; run < 3; ++run) {
            SampleDatabase &database = run % 2 == 0 ? first : second;
            const QString name = database.create_run_table(start, run % 2 == 0).value();
            QVERIFY2(SampleDatabase::is_valid_table_name(name), qPrintable(name));
            QCOMPARE(database.current_table_name(), name);
            names.append(name);
        }
        QCOMPARE(names, (QStringList{QStringLiteral("dataSample_20250305_14_07_09"),
                                     QStringLiteral("dataSample_20250305_14_07_09_2"),
                                     QStringLiteral("dataSample_20250305_14_07_09_3")}));

        QVERIFY(first.insert_samples({{0.0, 1.0}}).rows == 1);
        const Status taken = second.create_table(names.last(), false);
        QVERIFY(taken.is(Status::Kind::Exists));
        QVERIFY2(taken.message().contains(QLatin1String("already exists")),
                 qPrintable(taken.message()));
        QCOMPARE(second.current_table_name(), names.at(1));
        QCOMPARE(first.row_count(names.last()), 1);
    }

    void hoursAreWrittenOnTheTwentyFourHourClock()
    {
        const QDateTime evening(QDate(2024, 1, 5), QTime(21, 3, 59));
        QCOMPARE(run_table_base_name(evening), QStringLiteral("dataSample_20240105_21_03_59"));
    }
};

QTEST_GUILESS_MAIN(RunTableNameTest)
#include "tst_runtablename.moc"
