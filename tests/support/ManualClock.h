#pragma once
// A beat clock that stands still until the test moves it.

#include "engine/BeatClock.h"

#include <memory>

namespace metro::test {

struct ManualClock {
    std::int64_t ticksPerSecond = 1000;
    std::int64_t heard = 0;      // what the listener hears now
    std::int64_t writeAhead = 0; // how far ahead of the heard moment a click can still be placed

    // A clock for one run that reads this one.
    std::unique_ptr<BeatClock> forRun() {
        struct View final : BeatClock {
            explicit View(const ManualClock& c) : c(c) {}
            std::int64_t ticksPerSecond() const override { return c.ticksPerSecond; }
            std::int64_t heardNow() const override { return c.heard; }
            std::int64_t earliestStart() const override { return c.heard + c.writeAhead; }
            const ManualClock& c;
        };
        return std::make_unique<View>(*this);
    }
};

} // namespace metro::test
