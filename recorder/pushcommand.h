#pragma once

#include <QStringList>

// telvane-cli push: uploads the finished runs of a database file to a PostgreSQL server, in
// the mirror's layout, once: runs the server has complete are skipped, runs it has in part
// completed. One line per run says what was done.
class PushCommand
{
public:
    static int run(const QStringList &arguments);
};
