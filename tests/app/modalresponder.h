#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QTimer;
class QWidget;

// Answers the modal dialogs the code under test opens inside its own nested event loop,
// one handler per dialog in the order they appear; a handler is called again while its
// dialog stays open. A dialog beyond the handlers is rejected and recorded, so an
// unexpected prompt fails the test instead of hanging it.
class ModalResponder : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QWidget *dialog)>;

    explicit ModalResponder(QList<Handler> handlers, QObject *parent = nullptr);

    // Class names of every modal dialog seen, expected or not.
    QStringList seen() const { return seen_; }
    int unexpected() const { return unexpected_; }

private:
    void poll();

    QTimer *timer_ = nullptr;
    QList<Handler> handlers_;
    QPointer<QWidget> last_;
    Handler current_;
    QStringList seen_;
    int unexpected_ = 0;
};
