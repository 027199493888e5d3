// The weight's height for a tempo: the reverse of the tempo mapping.

#include "engine/TempoSearch.h"
#include "support/LoadedForm.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace metro;

using TempoSearch = test::LoadedForm;

// Each tempo from the slowest to the fastest has a height a drag reaches, the nearest one to
// where the weight stands; none is found for a tempo outside the scale.
TEST_F(TempoSearch, EveryTempoHasTheNearestHeightOfItsOwn) {
    const auto start = static_cast<int>(c.I_Rod.Top);
    const WeightReach reach = weightReach(c);
    const auto tempoAtTop = [&](int top) {
        return tempoAtCentre(c, static_cast<std::int16_t>(top + c.I_Rod.Height / 2));
    };
    for (std::int16_t tempo = 40; tempo <= 300; ++tempo) {
        const std::int16_t top = weightTopForTempo(c, tempo).value_or(0); // 0: out of reach
        EXPECT_EQ(std::clamp(top, reach.highestTop, reach.lowestTop), top) << tempo;
        EXPECT_EQ(tempoAtTop(top), tempo);
        if (top != start) {
            EXPECT_NE(tempoAtTop(top < start ? top + 1 : top - 1), tempo) << "one twip nearer";
        }
    }
    EXPECT_EQ(weightTopForTempo(c, 39), std::nullopt);
    EXPECT_EQ(weightTopForTempo(c, 301), std::nullopt);
}
