#pragma once
// Pointer buttons as the window's pointer handlers take them: one bit each, so an event can
// name the button pressed or released, or the set held during a move.

#include <cstdint>

namespace metro {

enum MouseButton : std::int16_t { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

} // namespace metro
