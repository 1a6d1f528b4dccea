#include "mirrorsettingsdialog.h"

#include "mirrorchoice.h"
#include "mirrortarget.h"
#include "passwordstore.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString problemSheet = QStringLiteral("color: rgb(200, 0, 0);");
} // namespace

MirrorSettingsDialog::MirrorSettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("mirrorSettingsDialog"));
    setWindowTitle(tr("Mirror Settings"));
    const MirrorChoice choice = MirrorChoice::load();

    enabled_ = new QCheckBox(tr("Mirror runs to a PostgreSQL server"), this);
    enabled_->setObjectName(QStringLiteral("mirrorEnabled"));
    enabled_->setChecked(choice.enabled);

    uri_ = new QLineEdit(choice.uri, this);
    uri_->setObjectName(QStringLiteral("mirrorUri"));
    uri_->setPlaceholderText(QStringLiteral("postgresql://user@host:5432/telvane"));
    uri_->setToolTip(tr("A libpq connection URI, without a password"));

    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("mirrorPassword"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(tr("unchanged"));
    password_->setToolTip(tr("Kept in the desktop's secret store, never in config.ini"));

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("mirrorProblem"));
    problem_->setStyleSheet(problemSheet);
    problem_->setWordWrap(true);
    problem_->hide();
    storeNote_ = new QLabel(this);
    storeNote_->setObjectName(QStringLiteral("secretStoreNote"));
    storeNote_->setWordWrap(true);
    storeNote_->hide();

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QObject::connect(buttons_, &QDialogButtonBox::accepted, this, &MirrorSettingsDialog::accept);
    QObject::connect(buttons_, &QDialogButtonBox::rejected, this, &MirrorSettingsDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(tr("Server:"), uri_);
    form->addRow(tr("Password:"), password_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(enabled_);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(storeNote_);
    layout->addWidget(buttons_);
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);

    probe_store();
}

QString MirrorSettingsDialog::no_store_text()
{
    return tr("No secret store is running: the password is taken from ~/.pgpass or PGPASSWORD.");
}

void MirrorSettingsDialog::probe_store()
{
    // Any key will do for the question whether a store runs.
    PasswordStore::read(QStringLiteral("probe"), this,
                        [this](PasswordStore::Answer answer, const QString &, const QString &) {
                            if (answer == PasswordStore::Answer::NoStore)
                                show_no_store();
                        });
}

void MirrorSettingsDialog::show_problem(const QString &text)
{
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

void MirrorSettingsDialog::show_no_store()
{
    storeNote_->setText(no_store_text());
    storeNote_->show();
}

void MirrorSettingsDialog::set_busy(bool busy)
{
    buttons_->setEnabled(!busy);
    enabled_->setEnabled(!busy);
    uri_->setReadOnly(busy);
}

void MirrorSettingsDialog::accept()
{
    const QString uri = uri_->text().trimmed();
    if (uri.isEmpty()) {
        if (enabled_->isChecked()) {
            show_problem(tr("A server URI is needed to mirror runs."));
            return;
        }
        show_problem(QString());
        keep_and_close();
        return;
    }
    if (MirrorTarget::holds_password(uri)) {
        // Nothing of it is kept: config.ini never holds a password.
        uri_->clear();
        show_problem(tr("The server URI must not carry a password: type it in the Password "
                        "field, or give it in ~/.pgpass or PGPASSWORD."));
        return;
    }
    const Result<MirrorTarget> target = MirrorTarget::parse(uri, tr("The server URI"));
    if (!target.ok()) {
        show_problem(target.status().message());
        return;
    }
    show_problem(QString());
    const QString password = password_->text();
    if (password.isEmpty()) {
        keep_and_close();
        return;
    }
    set_busy(true);
    PasswordStore::write(
        PasswordStore::server_key(target.value()), password, this,
        [this](PasswordStore::Answer answer, const QString &, const QString &problem) {
            set_busy(false);
            password_->clear();
            switch (answer) {
            case PasswordStore::Answer::Done:
                keep_and_close();
                return;
            case PasswordStore::Answer::NoStore:
                // Nothing is kept: the operator reads where the password comes from instead and
                // presses OK again.
                show_no_store();
                return;
            default:
                show_problem(tr("The secret store did not keep the password: %1").arg(problem));
                return;
            }
        });
}

void MirrorSettingsDialog::keep_and_close()
{
    MirrorChoice choice;
    choice.enabled = enabled_->isChecked();
    choice.uri = uri_->text().trimmed();
    choice.save();
    QDialog::accept();
}
