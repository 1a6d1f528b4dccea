#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class QWidget;
class SampleDatabase;
class VoltagePlot;

// The operator's export of the run on the plot: asks what to export and under which name, writes
// the table on a worker thread behind the busy dialog, then the picture, and reports the
// outcome. GUI thread only.
class RunExport
{
    Q_DECLARE_TR_FUNCTIONS(RunExport)

public:
    RunExport(QWidget *window, SampleDatabase *database, const QString &table, VoltagePlot *plot);

    // Runs the whole exchange. The save dialog opens in `directory`, which then becomes the
    // folder of the chosen file. True when the run's table was written as CSV.
    bool run(QString &directory);

private:
    // The options dialog; false when it was cancelled. `between` is offered only while both
    // cursors are placed: the stretch between them instead of the whole run.
    bool choose_kinds(bool &csv, bool &picture, bool &between);
    // True when none of files exists already, other than `asked` (the save dialog asked about
    // it), or the operator agrees to replace those that do.
    bool may_replace(const QStringList &files, const QString &asked);
    // Writes "<path>.csv" when asked (the rows between the cursors only, when between), off
    // the GUI thread while the busy dialog shows; returns the failure message or an empty
    // string.
    QString write_table(const QString &path, bool csv, bool between);
    // The picture of the stretch between the cursors: the plot shows it, with its rows
    // loaded, while the picture is taken, then returns to the view it had.
    bool save_stretch_png(const QString &path);

    QWidget *window_;
    SampleDatabase *database_;
    const QString table_; // the run exported
    VoltagePlot *plot_;
};
