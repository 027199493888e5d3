#include "model/WindowLayout.h"

#include "model/TempoScale.h"

#include <ranges>
#include <string>

namespace metro {
namespace {

constexpr Rgb kWhite = 0xFFFFFF;

void place(Control& c, const char* name, float left, float top, float width, float height,
           bool visible) {
    c.Name = name;
    c.Move(left, top, width, height);
    c.Visible = visible;
}

} // namespace

WindowLayout::WindowLayout() {
    place(P_X, "P_X", 3510, 30, 690, 330, false);
    P_X.Picture = "closebox";
    place(I_Rod, "I_Rod", 2010, 2550, 150, 150, true);
    I_Rod.Picture = "weight";
    place(I_Scale, "I_Scale", 3480, 5700, 405, 315, true);
    place(I_Speaker, "I_Speaker", 480, 5700, 345, 315, true);
    place(Image2, "Image2", 1980, 5190, 195, 195, true);
    Image2.Picture = "pivot";

    Line_Rod.Name = "Line_Rod";
    Line_Rod.X1 = 2100;
    Line_Rod.Y1 = 750;
    Line_Rod.X2 = 2100;
    Line_Rod.Y2 = 5160;
    Line_Rod.BorderColor = 0x804000;
    Line_Rod.BorderWidthPixels = 4;

    place(Label1, "Label1", 1020, 6330, 990, 210, true);
    Label1.Caption = "Welcome to : ";
    Label1.ForeColor = kWhite;
    Label1.Alignment = TextAlign::Centre;

    place(L_temo, "L_temo", 1830, 5520, 525, 165, true);
    L_temo.Caption = "120";
    L_temo.ForeColor = kWhite;
    L_temo.Alignment = TextAlign::Centre;

    struct Help {
        const char* caption;
        float left, top, width;
    };
    static constexpr Help kHelp[10] = {
        {"Press a key:", 120, 720, 900}, {"Esc:Exit", 120, 1050, 570},
        {"SpaceBar:", 120, 1320, 765},   {"Sound on/off", 210, 1530, 945},
        {"Enter:", 120, 1860, 420},      {"Play/Stop", 210, 2040, 675},
        {"+:Tempo+", 120, 2370, 705},    {"-:Tempo-", 120, 2700, 645},
        {"T:Show me", 120, 3030, 825},   {"1 - 8", 120, 3360, 330},
    };
    for (Label& l : Label2) {
        const Help& h = kHelp[l.Index];
        place(l, "Label2", h.left, h.top, h.width, 210, false);
        l.Caption = h.caption;
        l.ForeColor = l.Index == 0 ? 0xFFE0C0 : kWhite;
    }

    for (int i = 0; i < TempoScale::kCount; ++i) {
        const TempoScalePoint& p = TempoScale::kPoints[i];
        Line& tick = Line1(static_cast<std::int16_t>(i));
        tick.Name = "Line1";
        tick.X1 = p.tickX1;
        tick.Y1 = p.tickY;
        tick.X2 = TempoScale::kTickX2;
        tick.Y2 = p.tickY;
        tick.BorderColor = 0xFFC080;
        tick.Visible = false;

        Label& mark = L_Tem1(static_cast<std::int16_t>(i));
        const float width = std::char_traits<char>::length(p.mark) == 2 ? 180 : 270;
        place(mark, "L_Tem1", TempoScale::kMarkLeft, p.markTop, width, 210, false);
        mark.Caption = p.mark;
        mark.ForeColor = kWhite;
    }

    place(I_Play(0), "I_Play", 2670, 5880, 195, 225, true);
    I_Play(0).Picture = "play";
    place(I_Play(1), "I_Play", 2670, 5895, 150, 150, false);
    I_Play(1).Picture = "stop";

    static constexpr float kMetroLeft[8] = {1260, 1425, 1590, 1755, 1935, 2100, 2265, 2430};
    for (Label& l : L_Metro) {
        place(l, "L_Metro", kMetroLeft[l.Index - 1], 5880, 135, 195, true);
        l.Caption = std::to_string(l.Index);
        l.ForeColor = l.Index == 1 ? 0xC0C0C0 : kWhite;
    }

    // Lightweight controls first, in their stacking order; the two picture boxes always
    // lie above them.
    for (Label& l : Label2)
        stacking_.push_back(&l);
    stacking_.push_back(&I_Scale);
    stacking_.push_back(&I_Speaker);
    stacking_.push_back(&Image2);
    for (Line& l : Line1)
        stacking_.push_back(&l);
    rodPlace_ = stacking_.size();
    stacking_.push_back(&Line_Rod);
    for (Label& l : L_Tem1)
        stacking_.push_back(&l);
    stacking_.push_back(&Label1);
    for (Image& i : I_Play)
        stacking_.push_back(&i);
    for (Label& l : L_Metro)
        stacking_.push_back(&l);
    stacking_.push_back(&L_temo);
    stacking_.push_back(&P_X);
    stacking_.push_back(&I_Rod);
}

Control* WindowLayout::controlAt(float x, float y) const {
    // Topmost first.
    for (Control* control : std::ranges::reverse_view(stacking_))
        if (control->catchesPointer() && control->contains(x, y))
            return control;
    return nullptr;
}

} // namespace metro
