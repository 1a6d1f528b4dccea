#pragma once

#include "modalresponder.h"

#include <QList>
#include <QMessageBox>
#include <QString>

// What an operator saw in a message box before pressing its one button.
struct MessageSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool parentIsWindow = false;
};

// Answers a message box with Ok and records it in seen; a dialog of another kind is recorded
// with its title only and closed.
ModalResponder::Handler answerOk(QList<MessageSeen> *seen);
