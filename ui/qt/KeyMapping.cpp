#include "ui/qt/KeyMapping.h"

#include "ui/form/KeyCodes.h"
#include "ui/form/MouseButtons.h"

#include <QKeyEvent>

namespace metro {

namespace {

// X11 and Wayland name keys by their XKB key codes, the evdev numbers + 8: the main row's
// keys 1 to 9 and 0 are 10 to 19 on every layout.
constexpr quint32 kXkbDigit1 = 10, kXkbDigit0 = 19;
// The places of the other command keys on the main keyboard: minus, plus/equals and T.
constexpr quint32 kXkbMinus = 20, kXkbPlusEquals = 21, kXkbLetterT = 28;

// The keypad's key symbols (XKB, as X11 and Wayland report them): its "=" comes without
// Qt's keypad flag.
constexpr quint32 kFirstKeypadSymbol = 0xFF80, kLastKeypadSymbol = 0xFFBD;

bool onKeypad(const QKeyEvent& e) {
    const quint32 symbol = e.nativeVirtualKey();
    return e.modifiers().testFlag(Qt::KeypadModifier) ||
           (symbol >= kFirstKeypadSymbol && symbol <= kLastKeypadSymbol);
}

// Whether the key types a letter of another alphabet than the Latin one (a Russian, Greek
// or Thai layout): the key is then known by its place, as the layout's makers mean it.
bool typesAnotherAlphabet(const QKeyEvent& e) {
    const QString text = e.text();
    if (text.isEmpty())
        return false;
    const QChar ch = text.front();
    return ch.isLetter() && ch.script() != QChar::Script_Latin;
}

// A main-row digit known by its character: the digit itself, or, for a key event without a
// scan code (a synthetic one), the character Shift gives it on a US layout. -1: none.
int digitOfCharacter(const QKeyEvent& e) {
    const int key = e.key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key - Qt::Key_0;
    if (e.nativeScanCode() != 0)
        return -1;
    static constexpr int kShifted[] = {Qt::Key_ParenRight,  Qt::Key_Exclam,    Qt::Key_At,
                                       Qt::Key_NumberSign,  Qt::Key_Dollar,    Qt::Key_Percent,
                                       Qt::Key_AsciiCircum, Qt::Key_Ampersand, Qt::Key_Asterisk,
                                       Qt::Key_ParenLeft};
    for (int digit = 0; digit <= 9; ++digit)
        if (kShifted[digit] == key)
            return digit;
    return -1;
}

// The keypad's keys: its digits, plus, minus and Enter; nothing else on it acts.
std::int16_t keypadCode(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<std::int16_t>(vk::Keypad0 + (key - Qt::Key_0));
    switch (key) {
    case Qt::Key_Plus:
        return vk::KeypadPlus;
    case Qt::Key_Minus:
        return vk::KeypadMinus;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        return vk::Enter;
    default:
        return vk::NoCommand;
    }
}

} // namespace

std::int16_t virtualKeyCode(const QKeyEvent& e) {
    // The main row by position before any character: its keys are the digits on every
    // layout, whatever they type (on a French layout 6 and 8 type '-' and '_' unshifted).
    const quint32 scan = e.nativeScanCode();
    if (scan >= kXkbDigit1 && scan <= kXkbDigit0)
        return scan == kXkbDigit0 ? vk::Digit0
                                  : static_cast<std::int16_t>(vk::Digit1 + (scan - kXkbDigit1));
    const int key = e.key();
    if (onKeypad(e))
        return keypadCode(key);
    switch (key) {
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return vk::Enter;
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return vk::PlusEquals;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return vk::Minus;
    case Qt::Key_Shift:
        return vk::Shift;
    case Qt::Key_Control:
        return vk::Control;
    case Qt::Key_Alt:
        return vk::Alt;
    default:
        break;
    }
    if (typesAnotherAlphabet(e)) {
        switch (scan) {
        case kXkbLetterT:
            return vk::LetterT;
        case kXkbPlusEquals:
            return vk::PlusEquals;
        case kXkbMinus:
            return vk::Minus;
        default:
            return vk::NoCommand;
        }
    }
    const int digit = digitOfCharacter(e);
    if (digit >= 0)
        return static_cast<std::int16_t>(vk::Digit0 + digit);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<std::int16_t>(vk::LetterA + (key - Qt::Key_A));
    return vk::NoCommand;
}

std::int16_t shiftState(Qt::KeyboardModifiers m) {
    return static_cast<std::int16_t>((m.testFlag(Qt::ShiftModifier) ? ShiftDown : 0) |
                                     (m.testFlag(Qt::ControlModifier) ? CtrlDown : 0) |
                                     (m.testFlag(Qt::AltModifier) ? AltDown : 0));
}

std::int16_t buttonBits(Qt::MouseButtons b) {
    return static_cast<std::int16_t>((b.testFlag(Qt::LeftButton) ? LeftButton : 0) |
                                     (b.testFlag(Qt::RightButton) ? RightButton : 0) |
                                     (b.testFlag(Qt::MiddleButton) ? MiddleButton : 0));
}

} // namespace metro
