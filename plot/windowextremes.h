#pragma once

#include <QPair>

#include <deque>
#include <optional>

// The largest and the smallest value of one signal over a sliding time window. Both are
// kept as monotonic queues: a sample enters each queue once and leaves it at most once,
// so tracking costs constant time per sample on average, and the front of each queue is
// always the window's true extreme. Not thread-safe; the owner guards it.
class WindowExtremes
{
public:
    using Point = QPair<double, double>; // (time, value)

    // Adds a sample; samples come in time order.
    void add(double time, double value);
    // Forgets the samples older than `time`.
    void expire_before(double time);
    void clear();

    // Nothing while no sample is held.
    std::optional<Point> maximum() const;
    std::optional<Point> minimum() const;

private:
    std::deque<Point> maxima_; // values strictly falling from front to back
    std::deque<Point> minima_; // values strictly rising from front to back
};
