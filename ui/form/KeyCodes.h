#pragma once
// The numbers the window's key handlers take: virtual-key codes of the desktop the window was
// made for, and the modifier bits that come with them. The Qt window maps its key events to
// these (ui/qt/KeyMapping.cpp); Form_KeyUp reads them (ui/form/Keyboard.cpp).

#include <cstdint>

namespace metro {

namespace vk {
constexpr std::int16_t Enter = 13; // also the keypad's Enter
constexpr std::int16_t Shift = 16;
constexpr std::int16_t Control = 17;
constexpr std::int16_t Alt = 18;
constexpr std::int16_t Escape = 27;
constexpr std::int16_t Space = 32;
constexpr std::int16_t Digit0 = 48; // main row: the digit's own character, '0' to '9'
constexpr std::int16_t Digit1 = 49;
constexpr std::int16_t Digit8 = 56;
constexpr std::int16_t Digit9 = 57;
constexpr std::int16_t LetterA = 65; // letters: their capital's character
constexpr std::int16_t LetterT = 84;
constexpr std::int16_t LetterZ = 90;
constexpr std::int16_t Keypad0 = 96; // keypad digits: Keypad0 + the digit
constexpr std::int16_t Keypad1 = 97;
constexpr std::int16_t Keypad8 = 104;
constexpr std::int16_t Keypad9 = 105;
constexpr std::int16_t KeypadPlus = 107;
constexpr std::int16_t KeypadMinus = 109;
constexpr std::int16_t PlusEquals = 187; // the main keyboard's plus/equals key
constexpr std::int16_t Minus = 189;      // the main keyboard's minus key
constexpr std::int16_t NoCommand = 255;  // any key the window has no use for
} // namespace vk

// The modifier state that accompanies a key or pointer event.
enum ShiftMask : std::int16_t { ShiftDown = 1, CtrlDown = 2, AltDown = 4 };

} // namespace metro
