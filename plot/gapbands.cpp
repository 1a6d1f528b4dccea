#include "gapbands.h"

#include <qcustomplot.h>

namespace {
const QColor bandColor(0x80, 0x80, 0x80, 0x50);
const QColor labelColor(0x50, 0x50, 0x50);
// Below the graphs, above the grid's background.
const QString bandLayer = QStringLiteral("grid");

QString label_text(const RunGap &gap)
{
    return QStringLiteral("%1 %2 s").arg(gap.cause, QString::number(gap.length, 'f', 1));
}
} // namespace

GapBands::GapBands(QCustomPlot *plot)
    : QObject(plot)
    , plot_(plot)
{}

void GapBands::set_gaps(const QList<RunGap> &gaps)
{
    if (gaps == gaps_)
        return;
    for (QCPItemRect *band : std::as_const(bands_))
        plot_->removeItem(band);
    for (QCPItemText *label : std::as_const(labels_))
        plot_->removeItem(label);
    bands_.clear();
    labels_.clear();
    gaps_ = gaps;
    for (const RunGap &gap : gaps_) {
        auto *band = new QCPItemRect(plot_);
        band->setLayer(bandLayer);
        band->setPen(Qt::NoPen);
        band->setBrush(bandColor);
        band->setSelectable(false);
        band->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
        band->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
        band->topLeft->setCoords(gap.start, 0.0);
        if (gap.spans_run_time()) {
            band->bottomRight->setCoords(gap.start + gap.length, 1.0);
        } else {
            // So many pixels right of its start, whatever the zoom.
            band->bottomRight->setParentAnchorX(band->topLeft);
            band->bottomRight->setTypeX(QCPItemPosition::ptAbsolute);
            band->bottomRight->setCoords(narrowBandPx, 1.0);
        }
        auto *label = new QCPItemText(plot_);
        label->setLayer(bandLayer);
        label->setSelectable(false);
        label->setText(label_text(gap));
        label->setColor(labelColor);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->position->setCoords(gap.start, 0.0);
        label->setClipToAxisRect(true);
        bands_.append(band);
        labels_.append(label);
    }
    emit changed();
}
