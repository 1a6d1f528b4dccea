#include "formminimumsize.h"

#include "legendrows.h"
#include "ui_mainwindow.h"

#include <QLayout>

#include <algorithm>

namespace {
// Until the window is first shown no layout inside the form has been activated, and the sizes
// the inner ones pass outwards are from before the style sheets applied. Activating every
// layout, the innermost first, brings them up to date.
void activate_layouts(QWidget *form)
{
    form->ensurePolished();
    const QList<QLayout *> layouts = form->findChildren<QLayout *>();
    for (auto layout = layouts.crbegin(); layout != layouts.crend(); ++layout)
        (*layout)->activate();
}
} // namespace

void fit_form_minimum_height(Ui::MainWindow &ui)
{
    // The central widget's fixed minimum height would otherwise stand in for its layout's. The
    // control column scrolls, so the plot column decides: the plot and the legend in its
    // tallest arrangement, the rows of the narrowest window. That height holds at any width, so
    // narrowing the window re-arranges the legend without making the window taller.
    QWidget *central = ui.centralwidget;
    auto *rows =
        ui.widget_voltage_track->findChild<LegendRows *>(QString(), Qt::FindDirectChildrenOnly);
    rows->refit(); // the value labels have room for the widest reading by now
    const int columns = rows->columns();
    rows->arrange(LegendRows::narrowestColumns);
    activate_layouts(central);
    const int tallest = central->layout()->minimumSize().height();
    rows->arrange(columns);
    central->setMinimumHeight(std::max(central->minimumHeight(), tallest));
}
