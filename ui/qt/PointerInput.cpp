#include "ui/qt/PointerInput.h"

#include "model/WindowLayout.h"
#include "ui/qt/KeyMapping.h"

#include <QMouseEvent>

namespace metro {

QPointF PointerInput::twips(QPointF pixels) {
    return pixels * WindowLayout::kTwipsPerPixel;
}

std::int16_t PointerInput::heldBits(Qt::MouseButtons held) const {
    return buttonBits(held & ~handedOver_);
}

void PointerInput::press(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at) {
    handedOver_ &= ~button; // Qt knows this button's state again
    const QPointF t = twips(at);
    router_.press(buttonBits(button), shiftState(modifiers), static_cast<float>(t.x()),
                  static_cast<float>(t.y()));
}

void PointerInput::move(Qt::MouseButtons held, Qt::KeyboardModifiers modifiers, QPointF at) {
    const QPointF t = twips(at);
    router_.move(heldBits(held), shiftState(modifiers), static_cast<float>(t.x()),
                 static_cast<float>(t.y()));
}

void PointerInput::release(Qt::MouseButton button, Qt::MouseButtons held,
                           Qt::KeyboardModifiers modifiers, QPointF at) {
    handedOver_ &= ~button;
    const QPointF t = twips(at);
    router_.release(buttonBits(button), heldBits(held), shiftState(modifiers),
                    static_cast<float>(t.x()), static_cast<float>(t.y()));
}

void PointerInput::press(const QMouseEvent& e) {
    press(e.button(), e.modifiers(), e.position());
}

void PointerInput::move(const QMouseEvent& e) {
    move(e.buttons(), e.modifiers(), e.position());
}

void PointerInput::release(const QMouseEvent& e) {
    release(e.button(), e.buttons(), e.modifiers(), e.position());
}

} // namespace metro
