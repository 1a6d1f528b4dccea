#pragma once

#include <QList>
#include <QString>
#include <QVariant>

struct sqlite3;

// Statements a test runs on an SQLite connection, the one under test included: to look at
// what the code stored, or to put the file in a state the code must cope with.
namespace sql_rows {

// Every row sql gives, each as its columns (integers as qint64, reals as double, text as
// QString, NULL as an invalid QVariant). `error`, when given, receives SQLite's words on a
// failure and is cleared otherwise.
QList<QVariantList> select(sqlite3 *db, const QString &sql, QString *error = nullptr);
// Runs sql (one or more statements); false on a failure.
bool run(sqlite3 *db, const QString &sql);

} // namespace sql_rows
