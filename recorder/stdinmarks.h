#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

class QSocketNotifier;

// Reads standard input while the recorder runs and hands each line, as it arrives, to a
// callback (a script's "valve opened" becomes a mark at that moment). The end of the input
// only ends the reading. Lives in the main thread.
class StdinMarks : public QObject
{
    Q_OBJECT

public:
    // Longest text kept of a line, in characters.
    static constexpr int longestText = 200;

    explicit StdinMarks(std::function<void(const QString &)> onLine, QObject *parent = nullptr);

private:
    void read_available();
    void deliver(const QByteArray &line);

    std::function<void(const QString &)> onLine_;
    QSocketNotifier *notifier_ = nullptr;
    QByteArray pending_; // a line not ended yet
};
