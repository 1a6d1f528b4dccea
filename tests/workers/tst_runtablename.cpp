#include "runtablename.h"
#include "sampledatabase.h"
#include "scopedworkdir.h"

#include <QTest>

class RunTableNameTest : public QObject
{
    Q_OBJECT

private slots:
    void runsStartedInOneSecondGetTablesOfTheirOwn()
    {
        ScopedWorkDir dir;
        SampleDatabase database;
        QVERIFY(database.open_database());
        const QDateTime start(QDate(2025, 3, 5), QTime(14, 7, 9));

        QStringList names;
        for (int run = 0; run < 3; ++run) {
            const QString name = new_run_table_name(database, start);
            QVERIFY2(SampleDatabase::is_valid_table_name(name), qPrintable(name));
            QVERIFY(database.create_table(name, run % 2 == 0));
            names.append(name);
        }
        QCOMPARE(names, (QStringList{QStringLiteral("dataSample_20250305_14_07_09"),
                                     QStringLiteral("dataSample_20250305_14_07_09_2"),
                                     QStringLiteral("dataSample_20250305_14_07_09_3")}));
        QCOMPARE(database.current_table_name(), names.last());
    }

    void hoursAreWrittenOnTheTwentyFourHourClock()
    {
        ScopedWorkDir dir;
        SampleDatabase database;
        QVERIFY(database.open_database());
        const QDateTime evening(QDate(2024, 1, 5), QTime(21, 3, 59));
        QCOMPARE(new_run_table_name(database, evening),
                 QStringLiteral("dataSample_20240105_21_03_59"));
    }
};

QTEST_GUILESS_MAIN(RunTableNameTest)
#include "tst_runtablename.moc"
