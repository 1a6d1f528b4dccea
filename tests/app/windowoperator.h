#pragma once

#include "dialoganswers.h"

#include <QList>
#include <QString>

class MainWindow;
class QAbstractButton;

// Works the main window as an operator would: clicks its buttons by object name, fills in
// the run settings and answers the message boxes a click brings up with Ok.
class WindowOperator
{
public:
    explicit WindowOperator(MainWindow *window);

    QAbstractButton *button(const char *name) const;
    // Clicks the button; the message boxes it shows meanwhile are answered and returned.
    QList<MessageBoxSeen> click(const char *name);

    // Lists port first in the port list, selects it and clicks connect.
    QList<MessageBoxSeen> connectTo(const QString &port);

    // Mode, rate preset ("radioButton_slow", "_med" or "_fast"), rate and time of the next run.
    void prepareRun(bool singleChannel, const char *preset, int rate, int seconds);

    QString text(const char *name) const;
    bool isEnabled(const char *name) const;

private:
    MainWindow *const window_;
};
