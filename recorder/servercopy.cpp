#include "servercopy.h"

#include "console.h"
#include "exitcode.h"
#include "mirrortarget.h"
#include "runowner.h"
#include "sampledatabase.h"
#include "serverruns.h"

#include <QTemporaryDir>

#include <list>

namespace {

constexpr int connectSeconds = 10;

// The process's scratch folder and the runs it pretends to record (see open_run); they go
// when the process ends, after every command's database.
struct Scratch
{
    QTemporaryDir folder;
    std::list<RunOwner> owners;
};

Scratch &scratch()
{
    static Scratch instance;
    return instance;
}

} // namespace

std::unique_ptr<SampleDatabase> ServerCopy::open_run(const QString &target, const QString &table,
                                                     int *exitCode)
{
    *exitCode = ExitFailure;
    const Result<MirrorTarget> parsed = MirrorTarget::parse(target, QStringLiteral("--db"));
    if (!parsed.ok()) {
        Console::error(parsed.status().message());
        *exitCode = ExitBadArguments;
        return nullptr;
    }
    if (!scratch().folder.isValid()) {
        Console::error(QStringLiteral("cannot make a temporary folder for the run: %1")
                           .arg(scratch().folder.errorString()));
        return nullptr;
    }
    ServerRuns server(target, connectSeconds);
    const Result<ServerRun> run = server.find(table);
    if (!run.ok()) {
        if (run.status().is(Status::Kind::NotFound)) {
            Console::error(
                QStringLiteral("--table %1: no such run table in %2").arg(table, parsed->shown()));
            *exitCode = ExitBadArguments;
        } else {
            Console::error(run.status().message());
        }
        return nullptr;
    }
    const QString file = scratch().folder.filePath(table + QStringLiteral(".db"));
    if (const Status copied = server.download(table, file); !copied.ok()) {
        Console::error(QStringLiteral("cannot copy the run %1 from the PostgreSQL server %2: %3")
                           .arg(table, parsed->shown(), copied.message()));
        return nullptr;
    }
    // A run the server has without its end is still being mirrored, unless the catalogue
    // calls it complete (pushed after its recorder was gone): it reads as still open, as in
    // its own file while it is recorded.
    if (run->facts && !run->facts->is_complete() && !run->complete) {
        scratch().owners.emplace_back().take(file, table);
    }
    auto database = std::make_unique<SampleDatabase>(file, SampleDatabase::Access::ReadOnly);
    if (const Status opened = database->open_database(); !opened.ok()) {
        Console::error(
            QStringLiteral("cannot open the copy of the run %1: %2").arg(table, opened.message()));
        return nullptr;
    }
    *exitCode = ExitOk;
    return database;
}
