#include "servermirroring.h"

#include "forwardingsink.h"
#include "logmanager.h"
#include "mirrorchoice.h"
#include "mirrorsettingsdialog.h"
#include "mirrortarget.h"
#include "passwordstore.h"
#include "runsession.h"
#include "servercheck.h"

#include <QAction>
#include <QFutureWatcher>
#include <QLabel>
#include <QStatusBar>
#include <QSysInfo>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {
constexpr int refreshIntervalMs = 1000;
constexpr int checkSeconds = 10;
const QString problemSheet = QStringLiteral("color: rgb(200, 0, 0);");
} // namespace

ServerMirroring::ServerMirroring(QWidget *window, QStatusBar *bar, RunSession *session,
                                 QString databaseFile)
    : QObject(window)
    , window_(window)
    , session_(session)
    , databaseFile_(std::move(databaseFile))
    , sink_(std::make_unique<ForwardingSink>(QStringLiteral("PostgreSQL mirror")))
{
    session->add_sink(sink_.get());
    QObject::connect(session, &RunSession::finished, this, &ServerMirroring::apply_when_free);

    settingsAction_ = new QAction(tr("Mirror Settings…"), this);
    settingsAction_->setObjectName(QStringLiteral("actionMirrorSettings"));
    settingsAction_->setToolTip(tr("Mirror the runs recorded here to a PostgreSQL server"));
    QObject::connect(settingsAction_, &QAction::triggered, this, &ServerMirroring::open_dialog);

    label_ = new QLabel(bar);
    label_->setObjectName(QStringLiteral("serverState"));
    label_->setContentsMargins(8, 0, 8, 0);
    label_->hide();
    bar->addPermanentWidget(label_);

    timer_ = new QTimer(this);
    timer_->setInterval(refreshIntervalMs);
    QObject::connect(timer_, &QTimer::timeout, this, &ServerMirroring::refresh);
    timer_->start();

    apply_settings();
}

ServerMirroring::~ServerMirroring()
{
    // The session is gone: nothing calls the sink any more. What the server lacks stays in the
    // run table.
    sink_->set_target(nullptr);
    mirror_.reset();
}

void ServerMirroring::open_dialog()
{
    auto *dialog = new MirrorSettingsDialog(window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, this, &ServerMirroring::apply_settings);
    dialog->open();
}

void ServerMirroring::apply_settings()
{
    applyPending_ = true;
    apply_when_free();
}

void ServerMirroring::apply_when_free()
{
    if (!applyPending_ || session_->is_active())
        return;
    if (mirror_ != nullptr) {
        // What it owes a server it can reach is handed on first.
        if (mirror_->link() == RunMirror::Link::Online && mirror_->backlog_rows() > 0)
            return;
        if (!sink_->release(mirror_.get()))
            return; // the follower is still handing it the last run
        mirror_.reset();
    }
    applyPending_ = false;
    ++generation_;
    checked_.reset();
    const MirrorChoice choice = MirrorChoice::load();
    enabled_ = choice.enabled;
    problem_.clear();
    if (enabled_) {
        const Result<MirrorTarget> target = MirrorTarget::parse(choice.uri, tr("The server URI"));
        if (!target.ok()) {
            problem_ = target.status().message();
            write_log(QStringLiteral("Not mirroring runs: %1").arg(problem_));
        } else {
            // The secret store's password, else the one libpq finds in its own places.
            const quint64 generation = generation_;
            PasswordStore::read(
                PasswordStore::server_key(target.value()), this,
                [this, generation, target = target.value()](
                    PasswordStore::Answer answer, const QString &password, const QString &) {
                    if (generation != generation_)
                        return;
                    start_mirror(answer == PasswordStore::Answer::Done
                                     ? target.with_password(password)
                                     : target);
                });
        }
    }
    refresh();
}

void ServerMirroring::start_mirror(const MirrorTarget &target)
{
    mirror_ = std::make_unique<RunMirror>(target, databaseFile_, QSysInfo::machineHostName());
    sink_->set_target(mirror_.get());
    write_log(QStringLiteral("Mirroring runs to %1").arg(target.shown()));
    check(target);
    refresh();
}

void ServerMirroring::check(const MirrorTarget &target)
{
    auto *watcher = new QFutureWatcher<Status>(this);
    const quint64 generation = generation_;
    QObject::connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != generation_)
            return;
        checked_ = watcher->result();
        if (!checked_->ok())
            write_log(
                QStringLiteral("The mirror's server does not answer: %1").arg(checked_->message()));
        refresh();
    });
    // The thread keeps its own copy of the target: it may outlive this.
    watcher->setFuture(QtConcurrent::run([target] { return check_server(target, checkSeconds); }));
}

RunMirror::Link ServerMirroring::shown_link() const
{
    const RunMirror::Link link = mirror_->link();
    if (link != RunMirror::Link::Connecting || !checked_)
        return link;
    return checked_->ok() ? RunMirror::Link::Online : RunMirror::Link::Offline;
}

QString ServerMirroring::status_text() const
{
    if (!enabled_)
        return QString();
    if (mirror_ == nullptr)
        return problem_.isEmpty() ? tr("Server: connecting") : tr("Server: not mirroring");
    const qint64 behind = mirror_->backlog_rows();
    switch (shown_link()) {
    case RunMirror::Link::Online:
        return tr("Server: %1 behind").arg(behind);
    case RunMirror::Link::Offline:
        return tr("Server: offline, %1 behind").arg(behind);
    case RunMirror::Link::Connecting:
        break;
    }
    return tr("Server: connecting, %1 behind").arg(behind);
}

void ServerMirroring::refresh()
{
    apply_when_free();
    if (label_ == nullptr)
        return;
    const QString text = status_text();
    label_->setVisible(!text.isEmpty());
    label_->setText(text);
    QString problem = problem_;
    if (mirror_ != nullptr) {
        problem = mirror_->last_problem();
        // Before the mirror's first connection, what the check heard.
        if (problem.isEmpty() && checked_ && mirror_->link() == RunMirror::Link::Connecting)
            problem = checked_->message();
    }
    label_->setToolTip(problem);
    const bool troubled =
        !problem_.isEmpty() || (mirror_ != nullptr && shown_link() == RunMirror::Link::Offline);
    label_->setStyleSheet(troubled ? problemSheet : QString());
}
