#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// Lets a consumer of a lock-free queue sleep while the queue is empty instead
// of spinning, and lets the producer wake it as soon as it has pushed.
// ring() costs one uncontended atomic operation when nobody waits. A wake-up that slips past a
// waiter only costs it the time-out, so the queue itself needs no lock.
class Doorbell
{
public:
    // Producer side, after a successful push.
    void ring();
    // Consumer side: waits until ring() or the time-out, whichever is first.
    // `ready` is checked again after announcing the wait, so a push that
    // happened in between is not slept through.
    template <typename Ready> void wait_for(std::chrono::microseconds timeout, Ready ready)
    {
        waiters_.fetch_add(1, std::memory_order_seq_cst);
        if (!ready()) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, timeout, [this] { return rung_; });
            rung_ = false;
        }
        waiters_.fetch_sub(1, std::memory_order_seq_cst);
    }

private:
    std::atomic<int> waiters_{0}; // consumers inside wait_for, any thread
    std::mutex mutex_;            // guards rung_
    std::condition_variable wake_;
    bool rung_ = false;
};
