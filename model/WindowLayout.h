#pragma once
// Form1's controls with the properties they have when the window is created, before
// start-up runs. Twips, 15 to the pixel at the layout's density.

#include "model/Controls.h"

#include <vector>

namespace metro {

struct WindowLayout {
    static constexpr float kClientWidth = 4215;  // twips; 281 pixels
    static constexpr float kClientHeight = 6585; // twips; 439 pixels
    static constexpr float kTwipsPerPixel = 15;

    WindowLayout();
    WindowLayout(const WindowLayout&) = delete;
    WindowLayout& operator=(const WindowLayout&) = delete;

    // Window properties.
    std::string Caption = "Form1";
    std::string Picture = "window";
    float Width = kClientWidth;

    PictureBox P_X;                    // close box
    PictureBox I_Rod;                  // the weight
    Image I_Scale;                     // scale show/hide button
    Image I_Speaker;                   // sound on/off button
    Image Image2;                      // pivot
    Line Line_Rod;                     // the rod; (X2, Y2) is the pivot
    Label Label1;                      // "Welcome to : "
    Label L_temo;                      // tempo read-out
    ControlArray<Label> Label2{0, 10}; // key help
    ControlArray<Line> Line1{0, 17};   // scale ticks
    ControlArray<Label> L_Tem1{0, 17}; // tempo marks
    ControlArray<Image> I_Play{0, 2};  // 0 play, 1 stop
    ControlArray<Label> L_Metro{1, 8}; // beats per measure

    // Every control from bottom to top, as painted; hit testing walks it backwards.
    const std::vector<Control*>& stackingOrder() const { return stacking_; }
    // Where the rod stands in that order: the controls before it lie under the pendulum.
    std::size_t rodPlace() const { return rodPlace_; }

    // The topmost visible control that catches the pointer at (x, y), or nullptr for the
    // window's background.
    Control* controlAt(float x, float y) const;

private:
    std::vector<Control*> stacking_;
    std::size_t rodPlace_ = 0;
};

} // namespace metro
