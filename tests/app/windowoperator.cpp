#include "windowoperator.h"

#include "mainwindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

WindowOperator::WindowOperator(MainWindow *window)
    : window_(window)
{}

QAbstractButton *WindowOperator::button(const char *name) const
{
    return window_->findChild<QAbstractButton *>(QLatin1String(name));
}

QList<MessageBoxSeen> WindowOperator::click(const char *name)
{
    QList<MessageBoxSeen> seen;
    // More handlers than any one click needs; each answers one box.
    ModalResponder responder({answerOk(&seen), answerOk(&seen), answerOk(&seen)});
    if (QAbstractButton *target = button(name))
        target->click();
    return seen;
}

QList<MessageBoxSeen> WindowOperator::connectTo(const QString &port)
{
    window_->set_extra_ports({port});
    window_->findChild<QComboBox *>(QStringLiteral("PortComboBox"))->setCurrentIndex(0);
    return click("connect");
}

void WindowOperator::prepareRun(bool singleChannel, const char *preset, int rate, int seconds)
{
    click(singleChannel ? "SignalChannel" : "MultiChannel");
    click(preset);
    window_->findChild<QSpinBox *>(QStringLiteral("spinBox_sampleSpeed"))->setValue(rate);
    window_->findChild<QSpinBox *>(QStringLiteral("spinBox_sampleTime"))->setValue(seconds);
}

QString WindowOperator::text(const char *name) const
{
    QObject *object = window_->findChild<QObject *>(QLatin1String(name));
    if (auto *asButton = qobject_cast<QAbstractButton *>(object))
        return asButton->text();
    if (auto *asLabel = qobject_cast<QLabel *>(object))
        return asLabel->text();
    return QString();
}

bool WindowOperator::isEnabled(const char *name) const
{
    auto *widget = window_->findChild<QWidget *>(QLatin1String(name));
    return widget != nullptr && widget->isEnabled();
}
