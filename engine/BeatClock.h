#pragma once
// The clock the running metronome keeps its beats on, in whole ticks. With sound it is the
// audio device's frame counter, so every click lands on an exact frame; without sound it is
// the monotonic system clock in nanoseconds. 64-bit throughout: it never wraps in practice.

#include <cstdint>
#include <memory>

namespace metro {

class Cls_DX7_JP;

class BeatClock {
public:
    virtual ~BeatClock() = default;
    virtual std::int64_t ticksPerSecond() const = 0;
    // The moment the listener hears now; the pendulum is drawn for it.
    virtual std::int64_t heardNow() const = 0;
    // The earliest moment a click handed over now can still start exactly on time.
    virtual std::int64_t earliestStart() const = 0;
};

// std::chrono::steady_clock in nanoseconds, for a metronome without sound.
std::unique_ptr<BeatClock> makeSteadyBeatClock();
// The device clock of a Ready sound instance; the instance must outlive the clock.
std::unique_ptr<BeatClock> makeDeviceBeatClock(const Cls_DX7_JP& device);

} // namespace metro
