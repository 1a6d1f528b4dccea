#include "closeguard.h"

#include "busydialogjob.h"
#include "crashrecovery.h"
#include "runsession.h"
#include "sampledatabase.h"
#include "serialmanager.h"

#include <QMessageBox>

CloseGuard::CloseGuard(QWidget *window, SerialManager *serial, RunSession *session,
                       SampleDatabase *database, std::function<bool()> recording,
                       std::function<QString()> exportFolder,
                       std::function<bool(const QString &)> onPlot)
    : QObject(window)
    , window_(window)
    , recording_(std::move(recording))
    , exportFolder_(std::move(exportFolder))
    , onPlot_(std::move(onPlot))
    , serial_(serial)
    , session_(session)
    , database_(database)
{}

void CloseGuard::add_run(const QString &table)
{
    ownTables_.append(table);
}

void CloseGuard::mark_exported(const QString &table)
{
    exportedTables_.insert(table);
}

void CloseGuard::set_run_rows(const QString &table, qint64 rows)
{
    runRows_.insert(table, rows);
}

bool CloseGuard::may_close()
{
    if (!confirm_close())
        return false;
    end_run();
    return true;
}

void CloseGuard::end_run()
{
    if (!session_->is_active())
        return;
    // The run's threads store what arrived while this thread goes on drawing; the busy
    // dialog keeps the controls out of reach until the run has ended (run_ended).
    if (!serial_->is_open())
        session_->port_lost();
    else
        session_->end_soon();
    wait_behind_busy_dialog(tr("Ending the run"), session_, &RunSession::finished,
                            [this] { return !session_->is_active(); });
    // A dialog closed early leaves the rest of the end to be waited for here.
    session_->end_now();
}

bool CloseGuard::confirm_close()
{
    QStringList unsaved;
    QStringList lines;
    for (const QString &table : std::as_const(ownTables_)) {
        // An exported run is not counted: a long run's COUNT would hold up the close.
        if (exportedTables_.contains(table))
            continue;
        const qint64 samples = run_sample_count(table);
        if (samples <= 0)
            continue;
        unsaved.append(table);
        lines.append(tr("%1 (%2 samples)").arg(table).arg(samples));
    }
    if (unsaved.isEmpty())
        return true;
    QString text;
    if (unsaved.size() == 1) {
        const bool live = recording_() && unsaved.first() == session_->table();
        const QString state = live ? tr("is still recording") : tr("has not been exported");
        text = tr("The run %1 %2. Closing the window deletes it from the database.")
                   .arg(lines.first(), state);
    } else {
        text = tr("These runs have not been exported. Closing the window deletes them from the "
                  "database:\n%1")
                   .arg(lines.join(QLatin1Char('\n')));
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        window_, tr("Warning"), text,
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    end_run();
    // The run on the plot is exported as the Export button does, with its picture; the
    // others as the start-up recovery does.
    for (const QString &table : std::as_const(unsaved)) {
        if (onPlot_(table))
            emit export_shown_requested();
        else if (CrashRecovery(window_, database_).save_run(table, exportFolder_()))
            exportedTables_.insert(table);
        if (!exportedTables_.contains(table))
            return false;
    }
    return true;
}

qint64 CloseGuard::run_sample_count(const QString &table)
{
    if (recording_() && table == session_->table())
        return session_->taken_count();
    // A full count of a long run would hold up the close; the run left by a crash is the
    // only one this window has not counted.
    const auto known = runRows_.constFind(table);
    return known != runRows_.cend() ? *known : database_->row_count(table);
}
