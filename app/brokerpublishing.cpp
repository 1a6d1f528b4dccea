#include "brokerpublishing.h"

#include "forwardingsink.h"
#include "logmanager.h"
#include "mqttpublisher.h"
#include "passwordstore.h"
#include "publishchoice.h"
#include "publishsettingsdialog.h"
#include "runsession.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {
constexpr int refreshIntervalMs = 1000;
const QString problemSheet = QStringLiteral("color: rgb(200, 0, 0);");
} // namespace

BrokerPublishing::BrokerPublishing(QWidget *window, QStatusBar *bar, RunSession *session,
                                   QString databaseFile)
    : QObject(window)
    , window_(window)
    , session_(session)
    , databaseFile_(std::move(databaseFile))
    , sink_(std::make_unique<ForwardingSink>(QStringLiteral("MQTT publisher")))
{
    session->add_sink(sink_.get());
    QObject::connect(session, &RunSession::finished, this, &BrokerPublishing::apply_when_free);

    settingsAction_ = new QAction(tr("Publish Settings…"), this);
    settingsAction_->setObjectName(QStringLiteral("actionPublishSettings"));
    settingsAction_->setToolTip(tr("Publish the runs recorded here to an MQTT broker"));
    QObject::connect(settingsAction_, &QAction::triggered, this, &BrokerPublishing::open_dialog);

    label_ = new QLabel(bar);
    label_->setObjectName(QStringLiteral("mqttState"));
    label_->setContentsMargins(8, 0, 8, 0);
    label_->hide();
    bar->addPermanentWidget(label_);

    timer_ = new QTimer(this);
    timer_->setInterval(refreshIntervalMs);
    QObject::connect(timer_, &QTimer::timeout, this, &BrokerPublishing::refresh);
    timer_->start();

    apply_settings();
}

BrokerPublishing::~BrokerPublishing()
{
    // The session is gone: nothing calls the sink any more. The publisher says "offline".
    sink_->set_target(nullptr);
    publisher_.reset();
}

void BrokerPublishing::open_dialog()
{
    auto *dialog = new PublishSettingsDialog(window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, this, &BrokerPublishing::apply_settings);
    dialog->open();
}

void BrokerPublishing::apply_settings()
{
    applyPending_ = true;
    apply_when_free();
}

void BrokerPublishing::apply_when_free()
{
    if (!applyPending_ || session_->is_active())
        return;
    if (publisher_ != nullptr) {
        // What it owes a broker it can reach is handed on first.
        if (publisher_->link() == MqttPublisher::Link::Online && publisher_->backlog_rows() > 0)
            return;
        if (!sink_->release(publisher_.get()))
            return; // the follower is still handing it the last run
        // Says "offline" (a moment at most) before a successor says "online".
        publisher_.reset();
    }
    applyPending_ = false;
    ++generation_;
    const PublishChoice choice = PublishChoice::load();
    enabled_ = choice.enabled;
    problem_.clear();
    if (enabled_) {
        BrokerSettings settings;
        const Result<BrokerAddress> address = BrokerAddress::parse(choice.url);
        if (address.ok()) {
            settings.address = address.value();
            settings.caFile = choice.caFile;
            if (const Status files = settings.check_files(); !files.ok())
                problem_ = files.message();
        } else {
            problem_ = address.status().message();
        }
        if (!problem_.isEmpty()) {
            write_log(QStringLiteral("Not publishing runs: %1").arg(problem_));
        } else {
            // The secret store's password, else the environment's or the password file's.
            const quint64 generation = generation_;
            const QString passwordFile = choice.passwordFile;
            PasswordStore::read(
                PasswordStore::broker_key(settings.address), this,
                [this, generation, settings, passwordFile](PasswordStore::Answer answer,
                                                           const QString &password,
                                                           const QString &) mutable {
                    if (generation != generation_)
                        return;
                    if (answer == PasswordStore::Answer::Done) {
                        settings.password = password;
                    } else {
                        const auto fallback = BrokerSettings::read_password(passwordFile);
                        if (!fallback.ok()) {
                            problem_ = fallback.status().message();
                            write_log(QStringLiteral("Not publishing runs: %1").arg(problem_));
                            refresh();
                            return;
                        }
                        settings.password = fallback.value();
                    }
                    start_publisher(settings);
                });
        }
    }
    refresh();
}

void BrokerPublishing::start_publisher(const BrokerSettings &settings)
{
    publisher_ = std::make_unique<MqttPublisher>(settings, databaseFile_);
    sink_->set_target(publisher_.get());
    write_log(QStringLiteral("Publishing runs to %1").arg(settings.address.shown()));
    refresh();
}

QString BrokerPublishing::status_text() const
{
    if (!enabled_)
        return QString();
    if (publisher_ == nullptr)
        return problem_.isEmpty() ? tr("MQTT: connecting") : tr("MQTT: not publishing");
    const qint64 behind = publisher_->backlog_rows();
    switch (publisher_->link()) {
    case MqttPublisher::Link::Online:
        return tr("MQTT: %1 behind").arg(behind);
    case MqttPublisher::Link::Offline:
        return tr("MQTT: offline, %1 behind").arg(behind);
    case MqttPublisher::Link::Connecting:
        break;
    }
    return tr("MQTT: connecting, %1 behind").arg(behind);
}

void BrokerPublishing::refresh()
{
    apply_when_free();
    if (label_ == nullptr)
        return;
    const QString text = status_text();
    label_->setVisible(!text.isEmpty());
    label_->setText(text);
    const QString problem = publisher_ != nullptr ? publisher_->last_problem() : problem_;
    label_->setToolTip(problem);
    const bool troubled =
        !problem_.isEmpty() ||
        (publisher_ != nullptr && publisher_->link() == MqttPublisher::Link::Offline);
    label_->setStyleSheet(troubled ? problemSheet : QString());
}
