#pragma once
// The window's logic: its controls, the metronome and every event handler of the window.
// The Qt window turns key and pointer events into these calls (key codes as virtual-key
// numbers, pointer positions in twips relative to the receiving control, buttons as the bit
// set 1 left, 2 right, 4 middle) and paints the controls; nothing here knows of Qt.

#include "engine/Metronome.h"
#include "model/WindowServices.h"
#include "model/WindowLayout.h"

#include <cstdint>

namespace metro {

enum MouseButton : std::int16_t { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

class Form1 {
public:
    explicit Form1(WindowServices& window);

    WindowLayout controls;
    Metronome metronome;
    MetronomeState& state() { return metronome.state; }

    void Form_Load() { metronome.Form_Load(); }
    void Form_Unload();

    // Keyboard (Keyboard.cpp): commands act on release.
    void Form_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
    void Form_KeyUp(std::int16_t KeyCode, std::int16_t Shift);

    // Pointer (Pointer.cpp).
    void I_Rod_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void I_Rod_MouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Form_MouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Form_MouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void P_X_MouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void P_X_Click();

    // Buttons (Panels.cpp).
    void I_Play_Click(std::int16_t Index) { metronome.I_Play_Click(Index); }
    void I_Speaker_Click();
    void I_Scale_Click();
    void L_Metro_Click(std::int16_t Index);
    void L_Tem1_Click(std::int16_t Index);

private:
    WindowServices& window_;
};

} // namespace metro
