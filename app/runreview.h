#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CursorReadout;
class QWidget;
class QTemporaryDir;
class RunMarking;
class RunStatusBar;
class SampleDatabase;
class VoltagePlot;

// Review: shows a recorded run (of the window's database, another database file read-only, a
// CSV file the export wrote, or a PostgreSQL server the runs are mirrored to) in the window's
// plot as a paused run, to browse, measure and export. Holds the reviewed file while it is on show.
// Lives in the GUI thread, a child of the window it reports to.
class RunReview : public QObject
{
    Q_OBJECT

public:
    // recording says whether the window records a run (nothing is opened meanwhile).
    RunReview(QWidget *window, SampleDatabase *database, VoltagePlot *plot,
              CursorReadout *cursorReadout, RunMarking *marking, RunStatusBar *runStatus,
              std::function<bool()> recording);
    ~RunReview() override;
    RunReview(const RunReview &) = delete;
    RunReview &operator=(const RunReview &) = delete;

    // Shows table of file. A file other than the window's own is opened read-only and never
    // changed. False, after telling the operator why, when it cannot be opened.
    bool open_run(const QString &file, const QString &table);
    // Opens a file given to the program (command line, desktop entry): a CSV as open_csv does,
    // a database's run as open_run does (table given) or from its list (choose_run). A file that
    // is neither is refused with a dialog. A server's URI instead of a file opens its run as
    // open_server_run does (table given) or from the list of its runs. False when nothing was
    // opened.
    bool open_file(const QString &file, const QString &table = QString());
    // Asks for a file and one of its runs (starting at file, the window's own database when
    // empty; at the list of a server's runs when file is its URI) or a server's run, and opens
    // it; false when cancelled or it could not be opened.
    bool choose_run(const QString &file = QString());
    // Copies the run name of the server at uri (a libpq URI) into a scratch file, off the GUI
    // thread behind the busy dialog with the share copied so far, and shows it as open_run
    // shows another file's run. False, after telling the operator why, when it cannot be read.
    bool open_server_run(const QString &uri, const QString &name);
    // Reads a CSV file the export wrote into a scratch run table (behind the busy dialog, with
    // the share read so far) and shows it as open_run does. A CSV that is not ours is refused
    // with the line and the reason.
    bool open_csv(const QString &file);
    // The database of the run on show: the reviewed file's, or the window's own.
    SampleDatabase *shown_database() const;
    // The run table on the plot: the reviewed one, else the one recorded last.
    QString shown_table() const;
    // A new run of the window's own takes the plot: the reviewed file is let go.
    void end_review();

signals:
    // The run about to be shown has one channel (single) or several: the window's channel
    // mode has to match it before it is drawn.
    void channel_mode_needed(bool single);
    // A run is on the plot now, read from the file review holds.
    void run_shown();

private:
    // Shows table of source (held afterwards when owned is given).
    bool show_run(std::unique_ptr<SampleDatabase> owned, SampleDatabase *source,
                  const QString &file, const QString &table, bool readOnly);
    // False, after telling the operator, while the window records.
    bool may_open();

    QWidget *const window_;
    const std::function<bool()> recording_;
    SampleDatabase *const database_; // the window's own
    VoltagePlot *const plot_;
    CursorReadout *const cursorReadout_;
    RunMarking *const marking_;
    RunStatusBar *const runStatus_;
    // Where a CSV or a server's run opened for review is read into; removed with the review.
    std::unique_ptr<QTemporaryDir> scratchFolder_;
    // The run on review, of reviewDatabase_ or the window's own file; empty otherwise.
    QString reviewedTable_;
    // The file of a reviewed run other than the window's own; null otherwise.
    std::unique_ptr<SampleDatabase> reviewDatabase_;
};
