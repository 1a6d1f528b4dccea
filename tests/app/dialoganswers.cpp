#include "dialoganswers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>

ModalResponder::Handler answerExportOptions(bool csv, bool picture, bool confirm,
                                            ExportOptionsSeen *seen)
{
    return [csv, picture, confirm, seen](QWidget *dialog) {
        auto *options = qobject_cast<QDialog *>(dialog);
        const QList<QCheckBox *> boxes = dialog->findChildren<QCheckBox *>();
        const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
        if (options == nullptr || boxes.size() != 2 || buttons.size() != 2) {
            dialog->close();
            return;
        }
        if (seen != nullptr) {
            seen->title = dialog->windowTitle();
            for (QCheckBox *box : boxes) {
                seen->boxes.append(box->text());
                seen->initialState.append(box->isChecked());
            }
            for (QPushButton *button : buttons)
                seen->buttons.append(button->text());
            seen->width = dialog->width();
            seen->answered = true;
        }
        // Clicked like an operator would, so the boxes' own signals run.
        if (boxes.at(0)->isChecked() != csv)
            boxes.at(0)->click();
        if (boxes.at(1)->isChecked() != picture)
            boxes.at(1)->click();
        buttons.at(confirm ? 0 : 1)->click();
    };
}

ModalResponder::Handler answerSaveDialog(const QString &path, SaveDialogSeen *seen)
{
    return [path, seen](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        if (files == nullptr) {
            dialog->close();
            return;
        }
        auto *name = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (seen != nullptr) {
            seen->title = files->windowTitle();
            seen->directory = files->directory().canonicalPath();
            seen->filters = files->nameFilters();
            seen->proposedName = name != nullptr ? name->text() : QString();
            seen->save = files->acceptMode() == QFileDialog::AcceptSave;
        }
        if (path.isEmpty() || name == nullptr) {
            files->reject();
            return;
        }
        name->setText(path);
        // QFileDialog hides accept(); through the base it still runs the dialog's own.
        static_cast<QDialog *>(files)->accept();
    };
}

ModalResponder::Handler lookAtListingThen(const QString &file, ModalResponder::Handler answer,
                                          bool *listed)
{
    // Only a bound for giving up: the listing normally comes within milliseconds.
    constexpr qint64 giveUpMs = 30000;
    auto since = std::make_shared<QElapsedTimer>();
    const QString path = QFileInfo(file).absoluteFilePath();
    return [path, answer, listed, since](QWidget *dialog) {
        auto *model = dialog->findChild<QFileSystemModel *>();
        if (!since->isValid()) {
            since->start();
            if (model != nullptr)
                model->setNameFilterDisables(true);
        }
        const QModelIndex entry = model != nullptr ? model->index(path) : QModelIndex();
        *listed = entry.isValid();
        if (!*listed && since->elapsed() < giveUpMs)
            return;
        if (*listed) {
            const QModelIndex folder = entry.parent();
            for (int row = 0; row < model->rowCount(folder); ++row) {
                for (int column = 0; column < model->columnCount(folder); ++column) {
                    const QModelIndex cell = model->index(row, column, folder);
                    cell.data(Qt::DisplayRole);
                    cell.data(Qt::DecorationRole);
                }
            }
        }
        answer(dialog);
    };
}

namespace {
MessageBoxSeen describe(const QMessageBox *box)
{
    MessageBoxSeen seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    if (QPushButton *button = box->defaultButton())
        seen.defaultButton = box->standardButton(button);
    if (QWidget *parent = box->parentWidget()) {
        seen.parentTitle = parent->windowTitle();
        seen.parentVisible = parent->isVisible();
    }
    return seen;
}
} // namespace

ModalResponder::Handler answerMessageBox(MessageBoxSeen *seen, QMessageBox::StandardButton button)
{
    return [seen, button](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box == nullptr || box->button(button) == nullptr) {
            dialog->close();
            return;
        }
        *seen = describe(box);
        box->button(button)->click();
    };
}

ModalResponder::Handler answerOk(QList<MessageBoxSeen> *seen)
{
    auto recorded = std::make_shared<QPointer<QMessageBox>>();
    return [seen, recorded](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box == nullptr) {
            // Recorded by its title alone, so an unexpected dialog still shows.
            MessageBoxSeen other;
            other.title = dialog->windowTitle();
            seen->append(other);
            dialog->close();
            return;
        }
        if (*recorded != box) {
            *recorded = box;
            seen->append(describe(box));
        }
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
    };
}

ModalResponder::Handler noteBusyDialogLines(QStringList *lines)
{
    return [lines](QWidget *dialog) {
        const auto *label = dialog->findChild<QLabel *>();
        if (label != nullptr && (lines->isEmpty() || lines->last() != label->text()))
            lines->append(label->text());
    };
}
