// Qt's pointer events to the router: a left button handed to the window manager's move counts
// as released, whatever Qt goes on reporting, until Qt sees it pressed or released again. (The
// window's own tests drag the weight through it, pixels to twips.)

#include "support/LoadedForm.h"
#include "ui/qt/PointerInput.h"

#include <gtest/gtest.h>

using namespace metro;

namespace {

struct Input : test::LoadedForm {
    PointerInput input{form.pointer};
    // The window's real move: the window manager takes the left button over.
    void SetUp() override {
        LoadedForm::SetUp();
        window.onSystemMove = [this] { input.leftButtonHandedOver(); };
    }
    static constexpr QPointF kBand{100, 10}; // window pixels in the title band
};

} // namespace

TEST_F(Input, ALeftButtonHandedToTheWindowManagerCountsAsReleasedUntilQtSeesItAgain) {
    input.move(Qt::NoButton, {}, kBand);
    input.press(Qt::LeftButton, {}, kBand);
    input.move(Qt::LeftButton, {}, kBand + QPointF(8, 6));
    ASSERT_EQ(window.systemMoves, 1);
    // The manager got the release; Qt still says the button is held on every move.
    for (int i = 1; i <= 5; ++i)
        input.move(Qt::LeftButton, {}, kBand + QPointF(i, 0));
    EXPECT_EQ(window.systemMoves, 1) << "no move started again without a button down";
    // A click: Qt sees the button again, and the next drag moves the window.
    input.press(Qt::LeftButton, {}, kBand);
    input.release(Qt::LeftButton, {}, {}, kBand);
    input.move(Qt::NoButton, {}, kBand);
    input.press(Qt::LeftButton, {}, kBand);
    input.move(Qt::LeftButton, {}, kBand + QPointF(8, 6));
    EXPECT_EQ(window.systemMoves, 2);
}
