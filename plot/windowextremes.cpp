#include "windowextremes.h"

void WindowExtremes::add(double time, double value)
{
    // A held value that the new one equals or outdoes can never be the extreme again: the
    // new sample stays in the window at least as long.
    while (!maxima_.empty() && maxima_.back().second <= value)
        maxima_.pop_back();
    maxima_.emplace_back(time, value);
    while (!minima_.empty() && minima_.back().second >= value)
        minima_.pop_back();
    minima_.emplace_back(time, value);
}

void WindowExtremes::expire_before(double time)
{
    while (!maxima_.empty() && maxima_.front().first < time)
        maxima_.pop_front();
    while (!minima_.empty() && minima_.front().first < time)
        minima_.pop_front();
}

void WindowExtremes::clear()
{
    maxima_.clear();
    minima_.clear();
}

std::optional<WindowExtremes::Point> WindowExtremes::maximum() const
{
    if (maxima_.empty())
        return std::nullopt;
    return maxima_.front();
}

std::optional<WindowExtremes::Point> WindowExtremes::minimum() const
{
    if (minima_.empty())
        return std::nullopt;
    return minima_.front();
}
