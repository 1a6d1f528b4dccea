#include "runstatusbar.h"

#include "battery.h"
#include "elidedlabel.h"

#include <QLabel>
#include <QStatusBar>

namespace {
const QString recordingDotSheet = QStringLiteral("color: rgb(220, 0, 0);");
const QString problemSheet = QStringLiteral("color: rgb(200, 0, 0);");
const QString separator = QStringLiteral("  |  ");
constexpr int fieldGapPx = 16;

// Nearest second: the display ticks fall a hair either side of the full second.
qint64 seconds_of(qint64 ms)
{
    return (ms + 500) / 1000;
}
} // namespace

RunStatusBar::RunStatusBar(QStatusBar *bar, const RunSession *session, QObject *parent)
    : QObject(parent)
    , bar_(bar)
    , session_(session)
{
    dot_ = add_label("runStateDot");
    dot_->setText(QStringLiteral("\u25CF"));
    dot_->setStyleSheet(recordingDotSheet);
    dot_->setContentsMargins(fieldGapPx / 2, 0, 0, 0);
    state_ = add_label("runState");
    state_->setContentsMargins(2, 0, fieldGapPx / 2, 0);
    time_ = add_label("runTime");
    rows_ = add_label("runRows");
    rate_ = add_label("runRate");
    dropped_ = add_label("runDropped");
    gaps_ = add_label("runGaps");
    table_ = add_label("runTable");
    note_ = new ElidedLabel(bar_);
    add_label("runNote", 1, note_);
    // A long line is cut short rather than widening the window (note_ says where, the tool tip
    // has it whole). So are the gap count and the run's table name on a window at its narrowest.
    table_->setMinimumWidth(1);
    gaps_->setMinimumWidth(1);
    refresh();
}

QLabel *RunStatusBar::add_label(const char *name, int stretch, QLabel *label)
{
    if (label == nullptr)
        label = new QLabel(bar_);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setContentsMargins(fieldGapPx / 2, 0, fieldGapPx / 2, 0);
    bar_->addWidget(label, stretch);
    return label;
}

void RunStatusBar::set_connected(bool connected)
{
    connected_ = connected;
    refresh();
}

void RunStatusBar::run_started()
{
    runShown_ = true;
    rateMeter_.reset();
    rateShownMs_ = -1;
    show_note(QString(), false);
    refresh();
}

void RunStatusBar::stop_requested()
{
    refresh();
}

void RunStatusBar::run_ended(const RunReport &report)
{
    using Kind = RunReport::ProblemKind;
    refresh();
    const qint64 rows = report.committedCount;
    const qint64 samples = report.takenCount;
    QString line;
    // What the instrument or the disk did wrong shows red; a stop or an end is no problem.
    bool problem = true;
    if (report.has(Kind::Overran) && report.outcome == RunOutcome::Completed) {
        line = tr("The instrument did not end the run after its collection time; it was "
                  "stopped with %1 rows stored.")
                   .arg(rows);
    } else if (report.has(Kind::StopUnconfirmed)) {
        line = tr("Stopped without the instrument's confirmation: %1 rows stored.").arg(rows);
    } else if (report.has(Kind::PortLost)) {
        line = tr("The serial port was lost during the run: %1 rows stored.").arg(rows);
    } else if (report.has(Kind::TableLost)) {
        line = tr("Samples could not be stored (%1); the run was stopped and its table is "
                  "gone from the database.")
                   .arg(report.storageError);
    } else if (report.has(Kind::StorageFailed)) {
        line = tr("Samples could not be stored (%1); the run was stopped with %2 of %3 rows "
                  "stored.")
                   .arg(report.storageError)
                   .arg(rows)
                   .arg(samples);
    } else if (report.outcome == RunOutcome::Completed &&
               report.stopBy != RunReport::StopCause::None) {
        line = tr("Run stopped: %1 rows stored.").arg(rows);
        problem = false;
    } else if (report.outcome == RunOutcome::Completed) {
        line = tr("The run ended by itself after its collection time: %1 rows stored.").arg(rows);
        problem = false;
    } else {
        line = tr("Run ended: %1 rows stored.").arg(rows);
        problem = false;
    }
    if (report.has(Kind::RowsShort)) {
        line += QLatin1Char(' ') +
                tr("Only %1 of its %2 samples could be stored.").arg(rows).arg(samples);
        problem = true;
    }
    show_note(line, problem);
}

void RunStatusBar::show_note(const QString &text, bool problem)
{
    note_->set_full_text(text);
    note_->setStyleSheet(problem ? problemSheet : QString());
}

void RunStatusBar::refresh()
{
    const RunSession::State state = session_->state();
    const bool active = session_->is_active();
    QString stateText = connected_ ? tr("Connected") : tr("Idle");
    if (state == RunSession::State::Running)
        stateText = tr("Recording");
    else if (state == RunSession::State::Paused)
        stateText = tr("Paused");
    else if (state == RunSession::State::Stopping)
        stateText = tr("Stopping");
    state_->setText(stateText);
    dot_->setVisible(state == RunSession::State::Running);

    time_->setVisible(runShown_);
    rows_->setVisible(runShown_);
    dropped_->setVisible(runShown_);
    gaps_->setVisible(runShown_);
    table_->setVisible(runShown_);
    rate_->setVisible(active);
    if (!runShown_)
        return;
    // Against the collection time, which counts running time only: a pause does not count.
    const qint64 elapsedMs = session_->running_ms();
    time_->setText(tr("%1 / %2 s").arg(seconds_of(elapsedMs)).arg(session_->settings().seconds));
    rows_->setText(tr("%1 rows stored").arg(session_->committed_count()));
    // Once a second, as the figure covers a second: at the display's pace the label would
    // flicker between neighbouring figures and repaint the status bar in every frame.
    if (active && (rateShownMs_ < 0 || elapsedMs - rateShownMs_ >= RateMeter::windowMs)) {
        rateShownMs_ = elapsedMs;
        rate_->setText(
            tr("%1 samples/s").arg(rateMeter_.update(elapsedMs, session_->taken_count())));
    }
    const quint64 dropped = session_->dropped_count();
    dropped_->setText(tr("%1 dropped").arg(dropped));
    // Setting a style sheet restyles the label even when it is the same one: only on change.
    const QString droppedSheet = dropped > 0 ? problemSheet : QString();
    if (dropped_->styleSheet() != droppedSheet)
        dropped_->setStyleSheet(droppedSheet);
    const qsizetype gaps = session_->gaps().size();
    gaps_->setText(gaps == 0 ? tr("no gaps") : tr("gaps: %1").arg(gaps));
    table_->setText(session_->table());
}

QString RunStatusBar::text() const
{
    QStringList parts;
    for (const QLabel *label : {state_, time_, rows_, rate_, dropped_, gaps_, table_}) {
        if (!label->isHidden() && !label->text().isEmpty())
            parts.append(label->text());
    }
    if (!note_->full_text().isEmpty())
        parts.append(note_->full_text());
    return parts.join(separator);
}

QString RunStatusBar::note() const
{
    return note_->full_text();
}

QString RunStatusBar::battery_tool_tip(int level, bool rangeModule)
{
    static const char *const bands[] = {"below 25 %", "25 to 49 %", "50 to 74 %", "75 % or more"};
    const QString band = tr(bands[Battery::band_of(level) - 1]);
    const QString module = rangeModule ? tr("Range module fitted: excitation up to ±80 V")
                                       : tr("No range module: excitation up to ±10 V");
    return tr("Battery %1 % (%2)").arg(level).arg(band) + QLatin1Char('\n') + module;
}
