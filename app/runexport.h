#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;
class SampleDatabase;
class VoltagePlot;

// The operator's export of the current run: asks what to export and under which name, writes
// the table on a worker thread behind the busy dialog, then the picture, and reports the
// outcome. GUI thread only.
class RunExport
{
    Q_DECLARE_TR_FUNCTIONS(RunExport)

public:
    RunExport(QWidget *window, SampleDatabase *database, VoltagePlot *plot);

    // Runs the whole exchange. The save dialog opens in `directory`, which then becomes the
    // folder of the chosen file. True when the run's table was written as CSV.
    bool run(QString &directory);

private:
    // The options dialog; false when it was cancelled.
    bool choose_kinds(bool &csv, bool &picture);
    // Writes "<path>.csv" when asked, off the GUI thread while the busy dialog shows;
    // returns the failure message or an empty string.
    QString write_table(const QString &path, bool csv);

    QWidget *window_;
    SampleDatabase *database_;
    VoltagePlot *plot_;
};
