// The tempo from the height of the weight's centre: forty above the scale, each tick's own mark,
// straight lines between the ticks rounded half to even, on to 300 at the lowest place; and
// the weight's height for a tempo, the reverse.

#include "engine/TempoMapping.h"
#include "engine/TempoSearch.h"
#include "support/LoadedForm.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace metro;

using TempoFromWeight = test::LoadedForm;
using TempoSearch = test::LoadedForm;

TEST_F(TempoFromWeight, FollowsTheScaleBetweenAndBeyondItsTicks) {
    // Centre heights (twips) and the tempo there; the 120 tick is at 3105, 208 at 4935.
    const std::pair<std::int16_t, std::int16_t> cases[] = {
        {0, 40},     {765, 40}, // above the first tick and at the drag's highest centre
        {3105, 120}, {3106, 120}, {3120, 121}, // 120.04, 120.6
        {2340, 88},  {2370, 90},               // 88.5 and 89.5: halves go to the even neighbour
        {4710, 196},                           // between the last two ticks, 184 and 208
        {4936, 209}, {5010, 254}, {5085, 300}, // below the last tick, on to the lowest place
    };
    for (const auto& [y, tempo] : cases)
        EXPECT_EQ(tempoAtCentre(c, y), tempo) << "centre at " << y;
    std::int16_t last = 40; // and it rises over the whole reach (each tick's mark: Panels)
    for (std::int16_t y = 765; y <= 5085; ++y) {
        const std::int16_t t = tempoAtCentre(c, y);
        ASSERT_GE(t, last) << y; // so none above the 300 of the lowest place
        last = t;
    }
}

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
