// The pixels a beat frame repaints: spans along bands of rows, neighbours joined where a
// rectangle would cost more than the pixels it saves, and every pixel the rod and the weight
// paint inside them.

#include "support/QtPrinting.h"
#include "ui/qt/ControlPainter.h"
#include "ui/qt/RepaintBands.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

using namespace metro;

TEST(RepaintBands, SpansAreJoinedOnlyWhereARectangleCostsMoreThanThePixelsItSaves) {
    const int rows = RepaintBands::kRows;
    // What, the rectangles added, and the region's rectangles.
    using Case = std::tuple<const char*, std::vector<QRectF>, std::vector<QRect>>;
    const Case cases[] = {
        {"inside one band, out to whole pixels", {{10.5, 2.2, 5, 5}}, {{10, 2, 6, 6}}},
        {"a strip down three bands", {{40, 10, 4, 2 * rows}}, {{40, 10, 4, 2 * rows}}},
        {"neighbours far apart across",
         {{0, 0, 10, rows}, {200, rows, 10, rows}},
         {{0, 0, 10, rows}, {200, rows, 10, rows}}},
        {"neighbours close enough to share one",
         {{0, 0, 10, rows}, {15, rows, 10, rows}},
         {{0, 0, 25, 2 * rows}}},
        {"spans with empty bands between join as well where that is cheaper",
         {{0, 0, 4, 4}, {0, 3 * rows, 4, 4}},
         {{0, 0, 4, 3 * rows + 4}}},
        {"and stay apart where it is not",
         {{0, 0, 40, 4}, {0, 3 * rows, 40, 4}},
         {{0, 0, 40, 4}, {0, 3 * rows, 40, 4}}},
        {"above and below the window: nothing", {{0, -50, 10, 20}, {0, 500, 10, 20}}, {}},
    };
    for (const auto& [what, added, expected] : cases) {
        RepaintBands bands;
        for (const QRectF& r : added)
            bands.add(r);
        const QRegion region = bands.region();
        EXPECT_EQ(std::vector<QRect>(region.begin(), region.end()), expected) << what;
    }
}

TEST(RepaintBands, HoldEveryPixelThePendulumPaintsAndLittleElse) {
    AssetLibrary assets;
    ControlPainter painter(assets);
    for (const double degrees : {0.0, -3.0, 12.0, -20.0, 31.0, 60.0, 90.0}) {
        SCOPED_TRACE(degrees);
        // The rod slanted about its pivot, the weight on it where it starts.
        WindowLayout c;
        const double length = c.Line_Rod.Y2 - c.Line_Rod.Y1, weightAt = 2055;
        const double sin = std::sin(degrees * M_PI / 180), cos = std::cos(degrees * M_PI / 180);
        c.Line_Rod.X1 = static_cast<float>(c.Line_Rod.X2 + length * sin);
        c.Line_Rod.Y1 = static_cast<float>(c.Line_Rod.Y2 - length * cos);
        c.I_Rod.Left = static_cast<float>(c.Line_Rod.X2 + weightAt * sin - 75);
        c.I_Rod.Top = static_cast<float>(c.Line_Rod.Y2 - weightAt * cos - 75);
        QImage painted(281, 439, QImage::Format_ARGB32_Premultiplied);
        painted.fill(Qt::transparent);
        {
            QPainter p(&painted);
            ControlPainter::setHints(p);
            p.scale(1 / WindowLayout::kTwipsPerPixel, 1 / WindowLayout::kTwipsPerPixel);
            painter.paint(p, c.Line_Rod, 1);
            painter.paint(p, c.I_Rod, 1);
        }
        RepaintBands bands;
        bands.addPendulum(c);
        const QRegion region = bands.region();
        int outside = 0, paintedPixels = 0, area = 0;
        for (int y = 0; y < painted.height(); ++y)
            for (int x = 0; x < painted.width(); ++x)
                if (qAlpha(painted.pixel(x, y)) != 0) {
                    ++paintedPixels;
                    outside += !region.contains(QPoint(x, y));
                }
        EXPECT_GT(paintedPixels, 400) << "the rod and the weight were painted";
        EXPECT_EQ(outside, 0);
        // A slanted rod's box is mostly unchanged picture: the bands leave most of it out.
        for (const QRect& r : region)
            area += r.width() * r.height();
        if (std::abs(degrees) >= 12 && std::abs(degrees) <= 31) {
            EXPECT_LT(area, region.boundingRect().width() * region.boundingRect().height() / 2);
        }
    }
}
