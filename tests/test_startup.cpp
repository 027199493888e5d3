// Start-up: the defaults of every run, shown on the controls, and the one message when the
// clicks cannot be loaded.

#include "support/LoadedForm.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace metro;

using StartedForm = test::LoadedForm;

TEST_F(StartedForm, OpensAt120WithTwoBeatsStoppedAndSaysOnceThatThereIsNoSound) {
    // The tempo, its read-out, and the weight's centre on the 120 mark's tick (3105).
    EXPECT_EQ(std::tuple(s.Tempo, c.L_temo.Caption, c.I_Rod.Top + c.I_Rod.Height / 2),
              std::tuple(std::int16_t{120}, std::string("120"), 3105.f));
    for (const Label& button : c.L_Metro)
        EXPECT_EQ(button.ForeColor, button.Index == 2 ? 0xFFFFFFu : 0xC0C0C0u) << button.Index;
    // Playing, sound off, the scale and its ticks shown, frames running, sound ready: the
    // recording window's program folder has no clicks.
    EXPECT_EQ(std::tuple(s.Playing, s.SoundOff, s.ScaleShown, c.Line1(0).Visible,
                         window.framesRunning, s.SoundReady),
              std::tuple(false, false, false, false, false, false));
    EXPECT_EQ(window.messages, std::vector<std::string>{"DirectSound Initialize Error!"});
}
