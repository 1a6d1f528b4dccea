#pragma once

#include <QString>

struct sqlite3;

// Writes every row of one table as CSV: a header of the column names, then one line
// per row, fields joined by "," and unquoted. Reals print in fixed notation: the
// second column (the time) with four decimals, all others with voltageDecimals;
// integers and texts as they are. The file is replaced only once it is complete; on
// any failure nothing is left at path and false is returned, with the reason on the
// debug output.
bool write_table_csv(sqlite3 *db, const QString &table, const QString &path, int voltageDecimals);
