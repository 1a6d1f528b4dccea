#pragma once

#include <chrono>

// How long a queue consumer sleeps when its queue is empty. Every push rings the
// queue's doorbell and wakes the consumer at once, so the time-out only bounds a
// missed wake-up or the owner's request to stop: short while data is flowing,
// longer once the queue has stayed quiet, so a run without frames costs next to
// no processor time.
class IdleBackoff
{
public:
    static constexpr std::chrono::microseconds shortWait{1000};
    static constexpr std::chrono::microseconds longWait{20000};
    // About a tenth of a second of short waits before the long ones.
    static constexpr int shortWaitsBeforeLong = 100;

    std::chrono::microseconds next_wait()
    {
        if (quietWaits_ < shortWaitsBeforeLong) {
            ++quietWaits_;
            return shortWait;
        }
        return longWait;
    }
    // Work arrived: the next empty queue starts with short waits again.
    void reset() { quietWaits_ = 0; }

private:
    int quietWaits_ = 0;
};
