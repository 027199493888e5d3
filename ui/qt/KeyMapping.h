#pragma once
// Qt's key and pointer events in the numbers the window's handlers take: virtual-key codes
// by key identity (so Shift+1 is still the key 1), modifier bits 1 Shift, 2 Ctrl, 4 Alt, and
// pointer buttons 1 left, 2 right, 4 middle.

#include <Qt>
#include <cstdint>

class QKeyEvent;

namespace metro {

std::int16_t virtualKeyCode(const QKeyEvent& event);
std::int16_t shiftState(Qt::KeyboardModifiers modifiers);
std::int16_t buttonBits(Qt::MouseButtons buttons);

} // namespace metro
