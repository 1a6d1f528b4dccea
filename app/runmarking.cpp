#include "runmarking.h"

#include "runfactstext.h"
#include "runsession.h"
#include "runstatusbar.h"
#include "sampledatabase.h"
#include "voltageplot.h"

#include <QAction>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QPlainTextEdit>
#include <QVBoxLayout>

RunMarking::RunMarking(QWidget *window, VoltagePlot *plot, RunSession *session,
                       RunStatusBar *status)
    : QObject(window)
    , window_(window)
    , plot_(plot)
    , session_(session)
    , status_(status)
    , addMark_(new QAction(tr("Add Mark…"), this))
    , markNow_(new QAction(tr("Mark Now"), this))
    , facts_(new QAction(tr("Run Facts…"), this))
{
    addMark_->setObjectName(QStringLiteral("actionAddMark"));
    addMark_->setToolTip(tr("Mark the run on the plot with a short text (M marks at once)"));
    markNow_->setObjectName(QStringLiteral("actionMarkNow"));
    markNow_->setShortcut(QKeySequence(Qt::Key_M));
    window->addAction(markNow_);
    facts_->setObjectName(QStringLiteral("actionRunFacts"));
    facts_->setToolTip(tr("What the run on the plot was taken with, how it ended, its marks"));
    connect(addMark_, &QAction::triggered, this, &RunMarking::ask_and_add);
    connect(markNow_, &QAction::triggered, this, [this] {
        add_mark({mark_time(true), QString()});
    });
    connect(facts_, &QAction::triggered, this, &RunMarking::show_facts);
}

QList<QAction *> RunMarking::menu_actions() const
{
    return {addMark_, facts_};
}

void RunMarking::show_run(SampleDatabase *database, const QString &table, bool writable)
{
    database_ = database;
    table_ = table;
    writable_ = writable;
    plot_->mark_lines()->set_marks(table.isEmpty() ? QList<RunMark>()
                                                   : database->read_marks(table));
}

double RunMarking::mark_time(bool overMouse) const
{
    if (session_->is_active() && session_->table() == table_)
        return plot_->last_time();
    const QPoint mouse = plot_->mapFromGlobal(QCursor::pos());
    if (overMouse && plot_->axisRect()->rect().contains(mouse))
        return plot_->xAxis->pixelToCoord(mouse.x());
    return plot_->xAxis->range().center();
}

QString RunMarking::refusal() const
{
    if (table_.isEmpty())
        return tr("there is no run on the plot");
    if (!writable_)
        return tr("%1 is another file's run, shown read-only").arg(table_);
    return QString();
}

bool RunMarking::add_mark(const RunMark &mark)
{
    QString reason = refusal();
    const bool running = session_->is_active() && session_->table() == table_;
    if (reason.isEmpty() && running) {
        // The run's own storage stores it, committed at once.
        if (!session_->add_mark_at(mark.time, mark.text))
            reason = tr("it could not be stored (see the log)");
    } else if (reason.isEmpty()) {
        reason = database_->add_mark(table_, mark).message();
    }
    if (!reason.isEmpty()) {
        refuse(reason);
        return false;
    }
    plot_->mark_lines()->add(mark);
    return true;
}

void RunMarking::refuse(const QString &reason)
{
    status_->show_note(tr("No mark added: %1.").arg(reason), true);
}

void RunMarking::ask_and_add()
{
    if (const QString reason = refusal(); !reason.isEmpty()) {
        refuse(reason); // before the operator types a text for nothing
        return;
    }
    // The moment the operator asked for, not the one the text was finished at.
    const double time = mark_time(false);
    bool ok = false;
    const QString text =
        QInputDialog::getText(window_, tr("Add Mark"),
                              tr("Mark at %1 (text may be empty):").arg(plot_->time_text(time, 3)),
                              QLineEdit::Normal, QString(), &ok);
    if (ok)
        add_mark({time, text.trimmed()});
}

QString RunMarking::facts_text() const
{
    if (table_.isEmpty())
        return tr("There is no run on the plot.");
    QStringList lines{QStringLiteral("run\t") + table_};
    if (const std::optional<RunFacts> facts = database_->read_facts(table_))
        lines.append(run_facts_text::lines(*facts));
    else
        lines.append(tr("No facts are stored with this run (an older version's run, or a CSV "
                        "file's)."));
    if (session_->is_active() && session_->table() == table_)
        lines.append(QStringLiteral("committed rows so far\t%1").arg(session_->committed_count()));
    for (const RunMark &mark : database_->read_marks(table_))
        lines.append(run_facts_text::mark_line(mark));
    lines.append(run_facts_text::gap_lines(database_->read_gaps(table_)));
    return lines.join(QLatin1Char('\n'));
}

void RunMarking::show_facts()
{
    QDialog dialog(window_);
    dialog.setWindowTitle(tr("Run Facts"));
    auto *text = new QPlainTextEdit(facts_text(), &dialog);
    text->setObjectName(QStringLiteral("runFactsText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setTabStopDistance(16 * text->fontMetrics().horizontalAdvance(QLatin1Char('x')));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.resize(560, 420);
    dialog.exec(); // read-only: nothing to do with how it was closed
}
