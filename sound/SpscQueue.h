#pragma once
// A fixed-capacity queue from exactly one producer thread to exactly one consumer thread.
// Neither side allocates, locks or waits: push fails when the queue is full, pop when it is
// empty. Used to hand play, stop and volume changes from the window to the audio callback.

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

namespace metro {

template <typename T, std::size_t Capacity> class SpscQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "a power of two");

public:
    // Producer thread only. False when the queue is full (the item is not queued).
    bool push(const T& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity)
            return false;
        items_[tail & (Capacity - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer thread only.
    std::optional<T> pop() {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return std::nullopt;
        T item = items_[head & (Capacity - 1)];
        head_.store(head + 1, std::memory_order_release);
        return item;
    }

private:
    // Both counters only grow; their difference is the number of queued items.
    alignas(64) std::atomic<std::size_t> head_{0}; // next item to pop, written by the consumer
    alignas(64) std::atomic<std::size_t> tail_{0}; // next free place, written by the producer
    std::array<T, Capacity> items_{};
};

} // namespace metro
