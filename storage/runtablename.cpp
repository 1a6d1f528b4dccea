#include "runtablename.h"

QString run_table_base_name(const QDateTime &startTime)
{
    return QStringLiteral("dataSample_") + startTime.toString(QStringLiteral("yyyyMMdd_hh_mm_ss"));
}
