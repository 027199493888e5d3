// The keyboard: commands on release, one per key stroke, the same handlers as the pointer.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"
#include "ui/form/KeyCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace metro;
using namespace metro::vk;

namespace {

struct Keyboard : test::LoadedForm {
    void stroke(std::int16_t key, std::int16_t shift = 0) {
        form.Form_KeyDown(key, shift);
        form.Form_KeyUp(key, shift);
    }
};

} // namespace

TEST_F(Keyboard, DigitsOfBothRowsChooseTheBeatsPerMeasureAndZeroAndNineNothing) {
    for (std::int16_t d = 1; d <= 8; ++d) {
        stroke(static_cast<std::int16_t>('0' + d));
        EXPECT_EQ(std::tuple(s.BeatsPerMeasure, c.L_Metro(d).ForeColor), std::tuple(d, 0xFFFFFFu));
        stroke(static_cast<std::int16_t>(Keypad0 + (9 - d)));
        EXPECT_EQ(s.BeatsPerMeasure, 9 - d);
    }
    stroke('2', 1); // Shift does not change a command
    for (std::int16_t key : {Digit0, Digit9, Keypad0, Keypad9}) {
        stroke(key);
        EXPECT_EQ(std::tuple(s.KeyIsDown, s.BeatsPerMeasure), std::tuple(false, 2))
            << "the stroke ends, nothing else: " << key;
    }
    form.Form_KeyUp('5', 0); // a release without a press does nothing
    EXPECT_EQ(s.BeatsPerMeasure, 2);
}

TEST_F(Keyboard, AHeldKeyGivesOneCommandAndOfOverlappingKeysOnlyTheFirstReleasedActs) {
    for (int i = 0; i < 10; ++i)
        form.Form_KeyDown(PlusEquals, 0); // auto-repeat presses
    form.Form_KeyUp(PlusEquals, 0);
    EXPECT_EQ(c.I_Rod.Top, 3045) << "one 15-twip step";
    // Shift down, plus down, plus up, Shift up: one step; then the Shift release first
    // consumes the stroke.
    for (const bool shiftFirst : {false, true}) {
        form.Form_KeyDown(Shift, 0);
        form.Form_KeyDown(PlusEquals, 1);
        form.Form_KeyUp(shiftFirst ? Shift : PlusEquals, shiftFirst ? 0 : 1);
        form.Form_KeyUp(shiftFirst ? PlusEquals : Shift, 0);
        EXPECT_EQ(c.I_Rod.Top, 3060);
    }
}

TEST_F(Keyboard, PlusAndMinusStepTheWeight15TwipsWithinItsLimits) {
    stroke(KeypadPlus);
    EXPECT_EQ(c.I_Rod.Top, 3045);
    stroke(Minus);
    stroke(KeypadMinus);
    EXPECT_EQ(std::tuple(c.I_Rod.Top, s.DragOffsetY), std::tuple(3015.f, std::int16_t{0}));
    // From the mark 40 (top 675), minus and plus both end at the upper limit 690.
    form.I_Scale_Click();
    for (const std::int16_t key : {Minus, PlusEquals}) {
        form.L_Tem1_Click(0);
        stroke(key);
        EXPECT_EQ(c.I_Rod.Top, 690) << key;
    }
    // At the lowest place, plus sets the same tempo again.
    form.I_Rod_MouseMove(LeftButton, 0, 0, 20000);
    c.L_temo.Caption = "stale";
    stroke(PlusEquals);
    EXPECT_EQ(std::tuple(c.I_Rod.Top, c.L_temo.Caption), std::tuple(5010.f, std::string("300")));
}

TEST_F(Keyboard, DuringPlayOnlyEscBeatsSpaceAndEnterAct) {
    stroke(LetterT, 1);
    EXPECT_EQ(std::tuple(s.ScaleShown, c.L_Tem1(0).Visible), std::tuple(true, true));
    stroke(LetterT);
    stroke(Enter);
    ASSERT_TRUE(s.Playing);
    for (const std::int16_t key : {PlusEquals, Minus, LetterT, std::int16_t{'4'}, Space})
        stroke(key);
    // Weight top, scale, beats, sound off: only the beats and the sound act during play.
    EXPECT_EQ(std::tuple(c.I_Rod.Top, s.ScaleShown, s.BeatsPerMeasure, s.SoundOff),
              std::tuple(3030.f, false, std::int16_t{4}, true));
    stroke(Enter);
    EXPECT_FALSE(s.Playing);
    stroke(Enter);
    stroke(Escape); // closing during play: Stopped.ClosingEndsTheRun...
    // Unloads, playing, a key down, the device gone.
    EXPECT_EQ(std::tuple(window.unloads, s.Playing, s.KeyIsDown, s.SoundDevice == nullptr),
              std::tuple(1, false, false, true));
}
