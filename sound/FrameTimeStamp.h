#pragma once
// A device clock's line, published lock-free: the frame heard (or rendered) at a steady_clock
// time, and whether the clock moves on from there in real time. A sequence lock whose fields
// are atomics, so a reader never pairs the frame of one write with the time or the flag of
// another. Every access is sequentially consistent, which orders the fields against the
// sequence without fences (cheap at a few writes per callback, and understood by
// ThreadSanitizer).
//
// Writers never overlap: an output writes its stamp from one thread at a time, either its
// audio thread or another thread holding the lock that thread runs under (the sound server's
// output writes from libpulse's loop thread and, under the loop's lock, from the window
// thread that corks the stream). Readers may be on any thread.

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
        bool advancing = false;       // the clock runs on in real time from `frame`
    };

    // One writer at a time (see above).
    void write(std::int64_t frame, std::int64_t nanoseconds, bool advancing = true) {
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1); // odd: write in progress
        frame_.store(frame);
        nanoseconds_.store(nanoseconds);
        advancing_.store(advancing);
        sequence_.store(sequence + 2);
    }
    void write(const Value& value) { write(value.frame, value.nanoseconds, value.advancing); }

    // Any thread. Retries while a write is in progress (a few nanoseconds at most).
    Value read() const {
        for (;;) {
            const std::uint32_t before = sequence_.load();
            if (before == 0)
                return {};
            if (before % 2 != 0)
                continue;
            const Value value{frame_.load(), nanoseconds_.load(), true, advancing_.load()};
            if (sequence_.load() == before)
                return value;
        }
    }

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::int64_t> frame_{0};
    std::atomic<std::int64_t> nanoseconds_{0};
    std::atomic<bool> advancing_{false};
};

} // namespace metro
