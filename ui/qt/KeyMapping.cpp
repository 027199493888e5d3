#include "ui/qt/KeyMapping.h"

#include <QKeyEvent>

namespace metro {

namespace {

// X11 and Wayland report evdev key numbers + 8: the main row's 1..9, 0 are 10..19.
constexpr quint32 evdevDigit1 = 10, evdevDigit0 = 19;

int digitOfMainRow(const QKeyEvent& e) {
    const quint32 scan = e.nativeScanCode();
    if (scan >= evdevDigit1 && scan <= evdevDigit0)
        return scan == evdevDigit0 ? 0 : static_cast<int>(scan - evdevDigit1 + 1);
    // Without a scan code (synthetic events), undo Shift on a US layout.
    switch (e.key()) {
    case Qt::Key_Exclam:
        return 1;
    case Qt::Key_At:
        return 2;
    case Qt::Key_NumberSign:
        return 3;
    case Qt::Key_Dollar:
        return 4;
    case Qt::Key_Percent:
        return 5;
    case Qt::Key_AsciiCircum:
        return 6;
    case Qt::Key_Ampersand:
        return 7;
    case Qt::Key_Asterisk:
        return 8;
    case Qt::Key_ParenLeft:
        return 9;
    case Qt::Key_ParenRight:
        return 0;
    default:
        break;
    }
    if (e.key() >= Qt::Key_0 && e.key() <= Qt::Key_9)
        return e.key() - Qt::Key_0;
    return -1;
}

} // namespace

std::int16_t virtualKeyCode(const QKeyEvent& e) {
    const int key = e.key();
    const bool keypad = e.modifiers().testFlag(Qt::KeypadModifier);
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return static_cast<std::int16_t>(96 + (key - Qt::Key_0));
        switch (key) {
        case Qt::Key_Plus:
            return 107;
        case Qt::Key_Minus:
            return 109;
        case Qt::Key_Enter:
        case Qt::Key_Return:
            return 13;
        default:
            break;
        }
    }
    switch (key) {
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return 187;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return 189;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    default:
        break;
    }
    if (!keypad) {
        const int digit = digitOfMainRow(e);
        if (digit >= 0)
            return static_cast<std::int16_t>('0' + digit);
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<std::int16_t>('A' + (key - Qt::Key_A));
    return 255; // a key without a command
}

std::int16_t shiftState(Qt::KeyboardModifiers m) {
    return static_cast<std::int16_t>((m.testFlag(Qt::ShiftModifier) ? 1 : 0) |
                                     (m.testFlag(Qt::ControlModifier) ? 2 : 0) |
                                     (m.testFlag(Qt::AltModifier) ? 4 : 0));
}

std::int16_t buttonBits(Qt::MouseButtons b) {
    return static_cast<std::int16_t>((b.testFlag(Qt::LeftButton) ? 1 : 0) |
                                     (b.testFlag(Qt::RightButton) ? 2 : 0) |
                                     (b.testFlag(Qt::MiddleButton) ? 4 : 0));
}

} // namespace metro
