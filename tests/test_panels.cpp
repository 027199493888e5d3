// The sound and scale buttons, the beat-count buttons and the tempo marks.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

using namespace metro;

namespace {

using Panels = test::LoadedForm;

} // namespace

TEST_F(Panels, TheSoundButtonTogglesAlsoDuringPlay) {
    form.I_Speaker_Click();
    EXPECT_TRUE(s.SoundOff);
    EXPECT_EQ(c.I_Speaker.Picture, "sx");
    form.I_Play_Click(0);
    form.I_Speaker_Click();
    EXPECT_FALSE(s.SoundOff);
    EXPECT_EQ(c.I_Speaker.Picture, "s");
    EXPECT_TRUE(s.Playing) << "muting does not stop the pendulum";
}

TEST_F(Panels, TheScaleButtonShowsEverythingTogetherAndIsInertDuringPlay) {
    form.I_Scale_Click();
    EXPECT_TRUE(s.ScaleShown);
    EXPECT_EQ(c.I_Scale.Picture, "t");
    EXPECT_TRUE(c.Line1(16).Visible && c.L_Tem1(16).Visible && c.Label2(0).Visible);
    form.I_Play_Click(0);
    form.I_Scale_Click();
    EXPECT_TRUE(s.ScaleShown);
    EXPECT_EQ(c.I_Scale.Picture, "tx") << "start hid the scale with its button's picture";
    EXPECT_FALSE(c.Line1(16).Visible);
    form.I_Play_Click(1);
    EXPECT_EQ(c.I_Scale.Picture, "t");
    form.I_Scale_Click();
    EXPECT_FALSE(s.ScaleShown);
    EXPECT_EQ(c.I_Scale.Picture, "tx");
    EXPECT_FALSE(c.Line1(0).Visible || c.L_Tem1(0).Visible || c.Label2(9).Visible);
}

TEST_F(Panels, ABeatButtonDuringPlayIsAtOnceTheOnlyWhiteOne) {
    form.I_Play_Click(0);
    form.L_Metro_Click(5);
    EXPECT_EQ(s.BeatsPerMeasure, 5);
    for (const Label& b : c.L_Metro)
        EXPECT_EQ(b.ForeColor, b.Index == 5 ? 0xFFFFFFu : 0xC0C0C0u);
}

TEST_F(Panels, ATempoMarkPutsTheWeightOnItsTickWithTheMarksOwnTempo) {
    form.L_Tem1_Click(11);
    EXPECT_EQ(c.I_Rod.Top, 3030);
    EXPECT_EQ(s.Tempo, 120);
    form.L_Tem1_Click(0);
    EXPECT_EQ(c.I_Rod.Top, 675) << "15 twips above what a drag can reach";
    EXPECT_EQ(s.Tempo, 40);
    EXPECT_EQ(c.L_temo.Caption, "40");
    form.L_Tem1_Click(16);
    EXPECT_EQ(c.I_Rod.Top, 4860);
    EXPECT_EQ(s.Tempo, 208);
    EXPECT_EQ(c.I_Rod.Left, 2010);
    form.I_Play_Click(0);
    form.L_Tem1_Click(3);
    EXPECT_EQ(s.Tempo, 208) << "inert during play";
}
