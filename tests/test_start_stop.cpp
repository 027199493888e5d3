// Start-up: the click set-up (both clicks into slots 1 and 2, or a failure that stops at the
// first missing piece; the files are looked for beside the program, not in the working
// folder), the defaults of every run shown on the controls, and the one message when the
// clicks cannot be loaded. Start and stop, the pendulum's swing between them, and closing.

#include "engine/SoundInit.h"
#include "support/LoadedForm.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

using namespace metro;

namespace {

// Accent and plain click there or not, a device or none; the outcome, the two slots, and the
// one line on standard error (a path in the program's folder, or "no sound device").
struct ClickSetUp {
    bool accent, plain, device, ready;
    std::int16_t accentSlot, beatSlot;
    const char* said;
    bool fromWorkingFolder = false; // the clicks lie in the working folder, not the program's
};

struct Stopped : test::LoadedForm {
    std::int64_t start = 0;
    void play() {
        start = clock.heard;
        form.I_Play_Click(0);
    }
    // Moves the clock to `ms` milliseconds after the run's first beat and runs one frame.
    void frameAt(std::int64_t ms) {
        clock.heard = start + ms;
        form.metronome.Beat_Frame();
    }
};

} // namespace

TEST(SoundInit, LoadsBothClicksFromTheProgramFolderOrStopsAtTheFirstMissingPiece) {
    for (const ClickSetUp& c :
         {ClickSetUp{true, true, true, true, 1, 2, ""},
          ClickSetUp{false, true, true, false, -1, 0, "metro/1.wav: missing"},
          ClickSetUp{true, false, true, false, 1, -1, "metro/2.wav: missing"},
          ClickSetUp{true, true, false, false, 0, 0, "no sound device"},
          ClickSetUp{true, true, true, false, -1, 0, "metro/1.wav: missing", true}}) {
        test::TempFolder program, working;
        const test::TempFolder& clicksIn = c.fromWorkingFolder ? working : program;
        std::filesystem::create_directory(clicksIn.path() / "metro");
        for (const auto& [wanted, name] :
             {std::pair{c.accent, "metro/1.wav"}, {c.plain, "metro/2.wav"}})
            if (wanted) {
                ASSERT_TRUE(test::writePcm16(clicksIn.file(name), test::steadySound(3000, 480)));
            }
        const auto before = std::filesystem::current_path();
        std::filesystem::current_path(working.path());
        test::RecordingWindow window;
        window.folder = program.path().string();
        MetronomeState state;
        const auto output = c.device ? std::make_shared<OfflineAudioOutput>() : nullptr;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Sound_Init(state, window, [&] { return std::make_unique<Cls_DX7_JP>(output); }),
                  c.ready);
        const std::string said = ::testing::internal::GetCapturedStderr();
        std::filesystem::current_path(before);
        const std::string line =
            std::string(c.said).starts_with("metro/") ? program.file(c.said) : std::string(c.said);
        EXPECT_EQ(said, line.empty() ? "" : "metronome: " + line + "\n");
        // The message box is the window's to show.
        EXPECT_TRUE(window.messages.empty());
        EXPECT_EQ(state.AccentSlot, c.accentSlot);
        EXPECT_EQ(state.BeatSlot, c.beatSlot);
        ASSERT_NE(state.SoundDevice, nullptr);
        EXPECT_EQ(state.SoundDevice->FilePath(2), c.ready ? program.file("metro/2.wav") : "");
    }
}

using StartedForm = test::LoadedForm;

TEST_F(StartedForm, OpensAt120WithTwoBeatsStoppedAndSaysOnceThatThereIsNoSound) {
    // The tempo, its read-out, the weight's centre on the 120 mark's tick (3105), and the beats
    // per measure (its button white alone: Panels).
    EXPECT_EQ(
        std::tuple(s.Tempo, c.L_temo.Caption, c.I_Rod.Top + c.I_Rod.Height / 2, s.BeatsPerMeasure),
        std::tuple(std::int16_t{120}, std::string("120"), 3105.f, std::int16_t{2}));
    // Playing, sound off, the scale and its ticks shown, frames running, sound ready: the
    // recording window's program folder has no clicks.
    EXPECT_EQ(std::tuple(s.Playing, s.SoundOff, s.ScaleShown, c.Line1(0).Visible,
                         window.framesRunning, s.SoundReady),
              std::tuple(false, false, false, false, false, false));
    EXPECT_EQ(window.messages, std::vector<std::string>{"DirectSound Initialize Error!"});
}

// At 120 a beat every 500 ms: the rod passes the vertical on every beat and swings to
// alternate sides between, for beats past 2^31 and 2^32 ms and thirty days after the start;
// stopped there, it is back in the pose of the start. (That the pictures and the frames go
// with playing, the event storm checks.)
TEST_F(Stopped, TheRodSwingsToAlternateSidesForAMonthAndStopsInThePoseOfTheStart) {
    const double amplitude = std::sin(std::numbers::pi / 7);
    const float pivotX = c.Line_Rod.X2, pivotY = c.Line_Rod.Y2;
    const std::array<float, 4> pose{c.Line_Rod.X1, c.Line_Rod.Y1, c.I_Rod.Left, c.I_Rod.Top};
    for (std::int64_t beat : {0, 1, 2, 3, 4294967, 4294968, 5184000, 5184001, 8589934, 8589935}) {
        play();
        const double rodLength = s.RodLength, arm = s.WeightArm;
        frameAt(beat * 500);
        EXPECT_NEAR(c.Line_Rod.X1, pivotX, 0.01) << beat;
        frameAt(beat * 500 + 250);
        const double side = beat % 2 == 0 ? 1 : -1;
        const double weightX = c.I_Rod.Left + c.I_Rod.Width / 2;
        EXPECT_NEAR(c.Line_Rod.X1, pivotX + side * rodLength * amplitude, 0.01) << beat;
        EXPECT_NEAR(weightX, pivotX + side * arm * amplitude, 0.01);
        EXPECT_NEAR(std::hypot(c.Line_Rod.X1 - pivotX, pivotY - c.Line_Rod.Y1), rodLength, 0.01);
        EXPECT_NEAR(std::hypot(weightX - pivotX, pivotY - c.I_Rod.Top - c.I_Rod.Height / 2), arm,
                    0.01);
        form.I_Play_Click(1);
        EXPECT_EQ((std::array{c.Line_Rod.X1, c.Line_Rod.Y1, c.I_Rod.Left, c.I_Rod.Top}), pose);
        EXPECT_FALSE(s.Playing);
    }
}

// Closing while playing (the close box, Esc): the run and its clock end before the sound
// instance they read goes, and a beat frame the timer still delivers touches nothing. A
// second unload: nothing to end, nothing released twice. (Closing in any other state, the
// event storm.)
TEST_F(Stopped, ClosingEndsTheRunBeforeTheSoundDeviceGoesAndOnlyOnce) {
    int clocksEnded = 0;
    bool deviceWhenTheClockWent = false;
    clock.onRunEnd = [&] {
        ++clocksEnded;
        deviceWhenTheClockWent = s.SoundDevice != nullptr;
    };
    // Unloads, clocks ended, the device there when the clock went, playing, frames running,
    // hidden, the device gone.
    using Closed = std::tuple<int, int, bool, bool, bool, bool, bool>;
    const auto closed = [&] {
        return Closed(window.unloads, clocksEnded, deviceWhenTheClockWent, s.Playing,
                      window.framesRunning, window.hidden, s.SoundDevice == nullptr);
    };
    ASSERT_NE(s.SoundDevice, nullptr);
    play();
    frameAt(120);
    const std::array<float, 2> swung{c.Line_Rod.X1, c.I_Rod.Left};
    form.P_X_Click();
    EXPECT_EQ(closed(), Closed(1, 1, true, false, false, true, true));
    frameAt(370);
    EXPECT_EQ((std::array{c.Line_Rod.X1, c.I_Rod.Left}), swung) << "a late frame moves nothing";
    form.Form_Unload();
    EXPECT_EQ(closed(), Closed(1, 1, true, false, false, true, true));
}
