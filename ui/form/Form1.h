#pragma once
// The window's logic: its controls, the metronome and every event handler of the window.
// The Qt window turns key and pointer events into these calls (key codes as virtual-key
// numbers, KeyCodes.h; pointer positions in twips relative to the receiving control, buttons
// as the bits of MouseButtons.h) and paints the controls; nothing here knows of Qt.

#include "engine/Metronome.h"
#include "model/WindowLayout.h"
#include "model/WindowServices.h"
#include "ui/form/KeyCodes.h"
#include "ui/form/MouseButtons.h"
#include "ui/form/PointerRouter.h"

#include <cstdint>

namespace metro {

class Form1 {
public:
    // `factories`: what the metronome makes for itself (the program's own by default).
    explicit Form1(WindowServices& window, MetronomeFactories factories = {});

    WindowLayout controls;
    Metronome metronome;
    // Pointer events from the platform go in here; it calls the pointer handlers below.
    PointerRouter pointer{*this};
    MetronomeState& state() { return metronome.state; }

    void Form_Load() { metronome.Form_Load(); }
    void Form_Unload() { metronome.Form_Unload(); }

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

    // Tempo one beat per minute at a time (Pointer.cpp), for the wheel and assistive tools:
    // while stopped, the weight goes to the height nearest its own whose tempo is exactly
    // Target, through the weight's move handler; nothing happens where no height within the
    // weight's reach gives Target.
    void Tempo_Seek(std::int16_t Target);
    // Delta: the wheel's turn in eighths of a degree, 120 a notch, negative towards the
    // user. Each whole notch towards the user is one beat per minute faster, away slower;
    // smaller deltas add up. Nothing while playing.
    void Form_MouseWheel(std::int32_t Delta);

    // Buttons (Panels.cpp). Only a play button that shows takes a click, whether it comes
    // from the pointer, Enter or a screen reader.
    void I_Play_Click(std::int16_t Index);
    void I_Speaker_Click();
    void I_Scale_Click();
    void L_Metro_Click(std::int16_t Index);
    void L_Tem1_Click(std::int16_t Index);

private:
    // The pointer capture: the control that gets every pointer event (nullptr: the window),
    // held by the router, with the platform's grab so that events outside the window come.
    void capturePointer(const Control* target);
    void releasePointer();

    WindowServices& window_;
    std::int32_t wheelRest_ = 0; // the wheel's turn short of a whole notch
};

} // namespace metro
