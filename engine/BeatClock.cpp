#include "engine/BeatClock.h"

#include "sound/Cls_DX7_JP.h"

#include <chrono>

namespace metro {
namespace {

class SteadyBeatClock final : public BeatClock {
public:
    std::int64_t ticksPerSecond() const override { return 1'000'000'000; }
    std::int64_t heardNow() const override { return now(); }
    std::int64_t earliestStart() const override { return now(); }

private:
    static std::int64_t now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

class DeviceBeatClock final : public BeatClock {
public:
    explicit DeviceBeatClock(const Cls_DX7_JP& device) : device_(device) {}
    std::int64_t ticksPerSecond() const override { return device_.SampleRate(); }
    std::int64_t heardNow() const override { return device_.HeardFrame(); }
    std::int64_t earliestStart() const override { return device_.WriteHeadFrame(); }

private:
    const Cls_DX7_JP& device_;
};

} // namespace

std::unique_ptr<BeatClock> makeSteadyBeatClock() {
    return std::make_unique<SteadyBeatClock>();
}

std::unique_ptr<BeatClock> makeDeviceBeatClock(const Cls_DX7_JP& device) {
    return std::make_unique<DeviceBeatClock>(device);
}

} // namespace metro
