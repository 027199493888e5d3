// Qt's key events as the window's key handlers take them: each key as X11 and Wayland report
// it on a layout (its XKB key code, its key symbol, Qt's key and text) and the virtual-key code
// it must give.

#include "ui/form/KeyCodes.h"
#include "ui/form/MouseButtons.h"
#include "ui/qt/KeyMapping.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <tuple>

using namespace metro;

namespace {

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
    // Russian: T's place types a Cyrillic letter; = and - type themselves.
    {"Russian T place", 28, 0x6c5, 0x415, "\u0435", kNone, vk::LetterT},
    {"Russian R place", 27, 0x6cb, 0x41a, "\u043a", kNone, vk::NoCommand},
    {"Russian =", 21, 0x3d, Qt::Key_Equal, "=", kNone, vk::PlusEquals},
    {"Russian -", 20, 0x2d, Qt::Key_Minus, "-", kNone, vk::Minus},
    // Greek and Thai: letters of their own in T's, plus's and minus's places.
    {"Greek T place", 28, 0x7f4, 0x3a4, "\u03c4", kNone, vk::LetterT},
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

TEST(KeyMapping, EachKeyGivesTheCodeOfItsIdentityOnItsLayout) {
    for (const auto& [what, place, symbol, key, text, modifiers, code] : kStrokes) {
        const QKeyEvent event(QEvent::KeyPress, key, modifiers, place, symbol, 0,
                              QString::fromUtf8(text));
        EXPECT_EQ(virtualKeyCode(event), code) << what;
    }
}

TEST(KeyMapping, ModifiersAndButtonsAreBitSets) {
    EXPECT_EQ(shiftState(Qt::ShiftModifier | Qt::AltModifier), ShiftDown | AltDown);
    EXPECT_EQ(shiftState(Qt::ControlModifier | Qt::KeypadModifier), CtrlDown);
    EXPECT_EQ(buttonBits(Qt::LeftButton | Qt::MiddleButton), LeftButton | MiddleButton);
    EXPECT_EQ(buttonBits(Qt::RightButton | Qt::BackButton), RightButton);
}
