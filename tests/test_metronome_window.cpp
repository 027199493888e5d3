// The Qt window on the offscreen platform: its frame, its size and what it paints.

#include "ui/qt/MetronomeWindow.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

using namespace metro;

namespace {

struct ShownWindow : ::testing::Test {
    MetronomeWindow window;
    QStringList messages;

    void SetUp() override {
        window.showMessage = [this](const QString& m) { messages << m; };
        window.form().Form_Load();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QImage grab() { return window.grab().toImage(); }

    // A point in twips as a device pixel of the grab.
    static QPoint devicePixel(const QImage& image, double x, double y) {
        const double scale = image.devicePixelRatio() / WindowLayout::twipsPerPixel;
        return QPoint(static_cast<int>(x * scale), static_cast<int>(y * scale));
    }
};

} // namespace

TEST_F(ShownWindow, IsAFramelessWindowOf281By439Pixels) {
    EXPECT_EQ(window.size(), QSize(281, 439));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "fixed size";
}

TEST_F(ShownWindow, GrabShowsTheRodInItsColourAlongItsLength) {
    const QImage image = grab();
    EXPECT_EQ(image.devicePixelRatio(), window.devicePixelRatioF());
    const Line& rod = window.form().controls.Line_Rod;
    const PictureBox& weight = window.form().controls.I_Rod;
    int checked = 0;
    for (double y = rod.Y1 + 150; y < rod.Y2 - 150; y += 150) {
        if (y > weight.Top - 60 && y < weight.Top + weight.Height + 60)
            continue; // the weight covers the rod there
        const QPoint p = devicePixel(image, rod.X1 + 7.5, y);
        EXPECT_EQ(image.pixelColor(p).name().toStdString(), "#804000") << y;
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

TEST_F(ShownWindow, GrabShowsTheWeightWhereItsControlSays) {
    AssetLibrary assets;
    PictureBox& weight = window.form().controls.I_Rod;
    for (float top : {weight.Top, 690.0f, 5010.0f}) {
        weight.Top = top;
        window.update();
        const QImage image = grab();
        const QImage picture = assets.pixmap("weight", image.devicePixelRatio()).toImage();
        const QColor expected = picture.pixelColor(picture.width() / 2, picture.height() / 2);
        const QPoint centre =
            devicePixel(image, weight.Left + weight.Width / 2, weight.Top + weight.Height / 2);
        EXPECT_EQ(image.pixelColor(centre).name().toStdString(), expected.name().toStdString())
            << top;
        // Just beside the weight along the rod, the rod shows, not the weight.
        const Line& rod = window.form().controls.Line_Rod;
        const float beside =
            weight.Top - 60 > rod.Y1 + 30 ? weight.Top - 60 : weight.Top + weight.Height + 60;
        const QPoint p = devicePixel(image, rod.X1 + 7.5, beside);
        EXPECT_EQ(image.pixelColor(p).name().toStdString(), "#804000") << top;
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
