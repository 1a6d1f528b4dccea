#pragma once

#include <QString>
#include <QStringList>

// telvane-cli record: checks the arguments, asks the instrument for its status,
// records one run (or a chain of them) into new run tables, and optionally exports them as CSV.
class RecordCommand
{
public:
    static int run(const QStringList &arguments);
};
