#pragma once

#include "runmarks.h"

#include <QList>
#include <QObject>
#include <QString>

class QAction;
class QWidget;
class RunSession;
class RunStatusBar;
class SampleDatabase;
class VoltagePlot;

// The operator's marks and the facts of the run on the plot, live, browsed or reviewed: the
// "Add Mark…" action (asks for a text), the M key (marks at once, without text) and the
// "Run Facts…" action. A mark of the running run is stored through the run session, one of
// a run of the window's own file through the window's connection; a run of another file is
// only read. GUI thread.
class RunMarking : public QObject
{
    Q_OBJECT

public:
    RunMarking(QWidget *window, VoltagePlot *plot, RunSession *session, RunStatusBar *status);

    // "Add Mark…" and "Run Facts…", for a menu; M works in the whole window.
    QList<QAction *> menu_actions() const;

    // The run now on the plot: the table of database, whose marks may be added when
    // writable (the window's own file). Its marks are read and drawn.
    void show_run(SampleDatabase *database, const QString &table, bool writable);

    // Where a mark goes now: during a run the latest sample's time; else, with overMouse,
    // the time under the mouse when it is over the plot, and the middle of the view otherwise.
    double mark_time(bool overMouse) const;
    // Stores a mark of the run on show and draws it; false, with why in the status bar, when
    // there is no run, the run is another file's, or SQLite refused.
    bool add_mark(const RunMark &mark);
    // The facts and marks of the run on show, one tab-separated name and value per line.
    QString facts_text() const;

private:
    // Why no mark may be added to the run on show; empty when one may.
    QString refusal() const;
    void refuse(const QString &reason);
    void ask_and_add();
    void show_facts();

    QWidget *const window_;
    VoltagePlot *const plot_;
    RunSession *const session_;
    RunStatusBar *const status_;
    QAction *addMark_ = nullptr;
    QAction *markNow_ = nullptr;
    QAction *facts_ = nullptr;
    SampleDatabase *database_ = nullptr; // the run's, owned by the window
    QString table_;
    bool writable_ = false;
};
