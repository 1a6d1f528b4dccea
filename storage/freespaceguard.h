#pragma once

#include <QString>

#include <chrono>

// Keeps a chain of runs from filling the database's file system: before each run, and every
// checkInterval during it, the free space is compared with what the rest of the run will
// take at its rate plus a reserve (1 % of the file system, at least 200 MB; the environment
// variable TELVANE_FREE_SPACE_RESERVE, in bytes, sets another). Used by the recorder and the
// window, each from its main thread.
class FreeSpaceGuard
{
public:
    // Bytes the database grows by per stored row, index and envelope levels included,
    // measured on runs of 1 M single-channel and 300,000 multi-channel rows (49 and 220 bytes),
    // rounded up.
    static constexpr qint64 singleRowBytes = 50;
    static constexpr qint64 multiRowBytes = 225;
    static constexpr qint64 reserveFloorBytes = 200LL * 1024 * 1024;
    static constexpr std::chrono::seconds checkInterval{60};

    FreeSpaceGuard(const QString &databaseFile, bool singleChannel, int rate);

    // Empty when the rest of a run of `seconds` still fits; otherwise why not, naming the
    // free space and the need. `what` names the stretch ("the next run").
    QString shortage(qint64 seconds, const QString &what) const;

private:
    static QString megabytes(qint64 bytes);

    QString folder_;
    qint64 bytesPerSecond_;
};
