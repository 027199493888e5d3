#pragma once
// Delivers pointer presses, moves and releases (window twips) to the window's handlers the
// way a desktop window does: to the control under the pointer, the topmost that catches it;
// while a button pressed on a control is held, to that control; while a control holds the
// pointer capture, to that control whatever the pointer's place. A click is a left press
// and release on the same control. Positions handed on are relative to the receiving
// control. Form1 owns its router and sets and releases the capture on it.

#include "model/Controls.h"

#include <cstdint>

namespace metro {

class Form1;

class PointerRouter {
public:
    explicit PointerRouter(Form1& form) : form_(form) {}

    // button: the one pressed or released; held: the bit set held after the event.
    void press(std::int16_t button, std::int16_t shift, float x, float y);
    void move(std::int16_t held, std::int16_t shift, float x, float y);
    void release(std::int16_t button, std::int16_t held, std::int16_t shift, float x, float y);

    // The capture as the handlers set it (nullptr: the window itself). Releasing it also
    // ends the hold of a pressed button on a control.
    void setCapture(const Control* target);
    void releaseCapture();
    bool captured() const { return captured_; }
    const Control* captureTarget() const { return captureTarget_; }

private:
    // The control that receives an event at (x, y); nullptr: the window's background.
    const Control* receiver(float x, float y) const;

    Form1& form_;
    bool captured_ = false;
    const Control* captureTarget_ = nullptr;
    bool grabbed_ = false; // a button went down on grabTarget_ and is still held
    const Control* grabTarget_ = nullptr;
};

} // namespace metro
