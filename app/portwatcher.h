#pragma once

#include <QObject>
#include <QStringList>

class QTimer;

// Notices serial ports coming and going where the platform sends no device-change
// message: it compares the available ports about once a second and reports when the
// set differs. Extra port names (pseudo-terminals, which the system does not list) are
// kept here too so they count as part of the set. Lives in the GUI thread.
class PortWatcher : public QObject
{
    Q_OBJECT

public:
    explicit PortWatcher(QObject *parent);

    // Starts the periodic comparison.
    void start();

    void set_extra_ports(const QStringList &ports);
    QStringList extra_ports() const { return extra_ports_; }

    // Compares the current set with the last one seen; emits ports_changed() and
    // returns true when it differs.
    bool check();

signals:
    void ports_changed();

private:
    QStringList current_set() const;

    QTimer *timer_ = nullptr;
    QStringList extra_ports_;
    QStringList known_set_;
};
