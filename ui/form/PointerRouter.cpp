#include "ui/form/PointerRouter.h"

#include "ui/form/Form1.h"

namespace metro {

const Control* PointerRouter::receiver(float x, float y) const {
    if (captured_)
        return captureTarget_;
    if (grabbed_)
        return grabTarget_;
    return form_.controls.controlAt(x, y);
}

void PointerRouter::setCapture(const Control* target) {
    captured_ = true;
    captureTarget_ = target;
}

void PointerRouter::releaseCapture() {
    captured_ = false;
    captureTarget_ = nullptr;
    grabbed_ = false;
    grabTarget_ = nullptr;
}

void PointerRouter::press(std::int16_t button, std::int16_t shift, float x, float y) {
    const Control* target = receiver(x, y);
    if (!grabbed_) {
        grabbed_ = true;
        grabTarget_ = target;
    }
    WindowLayout& c = form_.controls;
    if (target == &c.I_Rod)
        form_.I_Rod_MouseDown(button, shift, x - c.I_Rod.Left, y - c.I_Rod.Top);
}

void PointerRouter::move(std::int16_t held, std::int16_t shift, float x, float y) {
    const Control* target = receiver(x, y);
    WindowLayout& c = form_.controls;
    if (target == nullptr)
        form_.Form_MouseMove(held, shift, x, y);
    else if (target == &c.I_Rod)
        form_.I_Rod_MouseMove(held, shift, x - c.I_Rod.Left, y - c.I_Rod.Top);
    else if (target == &c.P_X)
        form_.P_X_MouseMove(held, shift, x - c.P_X.Left, y - c.P_X.Top);
}

void PointerRouter::release(std::int16_t button, std::int16_t held, std::int16_t shift, float x,
                            float y) {
    const Control* target = receiver(x, y);
    const Control* pressed = grabbed_ ? grabTarget_ : nullptr;
    const bool wasGrabbed = grabbed_;
    if (held == 0) {
        grabbed_ = false;
        grabTarget_ = nullptr;
    }
    if (target == nullptr) {
        form_.Form_MouseUp(button, shift, x, y);
        return;
    }
    // A click: the left button went down and up on the same control, over that control.
    if (button != LeftButton || !wasGrabbed || pressed != target || !target->Visible ||
        !target->contains(x, y))
        return;
    const WindowLayout& c = form_.controls;
    if (target == &c.P_X)
        form_.P_X_Click();
    else if (target == &c.I_Speaker)
        form_.I_Speaker_Click();
    else if (target == &c.I_Scale)
        form_.I_Scale_Click();
    else if (const auto play = c.I_Play.indexOf(target))
        form_.I_Play_Click(*play);
    else if (const auto beats = c.L_Metro.indexOf(target))
        form_.L_Metro_Click(*beats);
    else if (const auto mark = c.L_Tem1.indexOf(target))
        form_.L_Tem1_Click(*mark);
}

} // namespace metro
