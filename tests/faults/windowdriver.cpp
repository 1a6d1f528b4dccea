#include "windowdriver.h"

#include "mainwindow.h"
#include "settingsstore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <chrono>

namespace {
constexpr std::chrono::milliseconds pollIntervalMs{20};
}

WindowDriver::WindowDriver(MainWindow *window, QObject *parent)
    : QObject(parent)
    , window_(window)
    , poll_(new QTimer(this))
{
    poll_->setInterval(pollIntervalMs);
    connect(poll_, &QTimer::timeout, this, &WindowDriver::answer);
    poll_->start();
}

void WindowDriver::answer()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr)
        return;
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (box == nullptr) {
        if (dialogHandler_)
            dialogHandler_(modal);
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        return;
    }
    boxes_.append(box->windowTitle() + QStringLiteral(" | ") + box->text());
    QAbstractButton *button = box->button(preferred_);
    if (button == nullptr)
        button = box->button(QMessageBox::Ok);
    if (button == nullptr)
        button = box->button(QMessageBox::Cancel);
    if (button != nullptr)
        button->click();
    else
        box->close();
}

bool WindowDriver::connect_to(const QString &port)
{
    window_->set_extra_ports({port});
    auto *ports = window_->findChild<QComboBox *>(QStringLiteral("PortComboBox"));
    ports->setCurrentIndex(ports->findText(port));
    click("connect");
    return connect_text() == QLatin1String("Disconnect");
}

void WindowDriver::choose_run(bool singleChannel, int rate, int seconds)
{
    click(singleChannel ? "SignalChannel" : "MultiChannel");
    click("radioButton_fast");
    window_->findChild<QSpinBox *>(QStringLiteral("spinBox_sampleSpeed"))->setValue(rate);
    window_->findChild<QSpinBox *>(QStringLiteral("spinBox_sampleTime"))->setValue(seconds);
}

void WindowDriver::click(const char *objectName)
{
    window_->findChild<QAbstractButton *>(QString::fromLatin1(objectName))->click();
}

QString WindowDriver::connect_text() const
{
    return window_->findChild<QPushButton *>(QStringLiteral("connect"))->text();
}

QString WindowDriver::last_table()
{
    return read_setting(QStringLiteral("last_table_name"), QString()).toString();
}
