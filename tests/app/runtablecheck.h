#pragma once

#include "samplerow.h"

#include <QList>
#include <QString>

class SampleDatabase;

// Every row of a run table in id order, without the id: time first, then the voltages.
QList<SampleRow> readRunTable(SampleDatabase *database, const QString &table);

// Compares rows with the first rows.size() samples of the simulator's waveform for `pattern`:
// times k / rate accumulated by repeated addition from 0, values as stored_millivolts gives
// them (channel 1 alone, or channels 1 to 16). Empty when all match, else the first
// difference.
QString differenceFromWaveform(const QList<SampleRow> &rows, bool singleChannel, int rate,
                               quint32 pattern);
