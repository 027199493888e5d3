#pragma once
// The clock the running metronome keeps its beats on, in whole ticks. With sound it is the
// audio device's frame counter, so every click lands on an exact frame; without sound it is
// the monotonic system clock in nanoseconds. 64-bit throughout: it never wraps in practice.
//
// When the sound device goes away during a run (the sound server restarts, headphones are
// unplugged), its frame counter stops until the device is back. A musician playing along
// needs the beat to go on: the device clock then carries on from the steady clock, so the
// pendulum keeps swinging in tempo, the beats that pass in silence still count the measure,
// and when the device is back its frames are tied to the run's ticks afresh, so the clicks
// come back on the same beat grid as the swing, accents in place. A gap shorter than
// kLostAfterSeconds is not a loss: the ticks wait for the device and the grid goes on
// where it stood.

#include <cstdint>
#include <memory>

namespace metro {

class Cls_DX7_JP;

class BeatClock {
public:
    virtual ~BeatClock() = default;
    virtual std::int64_t ticksPerSecond() const = 0;
    // Takes a fresh look at the clock: the device clock notes whether its device keeps time,
    // and ties the device's frames to the ticks again when it comes back. A beat frame calls
    // it once, first; the readers below then describe that look.
    virtual void observe() {}
    // The moment the listener hears now; the pendulum is drawn for it.
    virtual std::int64_t heardNow() const = 0;
    // The earliest moment a click handed over now can still start exactly on time.
    virtual std::int64_t earliestStart() const = 0;
    // The earliest moment whose click may still be cancelled or replaced: the device has
    // played nothing from it on, nor committed it (it may have rendered it; it then takes it
    // back). Not later than earliestStart().
    virtual std::int64_t firstChangeable() const { return earliestStart(); }
    // True while the device keeps no time: no click can be placed, the ticks run on.
    virtual bool deviceLost() const { return false; }
    // The device frame at which a click for `tick` starts (valid while not lost).
    virtual std::int64_t deviceFrame(std::int64_t tick) const { return tick; }
};

// How long a device's clock may stand still before it counts as lost.
inline constexpr double kLostAfterSeconds = 0.2;

// std::chrono::steady_clock in nanoseconds, for a metronome without sound.
std::unique_ptr<BeatClock> makeSteadyBeatClock();
// The device clock of a Ready sound instance, bridged by `steady` while the device is lost;
// the instance must outlive the clock.
std::unique_ptr<BeatClock>
makeDeviceBeatClock(const Cls_DX7_JP& device,
                    std::unique_ptr<BeatClock> steady = makeSteadyBeatClock());

} // namespace metro
