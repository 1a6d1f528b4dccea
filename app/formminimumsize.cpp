#include "formminimumsize.h"

#include "ui_mainwindow.h"

#include <algorithm>

void fit_form_minimum_height(Ui::MainWindow &ui)
{
    // The central widget's fixed minimum height would otherwise stand in for its layout's,
    // letting the window shrink until the control column overlaps itself. The column is
    // tallest in multi-channel mode, with the channel boxes and four excitation boxes: that
    // height holds in both modes, so switching modes never resizes the window.
    QWidget *central = ui.centralwidget;
    const QList<QWidget *> multiOnly = {ui.channel_button_groupbox, ui.widget_multi};
    QList<bool> hidden;
    for (QWidget *widget : multiOnly) {
        hidden.append(widget->isHidden());
        widget->setVisible(true);
    }
    const bool singleHidden = ui.widget_single->isHidden();
    ui.widget_single->setVisible(false);
    central->layout()->activate();
    const int tallest = central->layout()->minimumSize().height();
    for (int i = 0; i < multiOnly.size(); ++i)
        multiOnly.at(i)->setHidden(hidden.at(i));
    ui.widget_single->setHidden(singleHidden);
    central->setMinimumHeight(std::max(central->minimumHeight(), tallest));
}
