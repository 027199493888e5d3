// Start and stop, and the pendulum's swing between them.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace metro;

namespace {

constexpr std::int16_t play = 0, stop = 1;
constexpr std::int16_t enterKey = 13;

struct Stopped : test::LoadedForm {

    // Moves the clock to `seconds` after the run's first beat and runs one frame.
    void frameAt(double seconds) {
        clock.heard = static_cast<std::int64_t>(std::llround(seconds * clock.ticksPerSecond));
        form.metronome.Beat_Frame();
    }

    void expectAtRest() {
        EXPECT_EQ(c.Line_Rod.X1, 2085);
        EXPECT_EQ(c.Line_Rod.Y1, 720);
        EXPECT_EQ(c.Line_Rod.X2, 2085);
        EXPECT_EQ(c.Line_Rod.Y2, 5205);
    }

    void pressAndRelease(std::int16_t key) {
        form.Form_KeyDown(key, 0);
        form.Form_KeyUp(key, 0);
    }
};

} // namespace

TEST_F(Stopped, StartTakesTheRestPoseSwapsTheButtonsAndRunsFrames) {
    form.I_Play_Click(play);
    EXPECT_TRUE(s.Playing);
    EXPECT_EQ(s.RestPose[0], 2085);
    EXPECT_EQ(s.RestPose[1], 720);
    EXPECT_EQ(s.RestPose[2], 2085);
    EXPECT_EQ(s.RestPose[3], 3105);
    EXPECT_EQ(s.WeightArm, 2100);
    EXPECT_FALSE(c.I_Play(0).Visible);
    EXPECT_TRUE(c.I_Play(1).Visible);
    EXPECT_TRUE(window.framesRunning);
}

TEST_F(Stopped, StopPutsTheRodAndWeightBackWhateverThePhase) {
    for (double at : {0.0, 0.1, 0.25, 0.49, 0.5, 0.77, 12.3456}) {
        form.I_Play_Click(play);
        frameAt(at);
        form.I_Play_Click(stop);
        expectAtRest();
        EXPECT_EQ(c.I_Rod.Left, 2010) << at;
        EXPECT_EQ(c.I_Rod.Top, 3030) << at;
        EXPECT_FALSE(s.Playing);
        EXPECT_TRUE(c.I_Play(0).Visible);
        EXPECT_FALSE(c.I_Play(1).Visible);
        EXPECT_FALSE(window.framesRunning) << "no timer runs while stopped";
    }
}

TEST_F(Stopped, AShownScaleHidesDuringPlayAndComesBackAtStop) {
    form.I_Scale_Click();
    ASSERT_TRUE(c.Line1(0).Visible);
    form.I_Play_Click(play);
    EXPECT_FALSE(c.Line1(0).Visible);
    EXPECT_FALSE(c.L_Tem1(16).Visible);
    EXPECT_FALSE(c.Label2(9).Visible);
    EXPECT_TRUE(s.ScaleShown) << "the toggle itself is left alone";
    form.I_Play_Click(stop);
    EXPECT_TRUE(c.Line1(0).Visible);
    EXPECT_TRUE(c.Label2(9).Visible);
    EXPECT_EQ(c.I_Scale.Picture, "t");
}

TEST_F(Stopped, AHiddenScaleStaysHiddenThroughStartAndStop) {
    form.I_Play_Click(play);
    form.I_Play_Click(stop);
    EXPECT_FALSE(c.Line1(0).Visible);
    EXPECT_EQ(c.I_Scale.Picture, "tx");
}

TEST_F(Stopped, EnterStartsAndTheNextEnterStops) {
    pressAndRelease(enterKey);
    EXPECT_TRUE(s.Playing);
    frameAt(0.3);
    pressAndRelease(enterKey);
    EXPECT_FALSE(s.Playing);
    expectAtRest();
}

TEST_F(Stopped, AStopWithoutARunStillRestoresThePoseAndButtons) {
    form.I_Play_Click(play);
    frameAt(0.25);
    s.Playing = false; // as if the frames had ended on their own
    form.I_Play_Click(stop);
    expectAtRest();
    EXPECT_TRUE(c.I_Play(0).Visible);
}

TEST_F(Stopped, FramesAfterPlayEndedTouchNothing) {
    form.I_Play_Click(play);
    frameAt(0.25);
    const float x = c.Line_Rod.X1;
    s.Playing = false; // the window closing clears it
    frameAt(0.5);
    EXPECT_EQ(c.Line_Rod.X1, x);
    EXPECT_FALSE(window.framesRunning);
}

TEST_F(Stopped, ThePendulumPassesTheVerticalAtEveryBeatAndSwingsFullyBetween) {
    const double amplitude = std::sin(std::numbers::pi / 7);
    const double rodAmp = 4485 * amplitude, weightAmp = 2100 * amplitude;
    form.I_Play_Click(play); // tempo 120: a beat every half second
    for (int beat = 0; beat < 6; ++beat) {
        frameAt(beat * 0.5);
        EXPECT_NEAR(c.Line_Rod.X1, 2085, 0.01) << beat;
        EXPECT_NEAR(c.Line_Rod.Y1, 720, 0.01) << beat;
        frameAt(beat * 0.5 + 0.25);
        const double side = beat % 2 == 0 ? 1 : -1; // the direction changes every beat
        EXPECT_NEAR(c.Line_Rod.X1, 2085 + side * rodAmp, 0.01) << beat;
        EXPECT_NEAR(c.I_Rod.Left + 75, 2085 + side * weightAmp, 0.01) << beat;
    }
    EXPECT_NEAR(rodAmp, 1945.97, 0.01);
}

TEST_F(Stopped, TheRodTopAndWeightStayOnTheirCirclesAboutThePivot) {
    form.I_Play_Click(play);
    for (double t = 0; t < 3; t += 0.0137) {
        frameAt(t);
        const double rodDx = c.Line_Rod.X1 - 2085, rodDy = 5205 - c.Line_Rod.Y1;
        EXPECT_NEAR(std::hypot(rodDx, rodDy), 4485, 0.01) << t;
        const double wDx = c.I_Rod.Left + 75 - 2085, wDy = 5205 - (c.I_Rod.Top + 75);
        EXPECT_NEAR(std::hypot(wDx, wDy), 2100, 0.01) << t;
        EXPECT_EQ(c.Line_Rod.X2, 2085);
        EXPECT_EQ(c.Line_Rod.Y2, 5205);
    }
}

TEST_F(Stopped, TheSwingIsContinuousAndPeriodicForHours) {
    // No jump anywhere: a small step in time is a small step of the rod, also after hours.
    form.I_Play_Click(play);
    const double step = 0.004; // seconds
    double maxMove = 0;
    for (double base : {0.0, 130.9, 3600.0, 36000.0}) {
        frameAt(base);
        float last = c.Line_Rod.X1;
        for (int i = 1; i < 400; ++i) {
            frameAt(base + i * step);
            maxMove = std::max(maxMove, double(std::abs(c.Line_Rod.X1 - last)));
            last = c.Line_Rod.X1;
        }
        // Periodic with two beats: the same place one full swing (1 s at 120) later.
        frameAt(base + 0.123);
        const float x = c.Line_Rod.X1;
        frameAt(base + 1.123);
        EXPECT_NEAR(c.Line_Rod.X1, x, 0.01) << base;
    }
    // Fastest rod-top speed at 120: pi * 1945.97 twips per half second -> ~49 twips / 4 ms.
    EXPECT_LT(maxMove, 50);
}
