// The keyboard: commands on release, one per key stroke, the same handlers as the pointer; and
// Qt's key events as the handlers take them: each key as X11 and Wayland report it on a layout
// (its XKB key code, its key symbol, Qt's key and text) and the virtual-key code it must give.

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"
#include "ui/form/KeyCodes.h"
#include "ui/form/MouseButtons.h"
#include "ui/qt/KeyMapping.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace metro;
using namespace metro::vk;

namespace {

using Keyboard = test::LoadedForm;

// What, the XKB key code (0: a synthetic event), the XKB key symbol (0: none), Qt's key, the
// text, the modifiers, and the virtual-key code the stroke must give.
using Stroke =
    std::tuple<const char*, quint32, quint32, int, const char*, Qt::KeyboardModifiers, int>;

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier, kShift = Qt::ShiftModifier,
                                kPad = Qt::KeypadModifier;

const Stroke kStrokes[] = {
    // US layout.
    {"t", 28, 0x74, Qt::Key_T, "t", kNone, vk::LetterT},
    {"Shift+t", 28, 0x54, Qt::Key_T, "T", kShift, vk::LetterT},
    {"=", 21, 0x3d, Qt::Key_Equal, "=", kNone, vk::PlusEquals},
    {"Shift+=", 21, 0x2b, Qt::Key_Plus, "+", kShift, vk::PlusEquals},
    {"-", 20, 0x2d, Qt::Key_Minus, "-", kNone, vk::Minus},
    {"5", 14, 0x35, Qt::Key_5, "5", kNone, vk::Digit1 + 4},
    {"Shift+1", 10, 0x21, Qt::Key_Exclam, "!", kShift, vk::Digit1},
    {"synthetic Shift+2", 0, 0, Qt::Key_At, "@", kShift, vk::Digit1 + 1},
    {"Esc", 9, 0xff1b, Qt::Key_Escape, "\x1b", kNone, vk::Escape},
    {"Return", 36, 0xff0d, Qt::Key_Return, "\r", kNone, vk::Enter},
    {"space", 65, 0x20, Qt::Key_Space, " ", kNone, vk::Space},
    {"r", 27, 0x72, Qt::Key_R, "r", kNone, vk::LetterA + 17},
    {"[", 34, 0x5b, Qt::Key_BracketLeft, "[", kNone, vk::NoCommand},
    // The keypad: digits, plus, minus and Enter, nothing else.
    {"keypad 4", 83, 0xffb4, Qt::Key_4, "4", kPad, vk::Keypad0 + 4},
    {"keypad +", 86, 0xffab, Qt::Key_Plus, "+", kPad, vk::KeypadPlus},
    {"keypad Enter", 104, 0xff8d, Qt::Key_Enter, "\r", kPad, vk::Enter},
    {"keypad = (no keypad flag)", 125, 0xffbd, Qt::Key_Equal, "=", kNone, vk::NoCommand},
    {"synthetic keypad =", 0, 0, Qt::Key_Equal, "=", kPad, vk::NoCommand},
    {"keypad *", 63, 0xffaa, Qt::Key_Asterisk, "*", kPad, vk::NoCommand},
    // French: the main row types symbols unshifted, and is still the digits.
    {"French 6", 15, 0x2d, Qt::Key_Minus, "-", kNone, vk::Digit1 + 5},
    {"French 8", 17, 0x5f, Qt::Key_Underscore, "_", kNone, vk::Digit8},
    {"French 2", 11, 0xe9, Qt::Key_Eacute, "\u00e9", kNone, vk::Digit1 + 1},
    // Russian: T's place types a Cyrillic letter (= and - type themselves, as on the US
    // layout).
    {"Russian T place", 28, 0x6c5, 0x415, "\u0435", kNone, vk::LetterT},
    {"Russian R place", 27, 0x6cb, 0x41a, "\u043a", kNone, vk::NoCommand},
    // Thai: letters of its own in T's, plus's and minus's places.
    {"Thai T place", 28, 0xdd0, 0xe30, "\u0e30", kNone, vk::LetterT},
    {"Thai = place", 21, 0xdaa, 0xe0a, "\u0e0a", kNone, vk::PlusEquals},
    {"Thai - place", 20, 0xda2, 0xe02, "\u0e02", kNone, vk::Minus},
    // Latin layouts go by the letter typed: Dvorak types y in T's place and t in K's; German
    // types sharp s in minus's place.
    {"Dvorak T place", 28, 0x79, Qt::Key_Y, "y", kNone, vk::LetterA + 24},
    {"Dvorak t", 45, 0x74, Qt::Key_T, "t", kNone, vk::LetterT},
    {"German minus place", 20, 0xdf, Qt::Key_ssharp, "\u00df", kNone, vk::NoCommand},
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

TEST(KeyMapping, EachKeyGivesTheCodeOfItsIdentityOnItsLayout) {
    for (const auto& [what, place, symbol, key, text, modifiers, code] : kStrokes) {
        const QKeyEvent event(QEvent::KeyPress, key, modifiers, place, symbol, 0,
                              QString::fromUtf8(text));
        EXPECT_EQ(virtualKeyCode(event), code) << what;
    }
}

TEST(KeyMapping, ButtonsAreBitSets) {
    EXPECT_EQ(buttonBits(Qt::LeftButton | Qt::MiddleButton), LeftButton | MiddleButton);
    EXPECT_EQ(buttonBits(Qt::RightButton | Qt::BackButton), RightButton);
}
