#include "runtablename.h"

#include "sampledatabase.h"

QString new_run_table_name(SampleDatabase &database, const QDateTime &startTime)
{
    const QString base =
        QStringLiteral("dataSample_") + startTime.toString(QStringLiteral("yyyyMMdd_hh_mm_ss"));
    QString name = base;
    for (int suffix = 2; database.table_exists(name); ++suffix) {
        name = base + QLatin1Char('_') + QString::number(suffix);
    }
    return name;
}
