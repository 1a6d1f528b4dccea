#pragma once

#include <QList>
#include <QObject>

class QGridLayout;
class QWidget;

// Keeps the legend under the plot (a number and a value label per channel) in as few rows as
// its width allows: one row of 16, or rows of 8, 6 or 4 channels, in channel order. The legend
// is never narrower than its rows of 4 need, so the window can be narrow; its height follows
// the rows. The arrangement depends only on the width and on the labels' minimum widths, never
// on the texts they show. GUI thread only.
class LegendRows : public QObject
{
    Q_OBJECT

public:
    static constexpr int narrowestColumns = 4;

    // `labels` holds the number and the value label of each channel in channel order; they sit
    // in `grid`, the layout of `legend`, which this object watches and is a child of.
    LegendRows(QWidget *legend, QGridLayout *grid, const QList<QWidget *> &labels);

    // Re-reads the labels' minimum widths and arranges the rows for the legend's width.
    void refit();
    // Places the channels in rows of `columns` (16, 8, 6 or 4).
    void arrange(int columns);
    int columns() const { return columns_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int width_for(int columns) const;

    QWidget *const legend_;
    QGridLayout *const grid_;
    const QList<QWidget *> labels_;
    int columns_ = 0;
};
