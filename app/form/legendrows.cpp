#include "legendrows.h"

#include <QEvent>
#include <QGridLayout>
#include <QWidget>

#include <algorithm>

namespace {
// Rows of 16, 8, 6 and 4: the fewest rows first, each arrangement with rows as even as the
// sixteen channels allow.
constexpr int arrangements[] = {16, 8, 6, LegendRows::narrowestColumns};
} // namespace

LegendRows::LegendRows(QWidget *legend, QGridLayout *grid, const QList<QWidget *> &labels)
    : QObject(legend)
    , legend_(legend)
    , grid_(grid)
    , labels_(labels)
{
    legend_->installEventFilter(this);
}

int LegendRows::width_for(int columns) const
{
    // The least the grid gives a label: the number's fixed width, and for a value the room
    // kept for the widest reading, however short the text it shows now.
    const auto least = [this](QWidget *label) {
        return grid_->itemAt(grid_->indexOf(label))->minimumSize().width();
    };
    int number = 0;
    int value = 0;
    for (int i = 0; i + 1 < labels_.size(); i += 2) {
        number = std::max(number, least(labels_.at(i)));
        value = std::max(value, least(labels_.at(i + 1)));
    }
    const QMargins margins = grid_->contentsMargins();
    const int spacing = std::max(grid_->horizontalSpacing(), 0);
    return margins.left() + margins.right() + columns * (number + value) +
           (2 * columns - 1) * spacing;
}

void LegendRows::refit()
{
    const int narrowest = width_for(narrowestColumns);
    if (legend_->minimumWidth() != narrowest)
        legend_->setMinimumWidth(narrowest);
    const int width = legend_->width();
    const int *fitting = std::find_if(std::begin(arrangements), std::end(arrangements),
                                      [&](int columns) { return width_for(columns) <= width; });
    arrange(fitting == std::end(arrangements) ? narrowestColumns : *fitting);
}

void LegendRows::arrange(int columns)
{
    if (columns == columns_)
        return;
    columns_ = columns;
    for (QWidget *label : labels_)
        grid_->removeWidget(label);
    for (int i = 0; i + 1 < labels_.size(); i += 2) {
        const int channel = i / 2;
        const int row = channel / columns;
        const int column = 2 * (channel % columns);
        grid_->addWidget(labels_.at(i), row, column);
        grid_->addWidget(labels_.at(i + 1), row, column + 1);
    }
}

bool LegendRows::eventFilter(QObject *watched, QEvent *event)
{
    // A resize may allow other rows; a layout request follows a label's new minimum width.
    if (watched == legend_ &&
        (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        refit();
    return QObject::eventFilter(watched, event);
}
