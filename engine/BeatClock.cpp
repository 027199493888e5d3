#include "engine/BeatClock.h"

#include "engine/BeatGrid.h"
#include "sound/Cls_DX7_JP.h"
#include "sound/SteadyClock.h"

#include <algorithm>

namespace metro {
namespace {

class SteadyBeatClock final : public BeatClock {
public:
    std::int64_t ticksPerSecond() const override { return 1'000'000'000; }
    std::int64_t heardNow() const override { return steadyNanoseconds(); }
    std::int64_t earliestStart() const override { return steadyNanoseconds(); }
};

// Ticks are device frames plus offset_. The offset is 0 until the device has been lost and
// is back; from then on it holds the frames the device missed, so that the ticks stay on
// the steady clock's time across every loss.
class DeviceBeatClock final : public BeatClock {
public:
    DeviceBeatClock(const Cls_DX7_JP& device, std::unique_ptr<BeatClock> steady)
        : device_(device), steady_(std::move(steady)) {}

    std::int64_t ticksPerSecond() const override { return device_.SampleRate(); }

    // Notes whether the device's time moves, and when it stood still too long or moves again.
    void observe() override {
        const std::int64_t heard = device_.HeardFrame();
        const std::int64_t now = steady_->heardNow();
        if (!watched_ || heard != heard_) {
            // The moment the device got to `heard`: now, or sooner where it moved less than
            // the time since the last look (it stopped in between, and the ticks bridge a
            // loss from there).
            const std::int64_t reached =
                watched_ && !lost_ && heard > heard_
                    ? std::min(now, now_ + static_cast<std::int64_t>(
                                               static_cast<Int128>(heard - heard_) *
                                               steady_->ticksPerSecond() / ticksPerSecond()))
                    : now;
            if (lost_) { // back: tie the device's frames to where the ticks have got to
                offset_ = bridged(now) - heard;
                lost_ = false;
            }
            watched_ = true;
            heard_ = heard;
            movedAt_ = reached;
        } else if (!lost_ && now - movedAt_ > lostAfter()) {
            lost_ = true; // ticks run on from the last moment the device moved
        }
        now_ = now;
    }
    std::int64_t heardNow() const override { return lost_ ? bridged(now_) : heard_ + offset_; }
    std::int64_t earliestStart() const override {
        return lost_ ? bridged(now_) : device_.WriteHeadFrame() + offset_;
    }
    std::int64_t firstChangeable() const override {
        return lost_ ? bridged(now_) : device_.ChangeableFrame() + offset_;
    }
    bool deviceLost() const override { return lost_; }
    std::int64_t deviceFrame(std::int64_t tick) const override { return tick - offset_; }

private:
    std::int64_t lostAfter() const {
        return static_cast<std::int64_t>(kLostAfterSeconds *
                                         static_cast<double>(steady_->ticksPerSecond()));
    }
    // The tick at steady time `now`, counted on from the device's last move.
    std::int64_t bridged(std::int64_t now) const {
        // 128 bits: nanoseconds of a long outage times the frame rate exceed 2^63.
        const Int128 frames =
            static_cast<Int128>(now - movedAt_) * ticksPerSecond() / steady_->ticksPerSecond();
        return heard_ + offset_ + static_cast<std::int64_t>(frames);
    }

    const Cls_DX7_JP& device_;
    std::unique_ptr<BeatClock> steady_;
    // What observe() saw.
    std::int64_t offset_ = 0;  // ticks minus device frames
    std::int64_t heard_ = 0;   // the device's heard frame at the last look
    std::int64_t movedAt_ = 0; // steady time at which heard_ was first seen
    std::int64_t now_ = 0;     // steady time of the last look
    bool watched_ = false;     // the device has been looked at
    bool lost_ = false;
};

} // namespace

std::unique_ptr<BeatClock> makeSteadyBeatClock() {
    return std::make_unique<SteadyBeatClock>();
}

std::unique_ptr<BeatClock> makeDeviceBeatClock(const Cls_DX7_JP& device,
                                               std::unique_ptr<BeatClock> steady) {
    return std::make_unique<DeviceBeatClock>(device, std::move(steady));
}

} // namespace metro
