#pragma once

#include "runstatistics.h"

#include <QFutureWatcher>
#include <QList>
#include <QWidget>

class QLabel;
class QTableWidget;
class SampleDatabase;
class VoltagePlot;

// Under the plot: the times of cursors A and B, their distance, and per shown channel the
// samples, minimum, maximum, peak-to-peak, mean and RMS between them. The statistics come from
// the run's envelope levels on a worker thread (a run without sums is read row by row there,
// and the readout says it is computing meanwhile). Hidden while the cursors are not both
// placed. GUI thread.
class CursorReadout : public QWidget
{
    Q_OBJECT

public:
    CursorReadout(VoltagePlot *plot, QWidget *parent = nullptr);
    ~CursorReadout() override;

    // The run the cursors measure: a table of database. Waits for a read of the run before,
    // so that its database may go once this returns.
    void set_run(SampleDatabase *database, const QString &table);
    void set_shown_channels(const QList<bool> &shown);

    // What the readout shows, for the tests and tools built on the window.
    QString header_text() const;
    // From the start of a read until its figures are shown.
    bool is_computing() const { return computing_; }
    const RunStatistics &statistics() const { return statistics_; }

private:
    void cursors_changed();
    void start_reading();
    // The cursors' times as the plot's axis reads them, and their distance in seconds.
    void show_header();
    void show_statistics();

    VoltagePlot *const plot_;
    QLabel *header_ = nullptr;
    QTableWidget *table_ = nullptr;
    SampleDatabase *database_ = nullptr;
    QString runTable_;
    QList<bool> shown_;
    QFutureWatcher<RunStatistics> watcher_;
    bool stale_ = false; // the cursors moved while a read was under way
    bool computing_ = false;
    RunStatistics statistics_;
};
