#pragma once

#include "status.h"
#include "timerange.h"

#include <QString>

#include <atomic>
#include <optional>

class QIODevice;
class SampleDatabase;

// One kind of file a run is exported to (a CSV table, a picture): every export of a run, from
// the window, the crash recovery or the recorder, goes through one, so a new kind of file is
// a new exporter and a line where the kinds are listed.
class RunExporter
{
public:
    // What to export and where.
    struct Request
    {
        // The run: its table in the database, read on the calling thread's connection.
        SampleDatabase *database = nullptr;
        QString table;
        // The stretch of the run; the whole run when empty.
        std::optional<TimeRange> range;
        // The file to write, when device is null. It and its sidecar are replaced only once
        // both are complete; a failure leaves neither and replaces no file already there.
        QString path;
        // A device open for writing (standard output, a pipe), written as the rows are read;
        // it gets no sidecar.
        QIODevice *device = nullptr;
        // Whether a file gets its sidecar (see run_sidecar) beside it.
        bool sidecar = true;
        // The rows written so far, when given: stored by the writing thread, read by any.
        std::atomic<qint64> *rowsWritten = nullptr;
        // On a failure, when given: the file it concerns, the exported one's path or its
        // sidecar's, so a caller can say which of the two could not be made.
        QString *failedFile = nullptr;
    };

    virtual ~RunExporter() = default;

    // The extension of the kind's files, ".csv".
    virtual QString extension() const = 0;
    // Whether write needs the GUI thread (it renders a widget); otherwise it may run on any
    // thread.
    virtual bool needs_gui_thread() const = 0;
    // ReadFailed when the run cannot be read, WriteFailed when the target cannot be written,
    // each with SQLite's or the file system's words.
    virtual Status write(const Request &request) = 0;
};
