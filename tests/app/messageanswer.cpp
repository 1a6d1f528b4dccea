#include "messageanswer.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QPointer>

#include <memory>

ModalResponder::Handler answerOk(QList<MessageSeen> *seen)
{
    // The responder calls again while the box stays open; it is recorded once.
    auto recorded = std::make_shared<QPointer<QMessageBox>>();
    return [seen, recorded](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box == nullptr) {
            // Recorded by its title alone, so an unexpected dialog still shows.
            seen->append(MessageSeen{dialog->windowTitle(), QString(), QMessageBox::NoIcon,
                                     QMessageBox::NoButton, false});
            dialog->close();
            return;
        }
        if (*recorded != box) {
            *recorded = box;
            MessageSeen message;
            message.title = box->windowTitle();
            message.text = box->text();
            message.icon = box->icon();
            message.buttons = box->standardButtons();
            message.parentIsWindow = qobject_cast<QMainWindow *>(box->parentWidget()) != nullptr;
            seen->append(message);
        }
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
    };
}
