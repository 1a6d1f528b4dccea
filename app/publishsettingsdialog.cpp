#include "publishsettingsdialog.h"

#include "brokeraddress.h"
#include "brokersettings.h"
#include "passwordstore.h"
#include "publishchoice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString problemSheet = QStringLiteral("color: rgb(200, 0, 0);");
} // namespace

PublishSettingsDialog::PublishSettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("publishSettingsDialog"));
    setWindowTitle(tr("Publish Settings"));
    const PublishChoice choice = PublishChoice::load();

    enabled_ = new QCheckBox(tr("Publish runs to a broker"), this);
    enabled_->setObjectName(QStringLiteral("publishEnabled"));
    enabled_->setChecked(choice.enabled);

    url_ = new QLineEdit(choice.url, this);
    url_->setObjectName(QStringLiteral("publishUrl"));
    url_->setPlaceholderText(QStringLiteral("mqtt://user@host:1883/station"));
    url_->setToolTip(tr("mqtt[s]://[USER@]HOST[:PORT]/PREFIX: the runs appear under PREFIX"));

    ca_ = new QLineEdit(choice.caFile, this);
    ca_->setObjectName(QStringLiteral("publishCa"));
    ca_->setPlaceholderText(tr("mqtts only: the certificate authority to trust"));
    browseCa_ = new QPushButton(tr("Browse…"), this);
    browseCa_->setObjectName(QStringLiteral("publishCaBrowse"));
    QObject::connect(browseCa_, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, tr("CA File"), ca_->text(), tr("Certificates (*.pem *.crt);;All Files (*)"));
        if (!file.isEmpty())
            ca_->setText(file);
    });
    auto *caRow = new QHBoxLayout;
    caRow->addWidget(ca_, 1);
    caRow->addWidget(browseCa_);

    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("publishPassword"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(tr("unchanged"));
    password_->setToolTip(tr("Kept in the desktop's secret store, never in config.ini"));

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("publishProblem"));
    problem_->setStyleSheet(problemSheet);
    problem_->setWordWrap(true);
    problem_->hide();
    storeNote_ = new QLabel(this);
    storeNote_->setObjectName(QStringLiteral("secretStoreNote"));
    storeNote_->setWordWrap(true);
    storeNote_->hide();

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QObject::connect(buttons_, &QDialogButtonBox::accepted, this, &PublishSettingsDialog::accept);
    QObject::connect(buttons_, &QDialogButtonBox::rejected, this, &PublishSettingsDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(tr("Broker:"), url_);
    form->addRow(tr("CA file:"), caRow);
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

QString PublishSettingsDialog::no_store_text()
{
    return tr("No secret store is running: the password is taken from TELVANE_MQTT_PASSWORD or a "
              "password file.");
}

void PublishSettingsDialog::probe_store()
{
    // Any address will do for the question whether a store runs.
    BrokerAddress address;
    if (auto parsed = BrokerAddress::parse(url_->text().trimmed()); parsed.ok())
        address = parsed.value();
    PasswordStore::read(PasswordStore::broker_key(address), this,
                        [this](PasswordStore::Answer answer, const QString &, const QString &) {
                            if (answer == PasswordStore::Answer::NoStore)
                                show_no_store();
                        });
}

void PublishSettingsDialog::show_problem(const QString &text)
{
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

void PublishSettingsDialog::show_no_store()
{
    storeNote_->setText(no_store_text());
    storeNote_->show();
}

void PublishSettingsDialog::set_busy(bool busy)
{
    buttons_->setEnabled(!busy);
    enabled_->setEnabled(!busy);
    url_->setReadOnly(busy);
    ca_->setReadOnly(busy);
    browseCa_->setEnabled(!busy);
}

void PublishSettingsDialog::accept()
{
    const QString url = url_->text().trimmed();
    if (url.isEmpty()) {
        if (enabled_->isChecked()) {
            show_problem(tr("A broker address is needed to publish runs."));
            return;
        }
        show_problem(QString());
        keep_and_close();
        return;
    }
    const Result<BrokerAddress> parsed = BrokerAddress::parse(url);
    if (!parsed.ok()) {
        show_problem(tr("The broker address is not usable: %1").arg(parsed.status().message()));
        return;
    }
    BrokerSettings settings;
    settings.address = parsed.value();
    settings.caFile = ca_->text().trimmed();
    if (const Status files = settings.check_files(); !files.ok()) {
        show_problem(tr("The CA file is not usable: %1").arg(files.message()));
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
        PasswordStore::broker_key(settings.address), password, this,
        [this](PasswordStore::Answer answer, const QString &, const QString &problem) {
            set_busy(false);
            switch (answer) {
            case PasswordStore::Answer::Done:
                keep_and_close();
                return;
            case PasswordStore::Answer::NoStore:
                // Nothing is kept: the operator reads where the password comes from instead and
                // presses OK again.
                password_->clear();
                show_no_store();
                return;
            default:
                password_->clear();
                show_problem(tr("The secret store did not keep the password: %1").arg(problem));
                return;
            }
        });
}

void PublishSettingsDialog::keep_and_close()
{
    PublishChoice choice = PublishChoice::load();
    choice.enabled = enabled_->isChecked();
    choice.url = url_->text().trimmed();
    choice.caFile = ca_->text().trimmed();
    choice.save();
    QDialog::accept();
}
