#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class ForwardingSink;
class MqttPublisher;
class QAction;
class QLabel;
class QStatusBar;
class QTimer;
class QWidget;
class RunSession;
struct BrokerSettings;

// Publishes the window's runs to a broker while the operator has it on (PublishChoice): the
// MqttPublisher of the current settings behind the window's one ForwardingSink, the
// "Publish Settings…" action and its dialog, and the broker's line in the status bar. New
// settings are taken between runs: during a run (and until its last rows were handed on) the
// publisher that began it stays, so a run is never split between two brokers, and the one it
// replaces has said "offline" before the new one says "online". GUI thread only; the session
// must go before this.
class BrokerPublishing : public QObject
{
    Q_OBJECT

public:
    // Adds its sink to session; the publisher reads the rows from databaseFile.
    BrokerPublishing(QWidget *window, QStatusBar *bar, RunSession *session, QString databaseFile);
    ~BrokerPublishing() override;
    BrokerPublishing(const BrokerPublishing &) = delete;
    BrokerPublishing &operator=(const BrokerPublishing &) = delete;

    // Opens the settings dialog; for the menu of the Open Run button.
    QAction *settings_action() const { return settingsAction_; }
    // The publisher of the current settings; null while publishing is off, its address
    // unusable, or its password still being looked up.
    MqttPublisher *publisher() const { return publisher_.get(); }
    // The status bar's line: empty while publishing is off.
    QString status_text() const;

    // Takes the settings config.ini holds now: at once between runs, else when the run is over.
    void apply_settings();

private:
    void open_dialog();
    // Applies the settings asked for when no run needs the publisher any more; tried again on
    // the refresh and at the end of a run until it could.
    void apply_when_free();
    void start_publisher(const BrokerSettings &settings);
    // The status bar's line; every second.
    void refresh();

    QWidget *const window_;
    const RunSession *const session_;
    const QString databaseFile_;
    std::unique_ptr<ForwardingSink> sink_; // in the session for good
    std::unique_ptr<MqttPublisher> publisher_;
    bool applyPending_ = false; // new settings wait for the run to be over
    QAction *settingsAction_ = nullptr;
    QPointer<QLabel> label_; // the status bar's child: it may go first as the window closes
    QTimer *timer_ = nullptr;
    bool enabled_ = false;
    QString problem_; // why the settings cannot be published with; empty when they can
    // Counts apply_settings calls: a password answer for earlier settings is dropped.
    quint64 generation_ = 0;
};
