#pragma once

#include "timerange.h"

#include <QObject>

#include <array>
#include <optional>

class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;
class QMouseEvent;

// Two vertical cursors, A and B, on a plot's time axis, for measuring a stretch of a run while
// it is browsed. Shift+click places A, Ctrl+click places B, a press on a cursor drags it (the
// plot does not pan meanwhile), Shift+right-click removes both. GUI thread.
class PlotCursors : public QObject
{
    Q_OBJECT

public:
    enum Cursor { A = 0, B = 1 };

    explicit PlotCursors(QCustomPlot *plot);

    // Off: both are removed and the mouse places none.
    void set_enabled(bool enabled);
    bool is_enabled() const { return enabled_; }

    void place(Cursor cursor, double time);
    void clear();
    std::optional<double> time(Cursor cursor) const { return times_[cursor]; }
    // Both placed: the earlier and the later time.
    bool is_placed() const { return times_[A] && times_[B]; }
    double from() const;
    double to() const;
    // The stretch between them as their readout prints it: what they measure and export.
    TimeRange printed_range() const { return TimeRange::as_printed(from(), to()); }

signals:
    // A cursor was placed, moved or removed.
    void changed();

private:
    void mouse_pressed(QMouseEvent *event);
    void mouse_moved(QMouseEvent *event);
    void mouse_released(QMouseEvent *event);
    // The cursor within grabDistance pixels of x, the nearer one first.
    std::optional<Cursor> cursor_near(double x) const;

    QCustomPlot *const plot_;
    std::array<QCPItemStraightLine *, 2> lines_{};
    std::array<QCPItemText *, 2> labels_{};
    std::array<std::optional<double>, 2> times_;
    std::optional<Cursor> dragged_;
    bool panWasOn_ = false;
    bool enabled_ = false;
};
