#pragma once

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QStringList>

class QFileSystemWatcher;
class QTimer;

// Notices serial ports coming and going where the platform sends no device-change
// message. The system's port listing (udev) is slow, so it never runs on the GUI thread
// after construction: it runs on a worker when the device folder changes (an inotify
// notification), or about once a second where that folder cannot be watched, and the set is
// compared when the listing is back. Extra port names (pseudo-terminals, which the system
// does not list) are kept here too so they count as part of the set. Lives in the GUI thread.
class PortWatcher : public QObject
{
    Q_OBJECT

public:
    // Watches deviceFolder for nodes coming and going.
    explicit PortWatcher(QObject *parent, const QString &deviceFolder = QStringLiteral("/dev"));
    ~PortWatcher() override;

    // Starts listening for device changes (or the periodic listing).
    void start();

    void set_extra_ports(const QStringList &ports);
    QStringList extra_ports() const { return extraPorts_; }
    // The system's ports as last listed.
    QList<QSerialPortInfo> system_ports() const { return systemPorts_; }

    // Lists the ports now, on the calling thread, and compares the set with the last one
    // seen; emits ports_changed() and returns true when it differs.
    bool check();

signals:
    void ports_changed();
    // A background listing came back (whether or not the set changed).
    void listed();

private:
    void list_in_background();
    void listing_done();
    // Takes the listing as the current one; emits ports_changed() and returns true when the
    // set differs from the last one seen.
    bool compare(QList<QSerialPortInfo> ports);
    QStringList current_set() const;

    QFileSystemWatcher *deviceWatcher_ = nullptr;
    QTimer *timer_ = nullptr; // a short delay after a notification, or the periodic listing
    QFutureWatcher<QList<QSerialPortInfo>> listing_;
    bool relist_ = false; // a change came while a listing was under way
    QStringList extraPorts_;
    QList<QSerialPortInfo> systemPorts_;
    QStringList knownSet_;
};
