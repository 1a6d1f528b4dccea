#pragma once

#include "runmarks.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;

// The marks of the run on show as labelled vertical lines across a plot, at their times on
// the time axis. A mark without text is labelled with its number in time order. GUI thread.
class MarkLines : public QObject
{
    Q_OBJECT

public:
    explicit MarkLines(QCustomPlot *plot);

    // Replaces the lines with those of marks.
    void set_marks(const QList<RunMark> &marks);
    void add(const RunMark &mark);
    void clear();

    int count() const { return int(lines_.size()); }
    // The time and the label drawn for line i, for the window and the tests.
    double time(int i) const;
    QString label(int i) const;

signals:
    // The lines changed: the plot needs drawing again.
    void changed();

private:
    void append(const RunMark &mark);
    void number_untitled();

    QCustomPlot *const plot_;
    QList<QCPItemStraightLine *> lines_; // items of plot_, which deletes them with itself
    QList<QCPItemText *> labels_;
    QStringList texts_; // the marks' own texts, empty for those labelled with a number
};
