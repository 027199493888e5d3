// The window's controls as created: every one inside the client area, and the pointer finds
// the topmost shown control under it, never a line.

#include "model/WindowLayout.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace metro;

TEST(WindowLayout, EveryControlLiesInsideTheClientArea) {
    WindowLayout layout;
    for (const Control* c : layout.stackingOrder()) {
        float left = c->Left, top = c->Top, right = c->Left + c->Width, bottom = c->Top + c->Height;
        if (c->kind == ControlKind::Line) {
            const auto& l = static_cast<const Line&>(*c);
            left = std::min(l.X1, l.X2), right = std::max(l.X1, l.X2);
            top = std::min(l.Y1, l.Y2), bottom = std::max(l.Y1, l.Y2);
        }
        EXPECT_TRUE(left >= 0 && top >= 0 && right <= WindowLayout::clientWidth &&
                    bottom <= WindowLayout::clientHeight)
            << c->Name << c->Index;
    }
}

TEST(WindowLayout, PointerHitsTheTopmostVisibleControlButNeverALine) {
    WindowLayout layout;
    const auto centre = [](const Control& c) {
        return std::pair{c.Left + c.Width / 2, c.Top + c.Height / 2};
    };
    auto [x, y] = centre(layout.I_Rod);
    EXPECT_EQ(layout.controlAt(x, y), &layout.I_Rod) << "the weight lies over the rod";
    EXPECT_EQ(layout.controlAt(layout.Line_Rod.X1, layout.Line_Rod.Y1 + 100), nullptr);
    for (Control* hidden : std::initializer_list<Control*>{&layout.P_X, &layout.L_Tem1(11)}) {
        std::tie(x, y) = centre(*hidden);
        EXPECT_EQ(layout.controlAt(x, y), nullptr) << hidden->Name;
        hidden->Visible = true;
        EXPECT_EQ(layout.controlAt(x, y), hidden) << hidden->Name;
    }
    EXPECT_EQ(layout.stackingOrder()[layout.rodPlace()], &layout.Line_Rod);
}
