#include "ui/qt/ControlsFingerprint.h"

#include <bit>
#include <string>

namespace metro {

namespace {

// FNV-1a over the bytes of each property.
class Fingerprint {
public:
    void add(std::uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            hash_ ^= (value >> (8 * i)) & 0xFF;
            hash_ *= 0x100000001B3ull;
        }
    }
    void add(float value) { add(static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(value))); }
    void add(const std::string& text) {
        add(static_cast<std::uint64_t>(text.size()));
        for (char ch : text)
            add(static_cast<std::uint64_t>(static_cast<unsigned char>(ch)));
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

} // namespace

std::uint64_t controlsFingerprint(const std::vector<Control*>& controls, std::size_t first,
                                  std::size_t end) {
    Fingerprint f;
    for (std::size_t i = first; i < end && i < controls.size(); ++i) {
        const Control& c = *controls[i];
        f.add(static_cast<std::uint64_t>(c.Visible));
        f.add(c.Left);
        f.add(c.Top);
        f.add(c.Width);
        f.add(c.Height);
        switch (c.kind) {
        case ControlKind::PictureBox:
            f.add(static_cast<const PictureBox&>(c).Picture);
            break;
        case ControlKind::Image:
            f.add(static_cast<const Image&>(c).Picture);
            break;
        case ControlKind::Label: {
            const auto& l = static_cast<const Label&>(c);
            f.add(l.Caption);
            f.add(static_cast<std::uint64_t>(l.ForeColor));
            break;
        }
        case ControlKind::Line: {
            const auto& l = static_cast<const Line&>(c);
            f.add(l.X1);
            f.add(l.Y1);
            f.add(l.X2);
            f.add(l.Y2);
            f.add(static_cast<std::uint64_t>(l.BorderColor));
            break;
        }
        }
    }
    return f.value();
}

} // namespace metro
