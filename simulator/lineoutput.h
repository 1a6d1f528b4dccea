#pragma once

#include <QByteArray>

#include <chrono>
#include <deque>
#include <random>

// Bytes waiting to go out on the instrument's side of the line. Writes are
// non-blocking: what the terminal does not take now stays queued, so nothing
// the application would read is lost and the I/O thread never hangs. Can split
// its writes at random offsets with tiny gaps, and make junk bytes.
class LineOutput
{
public:
    using Clock = std::chrono::steady_clock;

    explicit LineOutput(quint32 pattern);

    void append(const QByteArray &bytes);
    // Appends 1 to 12 random bytes, none of them 0xFF.
    void append_junk();
    // What is appended after this leaves in a write of its own, `gap` after the last
    // write of what came before.
    void append_gap(Clock::duration gap);
    qsizetype pending() const { return buffer_.size() - head_; }

    // Time from `now` until the next write may be made (zero when it may be made now).
    Clock::duration wait(Clock::time_point now) const;
    // Writes what the descriptor takes (a random piece when `split`); false on
    // a hard error of the descriptor.
    bool write_to(int fd, bool split, Clock::time_point now);

private:
    struct Gap
    {
        qsizetype at; // offset in buffer_ where the next write must wait
        Clock::duration length;
    };

    // Starts the gaps whose offset the writing has reached.
    void pass_gaps(Clock::time_point now);

    QByteArray buffer_;
    std::deque<Gap> gaps_;
    qsizetype head_ = 0;
    Clock::time_point nextWrite_{};
    std::mt19937 random_;
};
