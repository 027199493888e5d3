#pragma once
// The monotonic system clock in whole nanoseconds: the time the outputs stamp their callbacks
// with, and the beat clock of a metronome without sound.

#include <chrono>
#include <cstdint>

namespace metro {

// std::chrono::steady_clock now, in nanoseconds since its epoch.
inline std::int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace metro
