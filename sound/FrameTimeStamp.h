#pragma once
// A pair (device frame, steady_clock time) written by the audio thread at each callback and
// read by the window thread, lock-free: a sequence lock whose fields are atomics, so a reader
// never sees a frame from one callback with the time of another.

#include <atomic>
#include <cstdint>

namespace metro {

class FrameTimeStamp {
public:
    struct Value {
        std::int64_t frame = 0;
        std::int64_t nanoseconds = 0; // steady_clock time since its epoch
        bool valid = false;           // false until the first write
    };

    // Audio thread (one writer).
    void write(std::int64_t frame, std::int64_t nanoseconds) {
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed); // odd: write in progress
        std::atomic_thread_fence(std::memory_order_release);
        frame_.store(frame, std::memory_order_relaxed);
        nanoseconds_.store(nanoseconds, std::memory_order_relaxed);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // Any thread. Retries while a write is in progress (a few nanoseconds at most).
    Value read() const {
        for (;;) {
            const std::uint32_t before = sequence_.load(std::memory_order_acquire);
            if (before == 0)
                return {};
            if (before % 2 != 0)
                continue;
            const Value value{frame_.load(std::memory_order_relaxed),
                              nanoseconds_.load(std::memory_order_relaxed), true};
            std::atomic_thread_fence(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) == before)
                return value;
        }
    }

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::int64_t> frame_{0};
    std::atomic<std::int64_t> nanoseconds_{0};
};

} // namespace metro
