#include "runtablename.h"

#include <QRegularExpression>

QString run_table_base_name(const QDateTime &startTime)
{
    return QStringLiteral("dataSample_") + startTime.toString(QStringLiteral("yyyyMMdd_hh_mm_ss"));
}

bool is_run_table_name(const QString &name)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("dataSample_[0-9]{8}_[0-9]{2}_[0-9]{2}_[0-9]{2}(_[0-9]+)?")));
    return pattern.match(name).hasMatch();
}
