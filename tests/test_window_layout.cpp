// The window's controls as created: inside the client area, in the right stacking order,
// with the one tempo scale that lays out the ticks and marks.

#include "model/TempoScale.h"
#include "model/WindowLayout.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace metro;

namespace {

struct Box {
    float left, top, right, bottom;
};

Box boxOf(const Control& c) {
    if (c.kind == ControlKind::Line) {
        const auto& l = static_cast<const Line&>(c);
        return {std::min(l.X1, l.X2), std::min(l.Y1, l.Y2), std::max(l.X1, l.X2),
                std::max(l.Y1, l.Y2)};
    }
    return {c.Left, c.Top, c.Left + c.Width, c.Top + c.Height};
}

} // namespace

TEST(WindowLayout, EveryControlLiesInsideThe281By439PixelClientArea) {
    WindowLayout layout;
    EXPECT_EQ(WindowLayout::clientWidth / WindowLayout::twipsPerPixel, 281);
    EXPECT_EQ(WindowLayout::clientHeight / WindowLayout::twipsPerPixel, 439);
    for (const Control* c : layout.stackingOrder()) {
        const Box b = boxOf(*c);
        EXPECT_GE(b.left, 0) << c->Name << c->Index;
        EXPECT_GE(b.top, 0) << c->Name << c->Index;
        EXPECT_LE(b.right, WindowLayout::clientWidth) << c->Name << c->Index;
        EXPECT_LE(b.bottom, WindowLayout::clientHeight) << c->Name << c->Index;
    }
    // The bottom row ends 45 twips above the lower edge.
    EXPECT_EQ(layout.Label1.Top + layout.Label1.Height, WindowLayout::clientHeight - 45);
}

TEST(WindowLayout, TheScaleRisesStrictlyAndItsControlsFollowTheOneTable) {
    WindowLayout layout;
    ASSERT_EQ(layout.Line1.first(), 0);
    ASSERT_EQ(layout.Line1.last(), 16);
    ASSERT_EQ(layout.L_Tem1.last(), 16);
    for (std::int16_t i = 0; i <= 16; ++i) {
        const Line& tick = layout.Line1(i);
        const Label& mark = layout.L_Tem1(i);
        EXPECT_EQ(tick.Y1, tick.Y2) << "ticks are horizontal";
        EXPECT_EQ(tick.X2, 3450);
        EXPECT_EQ(tick.Y1, TempoScale::points[i].tickY);
        EXPECT_EQ(mark.Caption, TempoScale::points[i].mark);
        EXPECT_EQ(mark.Width, mark.Caption.size() == 2 ? 180 : 270);
        EXPECT_FALSE(tick.Visible);
        EXPECT_FALSE(mark.Visible);
        if (i > 0) {
            EXPECT_GT(tick.Y1, layout.Line1(i - 1).Y1);
            EXPECT_GT(std::atoi(mark.Caption.c_str()),
                      std::atoi(layout.L_Tem1(i - 1).Caption.c_str()));
        }
    }
    // The mark 120 is index 11 at height 3105, where start-up centres the 150-twip weight.
    EXPECT_EQ(layout.L_Tem1(11).Caption, "120");
    EXPECT_EQ(layout.Line1(11).Y1 - layout.I_Rod.Height / 2, 3030);
}

TEST(WindowLayout, BeforeStartUpOnlyThePlayButtonAndNoScaleOrCloseBoxShow) {
    WindowLayout layout;
    EXPECT_TRUE(layout.I_Play(0).Visible);
    EXPECT_FALSE(layout.I_Play(1).Visible);
    EXPECT_FALSE(layout.P_X.Visible);
    for (const Label& help : layout.Label2)
        EXPECT_FALSE(help.Visible);
    EXPECT_EQ(layout.Label2(0).ForeColor, 0xFFE0C0u);
    EXPECT_EQ(layout.Label2(9).Caption, "1 - 8");
    EXPECT_EQ(layout.L_Metro(1).ForeColor, 0xC0C0C0u);
    EXPECT_EQ(layout.L_Metro(8).Caption, "8");
    EXPECT_EQ(layout.Label1.Caption, "Welcome to : ");
}

TEST(WindowLayout, PointerHitsTheTopmostVisibleControlButNeverALine) {
    WindowLayout layout;
    // The weight lies over the rod: a press on it reaches the weight.
    EXPECT_EQ(layout.controlAt(2085, 2625), &layout.I_Rod);
    // The rod alone does not catch the pointer: its background is the window's.
    EXPECT_EQ(layout.controlAt(2100, 1500), nullptr);
    // A hidden close box is not there for the pointer; a shown one is.
    EXPECT_EQ(layout.controlAt(3600, 100), nullptr);
    layout.P_X.Visible = true;
    EXPECT_EQ(layout.controlAt(3600, 100), &layout.P_X);
    // Hidden tempo marks do not catch the pointer.
    EXPECT_EQ(layout.controlAt(3500, 3100), nullptr);
    layout.L_Tem1(11).Visible = true;
    EXPECT_EQ(layout.controlAt(3500, 3100), &layout.L_Tem1(11));
    // The two picture boxes lie above every lightweight control.
    const auto& order = layout.stackingOrder();
    EXPECT_EQ(order.back(), &layout.I_Rod);
    EXPECT_EQ(order[order.size() - 2], &layout.P_X);
    EXPECT_EQ(order[layout.rodPlace()], &layout.Line_Rod);
}
