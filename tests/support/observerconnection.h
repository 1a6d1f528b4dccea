#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

// Runs body on a connection of its own to databaseFile, as an outside observer of the code
// under test would, and removes the connection afterwards. Returns what body returns, or
// "cannot open: " and the reason when the file cannot be opened.
QString with_observer_connection(const QString &databaseFile,
                                 const std::function<QString(QSqlDatabase &)> &body);
