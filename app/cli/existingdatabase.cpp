#include "existingdatabase.h"

#include "console.h"
#include "sampledatabase.h"

#include <QFileInfo>

std::unique_ptr<SampleDatabase> ExistingDatabase::open(const QString &file)
{
    if (!QFileInfo(file).isFile()) {
        Console::error(QStringLiteral("no database file %1").arg(file));
        return nullptr;
    }
    auto database = std::make_unique<SampleDatabase>(file);
    if (!database->open_database()) {
        Console::error(QStringLiteral("cannot open the database %1").arg(file));
        return nullptr;
    }
    return database;
}
