#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

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
// settings take effect from the next run; a publisher they replace goes once its last run
// has ended for it. GUI thread only; the session must go before this.
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

    // Takes the settings config.ini holds now.
    void apply_settings();

private:
    void open_dialog();
    void start_publisher(const BrokerSettings &settings);
    // The status bar's line and the release of publishers no run uses any more; every second.
    void refresh();

    QWidget *const window_;
    const QString databaseFile_;
    std::unique_ptr<ForwardingSink> sink_; // in the session for good
    std::unique_ptr<MqttPublisher> publisher_;
    // Replaced publishers the sink may still feed (the run begun with them).
    std::vector<std::unique_ptr<MqttPublisher>> retired_;
    QAction *settingsAction_ = nullptr;
    QPointer<QLabel> label_; // the status bar's child: it may go first as the window closes
    QTimer *timer_ = nullptr;
    bool enabled_ = false;
    QString problem_; // why the settings cannot be published with; empty when they can
    // Counts apply_settings calls: a password answer for earlier settings is dropped.
    quint64 generation_ = 0;
};
