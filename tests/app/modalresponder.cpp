#include "modalresponder.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pollIntervalMs{20};
}

ModalResponder::ModalResponder(QList<Handler> handlers, QObject *parent)
    : QObject(parent)
    , timer_(new QTimer(this))
    , handlers_(std::move(handlers))
{
    timer_->setInterval(pollIntervalMs);
    connect(timer_, &QTimer::timeout, this, &ModalResponder::poll);
    timer_->start();
}

void ModalResponder::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr)
        return;
    if (modal != last_) {
        last_ = modal;
        seen_.append(QString::fromUtf8(modal->metaObject()->className()));
        current_ = handlers_.isEmpty() ? Handler() : handlers_.takeFirst();
        if (!current_)
            ++unexpected_;
    }
    // Answered again on every tick until it closes: a file dialog may still be loading its
    // directory and ignore the first answer.
    if (current_) {
        current_(modal);
        return;
    }
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}
