// The tempo from the height of the weight's centre.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

using namespace metro;

namespace {

struct TempoFromWeight : test::LoadedForm {

    std::int16_t tempoAt(std::int16_t centreY) {
        form.metronome.Tempo_Change(centreY);
        EXPECT_EQ(form.controls.L_temo.Caption, std::to_string(form.state().Tempo));
        return form.state().Tempo;
    }
};

} // namespace

TEST_F(TempoFromWeight, AboveAndAtTheFirstTickIsForty) {
    EXPECT_EQ(tempoAt(0), 40);
    EXPECT_EQ(tempoAt(749), 40);
    EXPECT_EQ(tempoAt(750), 40);
    EXPECT_EQ(tempoAt(765), 40); // 40.36, the highest centre a drag reaches
}

TEST_F(TempoFromWeight, EveryTickGivesItsOwnMark) {
    for (std::int16_t i = 0; i <= 16; ++i) {
        const auto y = static_cast<std::int16_t>(form.controls.Line1(i).Y1);
        EXPECT_EQ(std::to_string(tempoAt(y)), form.controls.L_Tem1(i).Caption) << i;
    }
}

TEST_F(TempoFromWeight, BetweenTicksItInterpolatesAndRoundsHalvesToEven) {
    EXPECT_EQ(tempoAt(3105), 120);
    EXPECT_EQ(tempoAt(3106), 120); // 120.04
    EXPECT_EQ(tempoAt(3120), 121); // 120.6
    EXPECT_EQ(tempoAt(2340), 88);  // 88.5: the even neighbour, not 89
    EXPECT_EQ(tempoAt(2370), 90);  // 89.5
}

TEST_F(TempoFromWeight, BelowTheLastTickItRunsOnTo300AtTheLowestPlace) {
    EXPECT_EQ(tempoAt(4935), 208);
    EXPECT_EQ(tempoAt(4936), 209); // 208.61
    EXPECT_EQ(tempoAt(5010), 254);
    EXPECT_EQ(tempoAt(5085), 300);
}

TEST_F(TempoFromWeight, RisesMonotonicallyOverTheWholeReach) {
    std::int16_t last = 0;
    for (std::int16_t y = 765; y <= 5085; ++y) {
        const std::int16_t t = tempoAt(y);
        EXPECT_GE(t, last) << y;
        EXPECT_GE(t, 40);
        EXPECT_LE(t, 300);
        last = t;
    }
}

TEST_F(TempoFromWeight, ChangesOnlyTheTempoAndItsReadOut) {
    const float top = form.controls.I_Rod.Top;
    tempoAt(4000);
    EXPECT_EQ(form.controls.I_Rod.Top, top) << "the weight is the caller's to move";
    EXPECT_EQ(form.controls.L_temo.Caption, "157");
}
