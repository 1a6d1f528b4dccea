#include "tablesummary.h"

#include "runsettings.h"
#include "sampledatabase.h"
#include "sqliteconnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {
constexpr int channelCount = InstrumentLimits::channelCount;
constexpr int timeDecimals = 4;

QString mode_of(const QStringList &columns)
{
    if (columns.contains(QLatin1String("Vol"))) {
        return QStringLiteral("single");
    }
    for (int n = 1; n <= channelCount; ++n) {
        if (!columns.contains(QStringLiteral("Vol%1").arg(n))) {
            return QStringLiteral("unknown");
        }
    }
    return QStringLiteral("multi");
}

std::optional<double> time_of(const QVariant &value)
{
    if (value.isNull()) {
        return std::nullopt;
    }
    return value.toDouble();
}
} // namespace

std::optional<TableSummary> TableSummary::read(SampleDatabase &database, const QString &table,
                                               QString *reason)
{
    const QString quoted = sqlite_connection::quoted(table);
    QSqlQuery columns = database.execute_query(QStringLiteral("PRAGMA table_info(%1)").arg(quoted));
    QStringList names;
    while (columns.next()) {
        names.append(columns.value(1).toString());
    }
    QSqlQuery span = database.execute_query(
        QStringLiteral("SELECT COUNT(*), MIN(time), MAX(time) FROM %1").arg(quoted));
    if (names.isEmpty() || !span.next()) {
        if (reason != nullptr) {
            const QSqlQuery &failed = span.lastError().isValid() ? span : columns;
            *reason = failed.lastError().isValid() ? sqlite_connection::reason(failed.lastError())
                                                   : QStringLiteral("no such table");
        }
        return std::nullopt;
    }
    TableSummary summary;
    summary.name_ = table;
    summary.mode_ = mode_of(names);
    summary.rows_ = span.value(0).toLongLong();
    summary.firstTime_ = time_of(span.value(1));
    summary.lastTime_ = time_of(span.value(2));
    return summary;
}

QString TableSummary::line() const
{
    const QString times = firstTime_ && lastTime_
                              ? QStringLiteral("%1..%2 s")
                                    .arg(QString::number(*firstTime_, 'f', timeDecimals),
                                         QString::number(*lastTime_, 'f', timeDecimals))
                              : QStringLiteral("-");
    return QStringList{name_, QStringLiteral("%1 rows").arg(rows_), mode_, times}.join(
        QLatin1Char('\t'));
}
