#pragma once

// A stretch of a run in seconds from its start, both ends included, as the user reads and types
// times: to the four decimals every CSV, listing and readout prints. A stored time belongs to the
// stretch when it prints inside it, so a range typed from printed times takes exactly the rows
// printed inside it, however the stored times round (older runs stored running sums of the
// sample period, a hair below the printed value).
struct TimeRange
{
    static constexpr int printedDecimals = 4;

    double from = 0.0;
    double to = 0.0;

    // A time as printed (rounded to the printed decimals).
    static double printed(double seconds);
    // The stretch between two times shown at the printed resolution (cursors, whose positions
    // carry more digits than the readout shows; a run's first and last stored time).
    static TimeRange as_printed(double from, double to) { return {printed(from), printed(to)}; }

    // The smallest and largest stored time that print inside the stretch; the first lies above
    // the last when no printed time does (a stretch narrower than the resolution).
    double first_stored() const;
    double last_stored() const;
    double length() const { return to - from; }
};
