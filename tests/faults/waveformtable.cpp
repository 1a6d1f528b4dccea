#include "waveformtable.h"

#include "instrumentsimulator.h"
#include "observerconnection.h"
#include "storedmillivolts.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <cmath>

namespace {
constexpr double foreignMillivolts = 20000.0;

QString quoted(const QString &table)
{
    return QLatin1Char('"') + QString(table).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}
} // namespace

WaveformTable::WaveformTable(const QString &databaseFile, const QString &table)
    : file_(databaseFile)
    , table_(table)
{}

double WaveformTable::millivolts(int channel, quint64 sample, quint32 pattern)
{
    return stored_millivolts(InstrumentSimulator::sample_volts(channel, sample, pattern));
}

QString WaveformTable::compare(bool singleChannel, int rate, quint32 pattern)
{
    rows_ = 0;
    waveformRows_ = 0;
    foreign_.clear();
    const int channels = singleChannel ? 1 : 16;
    return with_observer_connection(file_, [&](QSqlDatabase &db) -> QString {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(quoted(table_))))
            return QStringLiteral("cannot read %1: %2").arg(table_, query.lastError().text());
        if (query.record().count() != 2 + channels)
            return QStringLiteral("%1 columns instead of %2")
                .arg(query.record().count())
                .arg(2 + channels);
        while (query.next()) {
            const qint64 id = query.value(0).toLongLong();
            const double time = query.value(1).toDouble();
            if (id != rows_ + 1)
                return QStringLiteral("row %1 has id %2").arg(rows_ + 1).arg(id);
            const double expectedTime = double(rows_) / rate;
            if (std::abs(time - expectedTime) > 1e-6 * std::max(1.0, expectedTime))
                return QStringLiteral("row %1 has time %2 instead of %3")
                    .arg(id)
                    .arg(time, 0, 'f', 9)
                    .arg(expectedTime, 0, 'f', 9);
            QList<double> values;
            bool foreign = false;
            for (int c = 0; c < channels; ++c) {
                values.append(query.value(2 + c).toDouble());
                foreign = foreign || std::abs(values.last()) >= foreignMillivolts;
            }
            ++rows_;
            if (foreign) {
                foreign_.append(values);
                continue;
            }
            for (int c = 0; c < channels; ++c) {
                const double expected = millivolts(c, quint64(waveformRows_), pattern);
                if (values.at(c) != expected)
                    return QStringLiteral("row %1 channel %2 holds %3, sample %4 is %5")
                        .arg(id)
                        .arg(c + 1)
                        .arg(values.at(c))
                        .arg(waveformRows_)
                        .arg(expected);
            }
            ++waveformRows_;
        }
        return QString();
    });
}

QString WaveformTable::integrity_check(const QString &databaseFile)
{
    return with_observer_connection(databaseFile, [](QSqlDatabase &db) -> QString {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA integrity_check")))
            return query.lastError().text();
        QStringList lines;
        while (query.next())
            lines.append(query.value(0).toString());
        return lines.join(QLatin1Char('\n'));
    });
}
