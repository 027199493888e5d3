#pragma once
// A pair (device frame, steady_clock time) written by the audio thread at each callback and
// read by the window thread, lock-free: a sequence lock whose fields are atomics, so a reader
// never sees a frame from one callback with the time of another. Every access is
// sequentially consistent, which orders the fields against the sequence without fences
// (cheap at one write per callback, and understood by ThreadSanitizer).

#include "sound/SteadyClock.h"

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
        sequence_.store(sequence + 1); // odd: write in progress
        frame_.store(frame);
        nanoseconds_.store(nanoseconds);
        sequence_.store(sequence + 2);
    }

    // Any thread. Retries while a write is in progress (a few nanoseconds at most).
    Value read() const {
        for (;;) {
            const std::uint32_t before = sequence_.load();
            if (before == 0)
                return {};
            if (before % 2 != 0)
                continue;
            const Value value{frame_.load(), nanoseconds_.load(), true};
            if (sequence_.load() == before)
                return value;
        }
    }

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::int64_t> frame_{0};
    std::atomic<std::int64_t> nanoseconds_{0};
};

} // namespace metro
