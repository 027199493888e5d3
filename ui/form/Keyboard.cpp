#include "ui/form/Form1.h"

namespace metro {

namespace {
// Virtual-key numbers of the commands.
enum Key : std::int16_t {
    Escape = 27,
    Enter = 13,
    Space = 32,
    Digit1 = 49,
    Digit8 = 56,
    Keypad1 = 97,
    Keypad8 = 104,
    KeypadPlus = 107,
    KeypadMinus = 109,
    PlusEquals = 187,
    Minus = 189,
    LetterT = 84,
};
constexpr float weightStep = 15; // twips along the rod per plus or minus
} // namespace

void Form1::Form_KeyDown(std::int16_t, std::int16_t) {
    state().KeyIsDown = true;
}

void Form1::Form_KeyUp(std::int16_t KeyCode, std::int16_t) {
    MetronomeState& s = state();
    if (!s.KeyIsDown)
        return; // no press seen since the last command
    if (KeyCode == Escape) {
        window_.unloadWindow();
    } else if (KeyCode >= Digit1 && KeyCode <= Digit8) {
        L_Metro_Click(static_cast<std::int16_t>(KeyCode - '0'));
    } else if (KeyCode >= Keypad1 && KeyCode <= Keypad8) {
        L_Metro_Click(static_cast<std::int16_t>(KeyCode - 48 - '0'));
    } else if (KeyCode == Space) {
        I_Speaker_Click();
    } else if (KeyCode == Enter) {
        I_Play_Click(s.Playing ? 1 : 0);
    } else if (KeyCode == KeypadPlus || KeyCode == PlusEquals) {
        s.DragOffsetY = 0;
        I_Rod_MouseMove(LeftButton, 0, 0, weightStep);
    } else if (KeyCode == KeypadMinus || KeyCode == Minus) {
        s.DragOffsetY = 0;
        I_Rod_MouseMove(LeftButton, 0, 0, -weightStep);
    } else if (KeyCode == LetterT) {
        I_Scale_Click();
    }
    // Also after Esc: the window may be gone, but this object still is.
    s.KeyIsDown = false;
}

} // namespace metro
