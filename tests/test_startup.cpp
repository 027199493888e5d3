// Start-up and the four display routines.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

using namespace metro;

namespace {

struct StartedForm : test::LoadedForm {

    int whiteBeatButtons() const {
        int white = 0;
        for (const Label& b : c.L_Metro) {
            EXPECT_TRUE(b.ForeColor == 0xFFFFFFu || b.ForeColor == 0xC0C0C0u);
            white += b.ForeColor == 0xFFFFFFu;
        }
        return white;
    }
};

} // namespace

TEST_F(StartedForm, StandsTheRodUprightWithTheWeightOnTheMark120) {
    EXPECT_EQ(c.Line_Rod.X1, 2085);
    EXPECT_EQ(c.Line_Rod.X2, 2085);
    EXPECT_EQ(c.Line_Rod.Y1, 720);
    EXPECT_EQ(c.Line_Rod.Y2, 5205);
    EXPECT_EQ(c.I_Rod.Left + c.I_Rod.Width / 2, 2085);
    EXPECT_EQ(c.I_Rod.Top + c.I_Rod.Height / 2, 3105);
    EXPECT_EQ(c.I_Rod.Top + c.I_Rod.Height / 2, c.Line1(11).Y1) << "centred on the 120 tick";
    EXPECT_EQ(c.I_Rod.Width, 150);
}

TEST_F(StartedForm, SetsTheDefaultsOfEveryRun) {
    EXPECT_EQ(s.Tempo, 120);
    EXPECT_EQ(s.BeatsPerMeasure, 2);
    EXPECT_EQ(s.RodBottomY, 5205);
    EXPECT_EQ(s.RodTopY, 720);
    EXPECT_EQ(s.RodLength, 4485);
    EXPECT_FALSE(s.SoundOff);
    EXPECT_FALSE(s.Playing);
    EXPECT_FALSE(s.ScaleShown);
    EXPECT_FALSE(s.KeyIsDown);
    EXPECT_FALSE(s.ScaleWasShown);
    EXPECT_EQ(s.WeightArm, 0);
    EXPECT_EQ(s.DragOffsetY, 0);
    EXPECT_NE(s.SoundDevice, nullptr) << "the sound instance exists even when sound failed";
}

TEST_F(StartedForm, ShowsTheDefaultsInTheWindow) {
    EXPECT_EQ(c.L_temo.Caption, "120");
    EXPECT_EQ(c.L_Metro(2).ForeColor, 0xFFFFFFu);
    EXPECT_EQ(whiteBeatButtons(), 1);
    EXPECT_EQ(c.I_Speaker.Picture, "s");
    EXPECT_EQ(c.I_Scale.Picture, "tx");
    for (const Line& tick : c.Line1)
        EXPECT_FALSE(tick.Visible);
    EXPECT_TRUE(c.I_Play(0).Visible);
    EXPECT_FALSE(c.I_Play(1).Visible);
    EXPECT_FALSE(c.P_X.Visible);
    EXPECT_EQ(c.P_X.Left, 3510);
    EXPECT_EQ(c.P_X.Top, 30);
    EXPECT_EQ(c.P_X.Width, 690);
    EXPECT_EQ(c.P_X.Height, 330);
    EXPECT_FALSE(window.framesRunning) << "no timer runs while stopped";
}

TEST_F(StartedForm, WithoutTheClickFilesTheErrorIsShownOnceAndTheMetronomeIsSilent) {
    // The recording window's program folder has no metro folder.
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "DirectSound Initialize Error!");
    EXPECT_FALSE(s.SoundReady);
}

TEST_F(StartedForm, ExactlyOneBeatButtonIsWhiteAfterAnyBeatsShow) {
    for (std::int16_t from = 1; from <= 8; ++from) {
        for (std::int16_t to = 1; to <= 8; ++to) {
            s.BeatsPerMeasure = from;
            form.metronome.Beats_Show();
            s.BeatsPerMeasure = to;
            form.metronome.Beats_Show();
            EXPECT_EQ(whiteBeatButtons(), 1);
            EXPECT_EQ(c.L_Metro(to).ForeColor, 0xFFFFFFu);
        }
    }
}

TEST_F(StartedForm, ScaleShowShowsAndHidesTicksMarksAndHelpTogether) {
    for (bool show : {true, false, true}) {
        form.metronome.Scale_Show(show);
        EXPECT_EQ(c.I_Scale.Picture, show ? "t" : "tx");
        for (const Line& tick : c.Line1)
            EXPECT_EQ(tick.Visible, show);
        for (const Label& mark : c.L_Tem1)
            EXPECT_EQ(mark.Visible, show);
        for (const Label& help : c.Label2)
            EXPECT_EQ(help.Visible, show);
        EXPECT_FALSE(s.ScaleShown) << "the routine only shows; the toggle is the button's";
    }
}

TEST_F(StartedForm, SpeakerAndTempoReadOutShowTheirValues) {
    form.metronome.Speaker_Show(false);
    EXPECT_EQ(c.I_Speaker.Picture, "sx");
    form.metronome.Speaker_Show(true);
    EXPECT_EQ(c.I_Speaker.Picture, "s");
    s.Tempo = 40;
    form.metronome.Tempo_Show();
    EXPECT_EQ(c.L_temo.Caption, "40");
    s.Tempo = 300;
    form.metronome.Tempo_Show();
    EXPECT_EQ(c.L_temo.Caption, "300");
}
