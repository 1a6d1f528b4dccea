#pragma once

#include "modalresponder.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

// Handlers for ModalResponder that answer the window's export and save dialogs the way an
// operator would, and remember what the dialog looked like.

// The "Export Option" dialog as it was found.
struct ExportOptionsSeen
{
    QString title;
    QStringList boxes;        // check box texts, in layout order
    QList<bool> initialState; // their checked state when the dialog appeared
    QStringList buttons;      // push button texts, in layout order
    int width = 0;            // of the dialog as shown
    bool answered = false;
};

// Ticks the two export boxes as asked and presses "Confirm", or "Cancel" when confirm is
// false.
ModalResponder::Handler answerExportOptions(bool csv, bool picture, bool confirm = true,
                                            ExportOptionsSeen *seen = nullptr);

// A save-file dialog as it was found.
struct SaveDialogSeen
{
    QString title;
    QString directory; // canonical path of the directory it opened in
    QStringList filters;
    QString proposedName; // the file name it offered
    bool save = false;
};

// Types path (absolute) into the save-file dialog and accepts it; an empty path cancels.
ModalResponder::Handler answerSaveDialog(const QString &path, SaveDialogSeen *seen = nullptr);

// Looks at the file dialog's folder the way its views show it, every column of every entry
// with its icon, once the listing holds file (entries the name filter hides are listed
// greyed for this, as some platforms do); then answers with answer. listed tells whether
// file was seen before a long time-out.
ModalResponder::Handler lookAtListingThen(const QString &file, ModalResponder::Handler answer,
                                          bool *listed);

// A message box as it was found.
struct MessageBoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString parentTitle;
    bool parentVisible = false;
};

// Records the box and presses button.
ModalResponder::Handler answerMessageBox(MessageBoxSeen *seen,
                                         QMessageBox::StandardButton button = QMessageBox::Ok);

// Answers every message box with Ok and appends it to seen, once per box however often the
// responder calls; a dialog of another kind is appended with its title only and closed.
ModalResponder::Handler answerOk(QList<MessageBoxSeen> *seen);

// Leaves the busy dialog for the job behind it to close, noting each line it showed.
ModalResponder::Handler noteBusyDialogLines(QStringList *lines);
