// The sound and scale buttons, the beat-count buttons and the tempo marks. (Which of them act
// during play: the pointer's tests.)

#include "support/LoadedForm.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace metro;

using Panels = test::LoadedForm;

TEST_F(Panels, TheSoundButtonShowsWhatIsHeardAndTheScaleHidesDuringPlay) {
    // The last tick, mark and key help shown, and the button's picture (that every tick, mark
    // and help go together, the event storm checks after each of its events).
    const auto shown = [&](bool visible) {
        EXPECT_EQ(std::tuple(c.Line1(16).Visible, c.L_Tem1(16).Visible, c.Label2(9).Visible,
                             c.I_Scale.Picture),
                  std::tuple(visible, visible, visible, visible ? "t" : "tx"));
    };
    form.I_Scale_Click();
    shown(true);
    form.I_Play_Click(0);
    shown(false);
    for (bool off : {true, false, true}) { // also during play
        form.I_Speaker_Click();
        EXPECT_EQ(s.SoundOff, off);
        EXPECT_EQ(c.I_Speaker.Picture, off ? "sx" : "s");
    }
    EXPECT_TRUE(s.Playing) << "muting does not stop the pendulum";
    form.I_Play_Click(1);
    shown(true);
    form.I_Scale_Click();
    form.I_Play_Click(0);
    form.I_Play_Click(1);
    shown(false);
}

TEST_F(Panels, OnlyTheChosenBeatButtonIsWhiteWhateverWasChosenBefore) {
    form.I_Play_Click(0); // also during play
    for (std::int16_t from = 1; from <= 8; ++from) {
        for (std::int16_t to = 1; to <= 8; ++to) {
            form.L_Metro_Click(from);
            form.L_Metro_Click(to);
            EXPECT_EQ(s.BeatsPerMeasure, to);
            for (const Label& b : c.L_Metro)
                EXPECT_EQ(b.ForeColor, b.Index == to ? 0xFFFFFFu : 0xC0C0C0u) << from << to;
        }
    }
}

TEST_F(Panels, ATempoMarkPutsTheWeightOnItsTickWithItsOwnTempo) {
    for (const Label& mark : c.L_Tem1) {
        form.L_Tem1_Click(mark.Index);
        EXPECT_EQ(c.I_Rod.Top + c.I_Rod.Height / 2, c.Line1(mark.Index).Y1);
        EXPECT_EQ(c.L_temo.Caption, mark.Caption);
        EXPECT_EQ(std::to_string(s.Tempo), mark.Caption);
    }
}

TEST_F(Panels, AHiddenPlayButtonTakesNoClick) {
    // Play while running: the run goes on, its rest pose the upright one of its start.
    form.I_Play_Click(0);
    const auto upright = s.RestPose;
    clock.heard += 125; // a quarter beat at 120: the rod leans
    form.metronome.Beat_Frame();
    ASSERT_NE(c.Line_Rod.X1, c.Line_Rod.X2);
    form.I_Play_Click(0);
    EXPECT_EQ(s.RestPose, upright);
    EXPECT_TRUE(s.Playing);
    form.I_Play_Click(1);
    EXPECT_EQ(c.Line_Rod.X1, c.Line_Rod.X2) << "stopped upright";

    // Stop while stopped: the weight moved since the last stop stays where it was put.
    form.L_Tem1_Click(3);
    const float top = c.I_Rod.Top;
    form.I_Play_Click(1);
    EXPECT_EQ(c.I_Rod.Top, top);
    // Indexes of no button: nothing, not a fault.
    for (std::int16_t none : {-1, 2, 32767})
        form.I_Play_Click(none);
    EXPECT_FALSE(s.Playing);
    EXPECT_EQ(c.I_Rod.Top, top);
}
