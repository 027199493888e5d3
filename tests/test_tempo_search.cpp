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
// where the weight stood, and looking for it changes nothing.
TEST_F(TempoSearch, EveryTempoHasTheNearestHeightOfItsOwn) {
    const float start = c.I_Rod.Top;
    const std::int16_t startTempo = s.Tempo;
    for (std::int16_t tempo = 40; tempo <= 300; ++tempo) {
        const auto top = weightTopForTempo(form.metronome, c, tempo);
        ASSERT_TRUE(top) << tempo;
        EXPECT_TRUE(s.Tempo == startTempo && c.L_temo.Caption == std::to_string(startTempo));

        moveTop(*top);
        // Within the drag's limits.
        EXPECT_TRUE(c.I_Rod.Top == *top && c.L_temo.Caption == std::to_string(tempo)) << tempo;
        if (*top != start) {
            moveTop(*top < start ? *top + 1 : *top - 1); // one twip nearer the start
            EXPECT_NE(s.Tempo, tempo) << tempo;
        }
        moveTop(start);
    }
    EXPECT_FALSE(weightTopForTempo(form.metronome, c, 39) ||
                 weightTopForTempo(form.metronome, c, 301));
}
