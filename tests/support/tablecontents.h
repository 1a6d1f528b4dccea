#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads a database file the way an outside observer would: through a connection of its own,
// opened and closed for each call, independent of the code under test.

// Names of every table in the file.
QStringList tablesInFile(const QString &databaseFile);

// Number of rows in table, or -1 when it cannot be read.
int rowsInTable(const QString &databaseFile, const QString &table);

// The table as the export writes it: a header of the column names, then one line per row,
// fields joined by ","; reals in fixed notation, four decimals in the second (time) column
// and voltageDecimals elsewhere, integers as plain digits, every line ended by "\n".
QByteArray tableAsCsv(const QString &databaseFile, const QString &table, int voltageDecimals);
