#pragma once
// The pixels a beat frame repaints, as one span across in each band of rows: where the rod and
// the weight were and are. A slanted rod's bounding box is mostly picture that has not
// changed; bands follow the rod and keep the area a few pixels either side of it. Each band
// becomes one opaque rectangle, so copying the kept picture stays a plain blit.

#include "model/WindowLayout.h"

#include <QRectF>
#include <QRegion>

#include <array>

namespace metro {

class RepaintBands {
public:
    // Pixels high: fewer bands cost less per frame, more bands hug a slanted rod closer.
    static constexpr int kRows = 24;
    // Each rectangle costs about as much to set up, in Qt and in the X server, as copying this
    // many pixels: neighbours that would cover fewer more pixels than this together are joined.
    static constexpr int kPixelsPerRectangle = 1024;

    // Adds `r` (window pixels), split along the bands; what lies outside the window is
    // left out.
    void add(const QRectF& r);
    // Adds what the weight and the rod cover as ControlPainter draws them, antialiased edges
    // included.
    void addPendulum(const WindowLayout& c);
    // Whole-pixel rectangles, sorted from the top, none overlapping.
    QRegion region() const;

private:
    static constexpr int kWindowRows =
        static_cast<int>(WindowLayout::kClientHeight / WindowLayout::kTwipsPerPixel);
    static constexpr int kCount = (kWindowRows + kRows - 1) / kRows;
    std::array<QRectF, kCount> spans_{};
};

} // namespace metro
