// The weight's height for a tempo.

#include "engine/TempoSearch.h"
#include "support/LoadedForm.h"

#include <gtest/gtest.h>

#include <string>

using namespace metro;

namespace {

struct TempoSearch : test::LoadedForm {
    // A move the program makes itself, as the plus and minus keys make it.
    void moveTop(float top) {
        s.DragOffsetY = 0;
        form.I_Rod_MouseMove(LeftButton, 0, 0, top - c.I_Rod.Top);
    }
};

} // namespace

// Each tempo from the slowest to the fastest has a height a drag reaches, the nearest one to
// where the weight stood; none is found for a tempo outside the scale.
TEST_F(TempoSearch, EveryTempoHasTheNearestHeightOfItsOwn) {
    const float start = c.I_Rod.Top;
    for (std::int16_t tempo = 40; tempo <= 300; ++tempo) {
        const auto top = weightTopForTempo(c, tempo);
        ASSERT_TRUE(top) << tempo;

        moveTop(*top);
        EXPECT_EQ(c.I_Rod.Top, *top) << "within the drag's limits, " << tempo;
        EXPECT_EQ(c.L_temo.Caption, std::to_string(tempo));
        if (*top != start) {
            moveTop(*top < start ? *top + 1 : *top - 1); // one twip nearer the start
            EXPECT_NE(s.Tempo, tempo) << tempo;
        }
        moveTop(start);
    }
    EXPECT_EQ(weightTopForTempo(c, 39), std::nullopt);
    EXPECT_EQ(weightTopForTempo(c, 301), std::nullopt);
}
