#pragma once

#include "status.h"
#include "timerange.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;
class RunExporter;
class SampleDatabase;
class VoltagePlot;

// The operator's export of the run on the plot: asks which kinds of file to write and under
// which name, writes those that may leave the GUI thread on a worker behind the busy dialog,
// then those that render the plot, and reports the outcome. GUI thread only.
class RunExport
{
    Q_DECLARE_TR_FUNCTIONS(RunExport)

public:
    RunExport(QWidget *window, SampleDatabase *database, const QString &table, VoltagePlot *plot);
    ~RunExport();

    // Runs the whole exchange. The save dialog opens in `directory`, which then becomes the
    // folder of the chosen file. True when the run's table was written as CSV.
    bool run(QString &directory);

private:
    // One kind of file the operator may choose, in the order the options offer them.
    struct Kind
    {
        QString label;   // the option's text
        bool checked;    // ticked when the options open
        QString failure; // the message when its file cannot be written
        bool savesRun;   // a file of this kind counts as the run saved
        std::unique_ptr<RunExporter> exporter;
    };
    using Chosen = std::vector<const Kind *>;

    // The options dialog; false when it was cancelled. `between` is offered only while both
    // cursors are placed: the stretch between them instead of the whole run.
    bool choose_kinds(Chosen &chosen, bool &between);
    // True when none of files exists already, other than `asked` (the save dialog asked about
    // it), or the operator agrees to replace those that do.
    bool may_replace(const QStringList &files, const QString &asked);
    // Writes "<path><extension>" of each chosen kind: those that may, on a worker thread
    // while the busy dialog shows, then the others. The first kind chosen also writes the
    // sidecar. Returns the failure message or an empty string.
    QString write_files(const QString &path, const Chosen &chosen,
                        const std::optional<TimeRange> &range);
    // The job run behind the busy dialog, which closes when the job has finished; what the
    // job returned.
    QString write_behind_busy_dialog(const std::function<QString()> &job);
    // The failure message of kind's export ending in status.
    static QString failure_of(const Kind &kind, const Status &status, const QString &failedFile,
                              const QString &sidecar);

    QWidget *window_;
    SampleDatabase *database_;
    const QString table_; // the run exported
    VoltagePlot *plot_;
    std::vector<Kind> kinds_;
};
