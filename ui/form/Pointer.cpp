#include "ui/form/Form1.h"

#include "engine/TempoSearch.h"
#include "model/Rounding.h"
#include "model/TempoScale.h"

#include <algorithm>
#include <cstdlib>

namespace metro {

namespace {
constexpr float kReleaseBandTop = 735, kReleaseBandBottom = 5100; // background clicks, twips
constexpr std::int32_t kWheelNotch = 120;                         // eighths of a degree
// More notches than the whole scale has tempos change nothing more.
constexpr std::int32_t kMostNotches = TempoScale::kFastestTempo - TempoScale::kSlowestTempo;
} // namespace

Form1::Form1(WindowServices& window, MetronomeFactories factories)
    : metronome(controls, window, std::move(factories)), window_(window) {}

void Form1::I_Rod_MouseDown(std::int16_t Button, std::int16_t, float, float Y) {
    if (state().Playing || Button != LeftButton)
        return;
    state().DragOffsetY = toInt16(Y);
}

void Form1::I_Rod_MouseMove(std::int16_t Button, std::int16_t, float, float Y) {
    if (state().Playing || Button != LeftButton)
        return;
    PictureBox& weight = controls.I_Rod;
    // Saturating: a captured pointer far outside the window still ends within the limits.
    std::int16_t top = toInt16(weight.Top - state().DragOffsetY + Y);
    const auto [highest, lowest] = weightReach(controls);
    if (highest > top)
        top = highest;
    if (lowest < top) // tested after the upper limit
        top = lowest;
    weight.Top = top;
    metronome.Tempo_Change(toInt16(top + weight.Height / 2));
}

void Form1::Form_MouseUp(std::int16_t, std::int16_t, float X, float Y) {
    if (state().Playing)
        return;
    if (Y >= kReleaseBandTop && Y <= kReleaseBandBottom) {
        // Any button: the weight's centre jumps to the pointer's height.
        state().DragOffsetY = 0;
        const PictureBox& weight = controls.I_Rod;
        I_Rod_MouseMove(LeftButton, 0, X, Y - weight.Top - weight.Height / 2);
    }
}

void Form1::Form_MouseMove(std::int16_t Button, std::int16_t, float X, float Y) {
    if (state().Playing)
        return;
    PictureBox& box = controls.P_X;
    const bool inTitleBand = 0 < Y && Y < box.Height && 0 < X && X < controls.Width;
    if (!inTitleBand) {
        releasePointer();
        return;
    }
    const bool overCloseBox =
        box.Left < X && X < box.Left + box.Width && box.Top < Y && Y < box.Top + box.Height;
    if (overCloseBox) {
        box.Visible = true;
        capturePointer(&box);
        return;
    }
    box.Visible = false;
    capturePointer(nullptr);
    if (Button == LeftButton) {
        releasePointer();
        window_.startSystemMove();
    }
}

void Form1::P_X_MouseMove(std::int16_t, std::int16_t, float X, float Y) {
    PictureBox& box = controls.P_X;
    if (0 < X && X < box.Width && 0 < Y && Y < box.Height) {
        box.Visible = true;
        capturePointer(&box);
    } else {
        box.Visible = false;
        releasePointer();
    }
}

void Form1::Tempo_Seek(std::int16_t Target) {
    if (state().Playing)
        return;
    const auto top = weightTopForTempo(controls, Target);
    if (!top)
        return;
    state().DragOffsetY = 0; // a move the program makes itself
    I_Rod_MouseMove(LeftButton, 0, 0, *top - controls.I_Rod.Top);
}

void Form1::Form_MouseWheel(std::int32_t Delta) {
    if (state().Playing) {
        wheelRest_ = 0;
        return;
    }
    if ((Delta < 0) != (wheelRest_ < 0))
        wheelRest_ = 0; // turned back: count afresh from here
    const std::int32_t limit = kMostNotches * kWheelNotch;
    wheelRest_ = std::clamp(wheelRest_ + std::clamp(Delta, -limit, limit), -limit, limit);
    const std::int32_t notches = wheelRest_ / kWheelNotch; // whole notches, towards zero
    wheelRest_ -= notches * kWheelNotch;
    for (std::int32_t i = 0; i < std::abs(notches); ++i)
        Tempo_Seek(static_cast<std::int16_t>(state().Tempo + (notches < 0 ? 1 : -1)));
}

void Form1::capturePointer(const Control* target) {
    pointer.setCapture(target);
    window_.setCapture();
}

void Form1::releasePointer() {
    pointer.releaseCapture();
    window_.releaseCapture();
}

void Form1::P_X_Click() {
    window_.unloadWindow();
}

} // namespace metro
