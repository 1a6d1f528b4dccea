#pragma once

#include "rungaps.h"

#include <QList>
#include <QObject>

class QCPItemRect;
class QCPItemText;
class QCustomPlot;

// The gaps of a run (see RunGap) as shaded bands over the plot's full height, below the
// graphs, each labelled with its cause and length. A gap that takes running time covers its
// stretch of the time axis; one that takes none (a pause, dropped frames) is a narrow band at
// its time. GUI thread.
class GapBands : public QObject
{
    Q_OBJECT

public:
    // Width of a band for a gap that takes no running time.
    static constexpr int narrowBandPx = 4;

    explicit GapBands(QCustomPlot *plot);

    // Replaces the bands; the same gaps again change nothing.
    void set_gaps(const QList<RunGap> &gaps);
    void clear() { set_gaps({}); }
    const QList<RunGap> &gaps() const { return gaps_; }
    // The band and label of gaps()[i].
    const QCPItemRect *band(int i) const { return bands_.value(i); }
    const QCPItemText *label(int i) const { return labels_.value(i); }

signals:
    // The bands changed: the plot needs drawing again.
    void changed();

private:
    QCustomPlot *const plot_;
    QList<RunGap> gaps_;
    QList<QCPItemRect *> bands_; // owned by the plot
    QList<QCPItemText *> labels_;
};
