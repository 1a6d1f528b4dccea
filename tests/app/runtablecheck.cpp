#include "runtablecheck.h"

#include "instrumentsimulator.h"
#include "sampledatabase.h"
#include "sqlrows.h"
#include "storedmillivolts.h"

#include <cmath>

QList<SampleRow> readRunTable(SampleDatabase *database, const QString &table)
{
    QList<SampleRow> rows;
    if (!SampleDatabase::is_valid_table_name(table))
        return rows;
    for (const QVariantList &stored :
         sql_rows::select(database->connection_handle(),
                          QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table))) {
        SampleRow row;
        for (int column = 1; column < stored.size(); ++column)
            row.append(stored.at(column).toDouble());
        rows.append(row);
    }
    return rows;
}

QString differenceFromWaveform(const QList<SampleRow> &rows, bool singleChannel, int rate,
                               quint32 pattern)
{
    const int channels = singleChannel ? 1 : 16;
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const SampleRow &row = rows.at(k);
        const double time = double(k) / rate;
        if (row.size() != channels + 1)
            return QStringLiteral("row %1 has %2 values").arg(k).arg(row.size());
        if (row.first() != time) {
            return QStringLiteral("row %1 at time %2, expected %3")
                .arg(k)
                .arg(row.first(), 0, 'g', 17)
                .arg(time, 0, 'g', 17);
        }
        for (int channel = 0; channel < channels; ++channel) {
            const double expected =
                stored_millivolts(InstrumentSimulator::sample_volts(channel, quint64(k), pattern));
            if (row.at(channel + 1) != expected) {
                return QStringLiteral("row %1 channel %2 holds %3, expected %4")
                    .arg(k)
                    .arg(channel + 1)
                    .arg(row.at(channel + 1), 0, 'g', 17)
                    .arg(expected, 0, 'g', 17);
            }
        }
    }
    return QString();
}
