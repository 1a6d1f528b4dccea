#include "doorbell.h"

void Doorbell::ring()
{
    // A read-modify-write rather than a fence and a plain load: it orders the
    // caller's push before the look at waiters_ just the same (either it sees
    // the consumer's increment, or that increment reads from it and the
    // consumer's re-check sees the push), and ThreadSanitizer understands it.
    if (waiters_.fetch_add(0, std::memory_order_seq_cst) == 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rung_ = true;
    }
    wake_.notify_all();
}
