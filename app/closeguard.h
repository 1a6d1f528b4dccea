#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;
class RunSession;
class SampleDatabase;
class SerialManager;

// Decides whether the window may close. A clean close drops the window's run tables (its runs
// and the run a crash left behind): every one with rows that nobody has exported is named
// first, and only what was named is dropped unsaved. Lives in the GUI thread, a child of the
// window.
class CloseGuard : public QObject
{
    Q_OBJECT

public:
    // recording says whether the window records a run; exportFolder where it exports; onPlot
    // whether a table of the window's database is the run on the plot.
    CloseGuard(QWidget *window, SerialManager *serial, RunSession *session,
               SampleDatabase *database, std::function<bool()> recording,
               std::function<QString()> exportFolder, std::function<bool(const QString &)> onPlot);

    // A run table the close drops.
    void add_run(const QString &table);
    // Exported in this session, or with nothing to lose: the close does not ask about it.
    void mark_exported(const QString &table);
    bool is_exported(const QString &table) const { return exportedTables_.contains(table); }
    // The rows an ended run committed: the close names them without counting.
    void set_run_rows(const QString &table, qint64 rows);
    // The run tables the close drops.
    QStringList tables() const { return ownTables_; }

    // Asks what to do with the runs the close would delete that have not been exported, and
    // ends a run still going; true when the window may close.
    bool may_close();
    // Ends a run still going, without waiting for the instrument, behind the busy dialog.
    void end_run();

signals:
    // The run on the plot is to be exported as the Export button does (with its picture);
    // is_exported says afterwards whether it was.
    void export_shown_requested();

private:
    bool confirm_close();
    // Samples of a run the close would delete, for the close question.
    qint64 run_sample_count(const QString &table);

    QWidget *const window_;
    const std::function<bool()> recording_;
    const std::function<QString()> exportFolder_;
    const std::function<bool(const QString &)> onPlot_;
    SerialManager *const serial_;
    RunSession *const session_;
    SampleDatabase *const database_;
    QStringList ownTables_;
    QSet<QString> exportedTables_;
    QHash<QString, qint64> runRows_;
};
