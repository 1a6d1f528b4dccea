#include "doorbell.h"

void Doorbell::ring()
{
    // Orders the caller's push before the look at waiters_, pairing with the
    // consumer's increment before it re-checks the queue.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (waiters_.load(std::memory_order_relaxed) == 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rung_ = true;
    }
    wake_.notify_all();
}
