// Start-up: the defaults of every run, shown on the controls, and the one message when the
// clicks cannot be loaded.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace metro;

using StartedForm = test::LoadedForm;

TEST_F(StartedForm, OpensAt120WithTwoBeatsStoppedAndSaysOnceThatThereIsNoSound) {
    EXPECT_EQ(s.Tempo, 120);
    EXPECT_EQ(c.L_temo.Caption, "120");
    const auto mark = std::find_if(c.L_Tem1.begin(), c.L_Tem1.end(),
                                   [](const Label& m) { return m.Caption == "120"; });
    EXPECT_EQ(c.I_Rod.Top + c.I_Rod.Height / 2, c.Line1(mark->Index).Y1) << "on its mark";
    for (const Label& button : c.L_Metro)
        EXPECT_EQ(button.ForeColor == 0xFFFFFFu, button.Index == 2) << button.Index;
    // No timer runs while stopped; the recording window's program folder has no clicks.
    EXPECT_FALSE(s.Playing);
    EXPECT_FALSE(s.SoundOff);
    EXPECT_FALSE(s.ScaleShown);
    EXPECT_FALSE(c.Line1(0).Visible);
    EXPECT_FALSE(window.framesRunning);
    EXPECT_FALSE(s.SoundReady);
    EXPECT_EQ(window.messages, std::vector<std::string>{"DirectSound Initialize Error!"});
}
