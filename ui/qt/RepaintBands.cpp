#include "ui/qt/RepaintBands.h"

#include "ui/qt/ControlPainter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace metro {

namespace {
constexpr qreal kTwips = WindowLayout::kTwipsPerPixel;
constexpr qreal kAcross = std::numeric_limits<qreal>::max(); // a band's whole width, pixels
} // namespace

void RepaintBands::add(const QRectF& r) {
    const int first = std::clamp(static_cast<int>(std::floor(r.top() / kRows)), 0, kCount - 1);
    const int last = std::clamp(static_cast<int>(std::floor(r.bottom() / kRows)), 0, kCount - 1);
    for (int i = first; i <= last; ++i) {
        const QRectF part = r & QRectF(0, i * kRows, kAcross, kRows);
        if (part.isEmpty())
            continue;
        spans_[i] = spans_[i].isEmpty() ? part : spans_[i] | part;
    }
}

void RepaintBands::addPendulum(const WindowLayout& c) {
    if (c.I_Rod.Visible) {
        const QRectF w = ControlPainter::bounds(c.I_Rod);
        add(QRectF(w.topLeft() / kTwips, w.size() / kTwips).adjusted(-1, -1, 1, 1));
    }
    const Line& rod = c.Line_Rod;
    if (!rod.Visible)
        return;
    // The line as ControlPainter draws it, in pixels; one more pixel all round for the
    // antialiased edge.
    const qreal halfWidth = rod.BorderWidthPixels / 2.0;
    const qreal centre = rod.BorderWidthPixels % 2 != 0 ? 0.5 : 0;
    QPointF a = QPointF(rod.X1, rod.Y1) / kTwips + QPointF(centre, centre);
    QPointF b = QPointF(rod.X2, rod.Y2) / kTwips + QPointF(centre, centre);
    if (a.y() > b.y())
        std::swap(a, b);
    const QPointF d = b - a;
    const qreal length = std::hypot(d.x(), d.y());
    if (d.y() < length / 2) { // more across than down: its box
        add(QRectF(a, b).normalized().adjusted(-halfWidth - 1, -halfWidth - 1, halfWidth + 1,
                                               halfWidth + 1));
        return;
    }
    // Along a row the stroke is wider than the pen by the slant; the flat ends reach at most
    // half the pen's width beyond the end points.
    const qreal across = halfWidth * length / d.y() + 1;
    const qreal top = a.y() - halfWidth - 1;
    const qreal bottom = b.y() + halfWidth + 1;
    for (auto band = static_cast<int>(std::floor(top / kRows)); band * kRows < bottom; ++band) {
        const qreal y = band * kRows;
        const qreal y0 = std::clamp(y, a.y(), b.y());
        const qreal y1 = std::clamp(y + kRows, a.y(), b.y());
        const qreal x0 = a.x() + d.x() * (y0 - a.y()) / d.y();
        const qreal x1 = a.x() + d.x() * (y1 - a.y()) / d.y();
        const qreal rowTop = std::max(y, top);
        const qreal rowBottom = std::min(y + kRows, bottom);
        add(QRectF(QPointF(std::min(x0, x1) - across, rowTop),
                   QPointF(std::max(x0, x1) + across, rowBottom)));
    }
}

QRegion RepaintBands::region() const {
    std::array<QRect, kCount> rects;
    int n = 0;
    const auto area = [](const QRect& r) { return r.width() * r.height(); };
    for (const QRectF& s : spans_) {
        if (s.isEmpty())
            continue;
        const QRect r = s.toAlignedRect();
        if (n > 0) {
            const QRect joined = rects[n - 1] | r;
            if (area(joined) - area(rects[n - 1]) - area(r) < kPixelsPerRectangle) {
                rects[n - 1] = joined;
                continue;
            }
        }
        rects[n++] = r;
    }
    QRegion result;
    result.setRects(rects.data(), n);
    return result;
}

} // namespace metro
