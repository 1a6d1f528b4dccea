#include "verticalscrollarea.h"

#include <QEvent>
#include <QScrollBar>

VerticalScrollArea::VerticalScrollArea(QWidget *parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
}

void VerticalScrollArea::set_column(QWidget *widget)
{
    setWidget(widget);
    widget->setAutoFillBackground(false); // setWidget turns it on
}

QSize VerticalScrollArea::minimumSizeHint() const
{
    QSize size = QScrollArea::minimumSizeHint();
    if (const QWidget *column = widget()) {
        const int needed = column->minimumSizeHint().expandedTo(column->minimumSize()).width();
        size.setWidth(needed + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
    }
    return size;
}

bool VerticalScrollArea::eventFilter(QObject *watched, QEvent *event)
{
    // The widget's layout changed (a control shown, hidden or re-labelled): its minimum width
    // may have changed with it.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}
