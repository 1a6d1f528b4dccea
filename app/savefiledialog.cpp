#include "savefiledialog.h"

#include <QAbstractFileIconProvider>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>

namespace {

// Icons and type names from what a directory listing already knows about an entry; the
// base class would read each file's first bytes to guess its type.
class NameOnlyIconProvider : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }

    QIcon icon(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return icon(Drive);
        return icon(info.isDir() ? Folder : File);
    }

    // The texts of Qt's own provider where it cannot tell types apart, so they are translated
    // like the rest of the dialog.
    QString type(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return translated("Drive");
        if (info.isDir())
            return translated("Folder");
        if (info.suffix().isEmpty())
            return translated("File");
        return translated("%1 File").arg(info.suffix());
    }

private:
    static QString translated(const char *text)
    {
        return QCoreApplication::translate("QAbstractFileIconProvider", text);
    }
};

} // namespace

namespace {
QString ask_file_name(QWidget *parent, const QString &caption, const QString &directory,
                      const QString &filter, const QString &proposedName,
                      QFileDialog::AcceptMode mode)
{
    // Declared first, so it outlives the dialog and its file system model.
    NameOnlyIconProvider icons;
    QFileDialog dialog(parent, caption, directory, filter);
    // Set before the dialog runs: its listing asks for icons and types only once it is shown.
    dialog.setIconProvider(&icons);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setAcceptMode(mode);
    if (!proposedName.isEmpty())
        dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}
} // namespace

QString ask_save_file_name(QWidget *parent, const QString &caption, const QString &directory,
                           const QString &filter, const QString &proposedName)
{
    return ask_file_name(parent, caption, directory, filter, proposedName, QFileDialog::AcceptSave);
}

QString ask_open_file_name(QWidget *parent, const QString &caption, const QString &directory,
                           const QString &filter)
{
    return ask_file_name(parent, caption, directory, filter, QString(), QFileDialog::AcceptOpen);
}
