#pragma once
// The window's retained controls: plain objects with the properties of the window runtime.
// Positions and sizes are single-precision twips from the top-left of the client area,
// y grows downwards; 15 twips make one pixel at the layout's density. The logic reads and
// writes these properties directly; the Qt window only paints them and routes input to them.

#include <cstdint>
#include <string>
#include <vector>

namespace metro {

// 0xRRGGBB
using Rgb = std::uint32_t;

enum class ControlKind { PictureBox, Image, Label, Line };
enum class TextAlign { Left, Centre };

struct Control {
    explicit Control(ControlKind kind) : kind(kind) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlKind kind;
    std::string Name;
    std::int16_t Index = -1; // item number inside a control array, -1 for a single control
    float Left = 0, Top = 0, Width = 0, Height = 0;
    bool Visible = true;

    // Pointer hits: lines never catch the pointer, hidden controls neither.
    bool catchesPointer() const { return Visible && kind != ControlKind::Line; }
    bool contains(float x, float y) const {
        return x >= Left && x < Left + Width && y >= Top && y < Top + Height;
    }
    void Move(float left, float top) {
        Left = left;
        Top = top;
    }
    void Move(float left, float top, float width, float height) {
        Move(left, top);
        Width = width;
        Height = height;
    }
};

// A borderless picture box sized to its picture, or an image showing its picture at its
// top-left. Picture names a bitmap asset ("" for none), compared without regard to case.
struct PictureBox : Control {
    PictureBox() : Control(ControlKind::PictureBox) {}
    std::string Picture;
};

struct Image : Control {
    Image() : Control(ControlKind::Image) {}
    std::string Picture;
};

struct Label : Control {
    Label() : Control(ControlKind::Label) {}
    std::string Caption;
    Rgb ForeColor = 0x000000;
    TextAlign Alignment = TextAlign::Left;
};

// A line between (X1, Y1) and (X2, Y2); Left/Top/Width/Height are unused.
struct Line : Control {
    Line() : Control(ControlKind::Line) {}
    float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    Rgb BorderColor = 0x000000;
    int BorderWidthPixels = 1;
};

// Controls of one kind addressed by a 16-bit index from First to First + size - 1.
template <class T> class ControlArray {
public:
    ControlArray(std::int16_t first, std::int16_t count) : first_(first), items_(count) {
        for (std::int16_t i = 0; i < count; ++i)
            items_[i].Index = static_cast<std::int16_t>(first + i);
    }
    T& operator()(std::int16_t index) { return items_.at(index - first_); }
    const T& operator()(std::int16_t index) const { return items_.at(index - first_); }
    std::int16_t first() const { return first_; }
    std::int16_t last() const { return static_cast<std::int16_t>(first_ + items_.size() - 1); }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::int16_t first_;
    std::vector<T> items_;
};

} // namespace metro
