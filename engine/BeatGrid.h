#pragma once
// Where beats fall on the clock. Beat k of a run sounds at start + k * 60 / tempo seconds,
// computed from k in integers each time, so nothing accumulates and the rate is exactly the
// tempo shown for as long as the metronome runs.

#include <cstdint>

namespace metro {

__extension__ using Int128 = __int128; // GCC and Clang; keeps -Wpedantic quiet

class BeatGrid {
public:
    // tempo: beats per minute (> 0); ticksPerSecond: the clock's rate (> 0).
    BeatGrid(std::int64_t startTick, std::int64_t ticksPerSecond, std::int64_t tempo)
        : start_(startTick), ticksPerMinute_(ticksPerSecond * 60), tempo_(tempo) {}

    std::int64_t start() const { return start_; }

    // The tick of beat k (k >= 0), rounded to the nearest tick.
    std::int64_t tickOfBeat(std::int64_t k) const {
        const std::int64_t whole = k / tempo_;
        const std::int64_t part = k % tempo_;
        return start_ + whole * ticksPerMinute_ + (part * ticksPerMinute_ + tempo_ / 2) / tempo_;
    }

    struct Position {
        std::int64_t beat; // beats completed since the start; -1 before the first
        double fraction;   // 0 at a beat, growing towards 1 at the next
    };

    // Where `tick` falls between beats, exactly (not from the rounded beat ticks).
    Position positionAt(std::int64_t tick) const {
        const std::int64_t elapsed = tick - start_;
        if (elapsed < 0)
            return {-1, 0.0};
        // elapsed * tempo in 128 bits: ticks of a month of nanoseconds times 300 exceed 2^63.
        const Int128 scaled = static_cast<Int128>(elapsed) * tempo_;
        const auto beat = static_cast<std::int64_t>(scaled / ticksPerMinute_);
        const auto rest = static_cast<std::int64_t>(scaled % ticksPerMinute_);
        return {beat, static_cast<double>(rest) / static_cast<double>(ticksPerMinute_)};
    }

private:
    std::int64_t start_;
    std::int64_t ticksPerMinute_;
    std::int64_t tempo_;
};

} // namespace metro
