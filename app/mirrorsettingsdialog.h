#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

// Where the window mirrors its runs: on or off, the server's connection URI and its password.
// The URI is checked (one carrying a password is refused) before anything is kept; it goes
// to config.ini (MirrorChoice), the password to the desktop's secret store only. Closes by
// itself once all is kept; accepted() tells the owner to take the new settings.
class MirrorSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MirrorSettingsDialog(QWidget *parent);

    // The line shown where no secret store runs.
    static QString no_store_text();

    // Checks the entries, keeps the password (when one was typed) and then the rest; stays
    // open, saying why, when the URI is refused or the password could not be kept.
    void accept() override;

private:
    // Asks the store for a password, to tell the operator at once when no store runs (a
    // password typed would not be kept).
    void probe_store();
    void show_problem(const QString &text);
    void show_no_store();
    void set_busy(bool busy);
    // Writes what config.ini keeps and closes.
    void keep_and_close();

    QCheckBox *enabled_ = nullptr;
    QLineEdit *uri_ = nullptr;
    QLineEdit *password_ = nullptr;
    QLabel *problem_ = nullptr;   // why the entries were refused
    QLabel *storeNote_ = nullptr; // where passwords come from when no secret store runs
    QDialogButtonBox *buttons_ = nullptr;
};
