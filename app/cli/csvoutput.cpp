#include "csvoutput.h"

#include "commandparser.h"
#include "databasefiles.h"

void CsvOutput::check_target(CommandParser &parser, const QString &target,
                             const QString &databaseFile)
{
    if (database_files::is_database_or_companion(target, databaseFile)) {
        parser.fail(QStringLiteral("--csv %1 is the database %2 or one of its own files; "
                                   "writing there would ruin every run in it")
                        .arg(target, databaseFile));
    }
}
