#pragma once
// Qt's key and pointer events in the numbers the window's handlers take (ui/form/KeyCodes.h,
// ui/form/MouseButtons.h): virtual-key codes by key identity (so Shift+1 is still the key 1;
// the main row's digit keys by their place on every layout, and T, plus/equals and minus by
// theirs where the layout types another alphabet there), modifier bits and pointer button
// bits. Keys the table does not name, the keypad's "=" among them, give vk::NoCommand.

#include <Qt>
#include <cstdint>

class QKeyEvent;

namespace metro {

std::int16_t virtualKeyCode(const QKeyEvent& event);
std::int16_t shiftState(Qt::KeyboardModifiers modifiers);
std::int16_t buttonBits(Qt::MouseButtons buttons);

} // namespace metro
