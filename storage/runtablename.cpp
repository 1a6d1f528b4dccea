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

QDateTime run_start_time(const QString &name)
{
    if (!is_run_table_name(name))
        return QDateTime();
    // "dataSample_" is 11 characters; the time's 17 follow.
    return QDateTime::fromString(name.mid(11, 17), QStringLiteral("yyyyMMdd_hh_mm_ss"));
}
