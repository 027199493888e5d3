#include "ui/form/Form1.h"

#include "model/Rounding.h"

namespace metro {

namespace {
constexpr float aboveRodTop = 30; // the weight's top may rise this far above the rod's top
constexpr float abovePivot = 45;  // the weight's bottom stays this far above the pivot
constexpr float releaseBandTop = 735, releaseBandBottom = 5100; // background clicks, twips
} // namespace

Form1::Form1(WindowServices& window) : metronome(controls, window), window_(window) {}

void Form1::I_Rod_MouseDown(std::int16_t Button, std::int16_t, float, float Y) {
    if (state().Playing || Button != LeftButton)
        return;
    state().DragOffsetY = toInt16(Y);
}

void Form1::I_Rod_MouseMove(std::int16_t Button, std::int16_t, float, float Y) {
    if (state().Playing || Button != LeftButton)
        return;
    PictureBox& weight = controls.I_Rod;
    const Line& rod = controls.Line_Rod;
    // Saturating: a captured pointer far outside the window still ends within the limits.
    std::int16_t top = toInt16(weight.Top - state().DragOffsetY + Y);
    if (rod.Y1 - aboveRodTop > top)
        top = toInt16(rod.Y1 - aboveRodTop);
    if (rod.Y2 - abovePivot - weight.Height < top)
        top = toInt16(rod.Y2 - abovePivot - weight.Height);
    weight.Top = top;
    metronome.Tempo_Change(toInt16(top + weight.Height / 2));
}

void Form1::Form_MouseUp(std::int16_t, std::int16_t, float X, float Y) {
    if (state().Playing)
        return;
    if (Y >= releaseBandTop && Y <= releaseBandBottom) {
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
        window_.releaseCapture();
        return;
    }
    const bool overCloseBox =
        box.Left < X && X < box.Left + box.Width && box.Top < Y && Y < box.Top + box.Height;
    if (overCloseBox) {
        box.Visible = true;
        window_.setCapture(&box);
        return;
    }
    box.Visible = false;
    window_.setCapture(nullptr);
    if (Button == LeftButton) {
        window_.releaseCapture();
        window_.startSystemMove();
    }
}

void Form1::P_X_MouseMove(std::int16_t, std::int16_t, float X, float Y) {
    PictureBox& box = controls.P_X;
    if (0 < X && X < box.Width && 0 < Y && Y < box.Height) {
        box.Visible = true;
        window_.setCapture(&box);
    } else {
        box.Visible = false;
        window_.releaseCapture();
    }
}

void Form1::P_X_Click() {
    window_.unloadWindow();
}

void Form1::Form_Unload() {
    state().Playing = false;
    window_.hideWindow();
    state().SoundDevice.reset(); // stops and releases every click and the device
}

} // namespace metro
