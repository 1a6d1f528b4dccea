#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

// A bounded lock-free queue for any number of producers and consumers. Each
// cell carries a write turn and a read turn: a producer may fill cell p only
// when its write turn is p, a consumer may empty it only when its read turn is
// p. It never blocks and never allocates after construction.
template <typename T> class BoundedQueue
{
    static_assert(std::is_nothrow_move_constructible_v<T>,
                  "elements are moved out of cells that must stay consistent");
    static_assert(std::is_nothrow_move_assignable_v<T>,
                  "a popped element is moved into the output");
    static_assert(std::is_nothrow_destructible_v<T>, "elements are destroyed inside the queue");

public:
    static constexpr std::size_t cacheLineSize = 64;
    static_assert((cacheLineSize & (cacheLineSize - 1)) == 0, "cache line is a power of two");

    // The capacity is `requested` rounded up to a power of two (at least 1).
    explicit BoundedQueue(std::size_t requested)
        : mask_(round_up_mask(requested))
        , cells_(new Cell[mask_ + 1])
        , capacity_(mask_ + 1)
    {
        static_assert(alignof(BoundedQueue) >= cacheLineSize,
                      "the positions must sit on cache lines of their own");
        static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
        for (std::size_t k = 0; k < capacity_; ++k) {
            cells_[k].writeTurn.store(k, std::memory_order_relaxed);
            cells_[k].readTurn.store(noTurn, std::memory_order_relaxed);
        }
    }

    ~BoundedQueue()
    {
        // No other thread may use the queue now, so every claimed push has
        // finished: exactly the positions between the two counters hold values.
        const std::uint64_t end = enqueuePos_.load(std::memory_order_acquire);
        for (std::uint64_t p = dequeuePos_.load(std::memory_order_acquire); p != end; ++p) {
            cells_[p & mask_].value()->~T();
        }
    }

    BoundedQueue(const BoundedQueue &) = delete;
    BoundedQueue &operator=(const BoundedQueue &) = delete;

    // Stores the value unless the queue is full; on false nothing was moved from it.
    template <typename U> bool try_push(U &&value)
    {
        std::uint64_t p = enqueuePos_.load(std::memory_order_relaxed);
        for (;;) {
            Cell &cell = cells_[p & mask_];
            const std::uint64_t turn = cell.writeTurn.load(std::memory_order_acquire);
            const auto lag = static_cast<std::int64_t>(turn - p);
            if (lag == 0) {
                if (enqueuePos_.compare_exchange_weak(p, p + 1, std::memory_order_relaxed)) {
                    new (cell.storage) T(std::forward<U>(value));
                    cell.readTurn.store(p, std::memory_order_release);
                    return true;
                }
            } else if (lag < 0) {
                return false; // the cell still holds the element of the previous lap
            } else {
                p = enqueuePos_.load(std::memory_order_relaxed); // another producer moved on
            }
        }
    }

    // Moves the oldest element into `out` unless the queue is empty; on false
    // `out` is untouched.
    bool try_pop(T &out)
    {
        std::uint64_t p = dequeuePos_.load(std::memory_order_relaxed);
        for (;;) {
            Cell &cell = cells_[p & mask_];
            const std::uint64_t turn = cell.readTurn.load(std::memory_order_acquire);
            // A fresh cell's read turn (all ones) reads as -1: behind every position.
            const auto lag = static_cast<std::int64_t>(turn - p);
            if (lag == 0) {
                if (dequeuePos_.compare_exchange_weak(p, p + 1, std::memory_order_relaxed)) {
                    T *stored = cell.value();
                    out = std::move(*stored);
                    stored->~T();
                    cell.writeTurn.store(p + capacity_, std::memory_order_release);
                    return true;
                }
            } else if (lag < 0) {
                return false; // not yet written in this lap
            } else {
                p = dequeuePos_.load(std::memory_order_relaxed); // another consumer moved on
            }
        }
    }

    // Elements stored or being stored; exact only while no other thread works on the queue.
    std::size_t size() const
    {
        // Read the dequeue position first: the enqueue position read after it
        // is never smaller.
        const std::uint64_t head = dequeuePos_.load(std::memory_order_acquire);
        const std::uint64_t tail = enqueuePos_.load(std::memory_order_acquire);
        return static_cast<std::size_t>(tail - head);
    }

    std::size_t capacity() const { return capacity_; }

    // The cell position `position` maps to and its turns, for checking the
    // reuse of cells lap after lap.
    std::uint64_t write_turn(std::uint64_t position) const
    {
        return cells_[position & mask_].writeTurn.load(std::memory_order_acquire);
    }
    std::uint64_t read_turn(std::uint64_t position) const
    {
        return cells_[position & mask_].readTurn.load(std::memory_order_acquire);
    }

private:
    static constexpr std::uint64_t noTurn = ~std::uint64_t(0);

    struct Cell
    {
        std::atomic<std::uint64_t> writeTurn{0};
        std::atomic<std::uint64_t> readTurn{noTurn};
        alignas(T) unsigned char storage[sizeof(T)];

        T *value() { return std::launder(reinterpret_cast<T *>(storage)); }
    };

    static std::size_t round_up_mask(std::size_t requested)
    {
        std::uint64_t mask = requested > 0 ? std::uint64_t(requested) - 1 : 0;
        mask |= mask >> 1;
        mask |= mask >> 2;
        mask |= mask >> 4;
        mask |= mask >> 8;
        mask |= mask >> 16;
        mask |= mask >> 32;
        return static_cast<std::size_t>(mask);
    }

    const std::size_t mask_;
    const std::unique_ptr<Cell[]> cells_;
    const std::size_t capacity_;

    alignas(cacheLineSize) std::atomic<std::uint64_t> enqueuePos_{0};
    // The class's own alignment rounds its size up to whole cache lines, which keeps
    // whatever follows the queue off the dequeue position's line.
    alignas(cacheLineSize) std::atomic<std::uint64_t> dequeuePos_{0};
};
