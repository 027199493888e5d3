#include "ui/form/Form1.h"

namespace metro {

namespace {
constexpr float kWeightStep = 15; // twips along the rod per plus or minus
} // namespace

void Form1::Form_KeyDown(std::int16_t, std::int16_t) {
    state().KeyIsDown = true;
}

void Form1::Form_KeyUp(std::int16_t KeyCode, std::int16_t) {
    MetronomeState& s = state();
    if (!s.KeyIsDown)
        return; // no press seen since the last command
    if (KeyCode == vk::Escape) {
        window_.unloadWindow();
    } else if (KeyCode >= vk::Digit1 && KeyCode <= vk::Digit8) {
        L_Metro_Click(static_cast<std::int16_t>(KeyCode - vk::Digit0));
    } else if (KeyCode >= vk::Keypad1 && KeyCode <= vk::Keypad8) {
        L_Metro_Click(static_cast<std::int16_t>(KeyCode - vk::Keypad0));
    } else if (KeyCode == vk::Space) {
        I_Speaker_Click();
    } else if (KeyCode == vk::Enter) {
        I_Play_Click(s.Playing ? 1 : 0);
    } else if (KeyCode == vk::KeypadPlus || KeyCode == vk::PlusEquals) {
        s.DragOffsetY = 0;
        I_Rod_MouseMove(LeftButton, 0, 0, kWeightStep);
    } else if (KeyCode == vk::KeypadMinus || KeyCode == vk::Minus) {
        s.DragOffsetY = 0;
        I_Rod_MouseMove(LeftButton, 0, 0, -kWeightStep);
    } else if (KeyCode == vk::LetterT) {
        I_Scale_Click();
    }
    // Also after Esc: the window may be gone, but this object still is.
    s.KeyIsDown = false;
}

} // namespace metro
