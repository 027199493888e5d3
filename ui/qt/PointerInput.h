#pragma once
// Qt's pointer events as the router's calls: positions in window twips, buttons and modifiers
// as the handlers' bits.
//
// It also keeps what Qt cannot know once the window manager moves the window: the manager
// takes the pointer with the left button down and gets its release, which the window never
// sees. Qt 6.4 on X11 with XInput 2 then reports the button held on every later move until the
// next click, and a move over the title band with the button "held" would start another
// system move, which the manager carries on with no button down: the window would follow
// the pointer. A button handed over counts as released until Qt reports it pressed or
// released again.

#include "ui/form/PointerRouter.h"

#include <QPointF>
#include <Qt>

#include <cstdint>

class QMouseEvent;

namespace metro {

class PointerInput {
public:
    explicit PointerInput(PointerRouter& router) : router_(router) {}

    // Positions in window pixels.
    void press(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at);
    void move(Qt::MouseButtons held, Qt::KeyboardModifiers modifiers, QPointF at);
    void release(Qt::MouseButton button, Qt::MouseButtons held, Qt::KeyboardModifiers modifiers,
                 QPointF at);
    void press(const QMouseEvent& event);
    void move(const QMouseEvent& event);
    void release(const QMouseEvent& event);

    // The window manager took the pointer with the left button down (a system move).
    void leftButtonHandedOver() { handedOver_ |= Qt::LeftButton; }

    // Window pixels in twips.
    static QPointF twips(QPointF pixels);

private:
    std::int16_t heldBits(Qt::MouseButtons held) const;

    PointerRouter& router_;
    Qt::MouseButtons handedOver_; // held as far as Qt knows; released as far as we do
};

} // namespace metro
