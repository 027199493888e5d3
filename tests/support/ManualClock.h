#pragma once
// A beat clock that stands still until the test moves it.

#include "engine/BeatClock.h"

#include <functional>
#include <memory>

namespace metro::test {

struct ManualClock {
    std::int64_t ticksPerSecond = 1000;
    std::int64_t heard = 0; // what the listener hears now, and the earliest a click can start
    std::function<void()> onRunEnd; // called when a run's clock goes

    // A clock for one run that reads this one.
    std::unique_ptr<BeatClock> forRun() {
        struct View final : BeatClock {
            explicit View(const ManualClock& c) : c(c) {}
            ~View() override {
                if (c.onRunEnd)
                    c.onRunEnd();
            }
            View(const View&) = delete;
            View& operator=(const View&) = delete;
            std::int64_t ticksPerSecond() const override { return c.ticksPerSecond; }
            std::int64_t heardNow() const override { return c.heard; }
            std::int64_t earliestStart() const override { return c.heard; }
            const ManualClock& c;
        };
        return std::make_unique<View>(*this);
    }
};

} // namespace metro::test
