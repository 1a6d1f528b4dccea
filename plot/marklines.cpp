#include "marklines.h"

#include <qcustomplot.h>

#include <algorithm>
#include <numeric>

namespace {
const QColor markColor(0x2e, 0x7d, 0x32);
} // namespace

MarkLines::MarkLines(QCustomPlot *plot)
    : QObject(plot)
    , plot_(plot)
{}

void MarkLines::set_marks(const QList<RunMark> &marks)
{
    if (marks.isEmpty() && lines_.isEmpty())
        return; // nothing to draw again
    clear();
    for (const RunMark &mark : marks)
        append(mark);
    number_untitled();
    emit changed();
}

void MarkLines::add(const RunMark &mark)
{
    append(mark);
    number_untitled();
    emit changed();
}

void MarkLines::append(const RunMark &mark)
{
    auto *line = new QCPItemStraightLine(plot_);
    line->setPen(QPen(markColor, 1, Qt::DotLine));
    line->point1->setCoords(mark.time, 0.0);
    line->point2->setCoords(mark.time, 1.0);
    auto *label = new QCPItemText(plot_);
    label->setText(mark.text);
    label->setColor(markColor);
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(mark.time, 1.0);
    lines_.append(line);
    labels_.append(label);
    texts_.append(mark.text);
}

void MarkLines::number_untitled()
{
    // Numbered in time order, as the run's marks are listed, whatever order they came in.
    QList<int> order(lines_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return time(a) < time(b); });
    for (int place = 0; place < order.size(); ++place) {
        if (texts_.at(order[place]).isEmpty())
            labels_.at(order[place])->setText(QString::number(place + 1));
    }
}

void MarkLines::clear()
{
    if (lines_.isEmpty())
        return;
    for (QCPItemStraightLine *line : std::as_const(lines_))
        plot_->removeItem(line);
    for (QCPItemText *label : std::as_const(labels_))
        plot_->removeItem(label);
    lines_.clear();
    labels_.clear();
    texts_.clear();
    emit changed();
}

double MarkLines::time(int i) const
{
    return lines_.at(i)->point1->coords().x();
}

QString MarkLines::label(int i) const
{
    return labels_.at(i)->text();
}
