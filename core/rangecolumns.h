#pragma once

#include <QList>
#include <QVector>

// Rows of a run table read back column by column: the times, and one list of
// voltages per voltage column (one for a single-channel table, sixteen otherwise).
struct RangeColumns
{
    QVector<double> times;
    QList<QVector<double>> values;
};
