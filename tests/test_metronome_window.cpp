// The Qt window on the offscreen platform: its frame, its size and what it paints.

#include "ui/qt/MetronomeWindow.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <tuple>

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
        const double scale = image.devicePixelRatio() / WindowLayout::kTwipsPerPixel;
        return QPoint(static_cast<int>(x * scale), static_cast<int>(y * scale));
    }
};

} // namespace

TEST_F(ShownWindow, GrabShowsTheRodInItsColourAlongItsLength) {
    const QImage image = grab();
    EXPECT_EQ(image.devicePixelRatio(), window.devicePixelRatioF());
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) { // the double-density run
        EXPECT_EQ(image.devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR").toDouble());
    }
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

TEST_F(ShownWindow, TheWeightHidesNoLetterOfTheTempoTerms) {
    // The terms are white lettering on the face, beside the path the weight slides along.
    const WindowLayout& c = window.form().controls;
    const QImage face = AssetLibrary().pixmap("window", 2).toImage();
    const double k = 2.0 / WindowLayout::kTwipsPerPixel;
    const auto whitePixels = [&](double fromX, double toX) {
        int n = 0;
        for (int y = int((c.Line1(0).Y1 - c.I_Rod.Height / 2) * k);
             y <= int((c.Line1(16).Y1 + c.I_Rod.Height / 2) * k); ++y)
            for (int x = int(fromX * k); x < int(toX * k); ++x)
                n += face.pixelColor(x, y).lightness() > 235;
        return n;
    };
    EXPECT_EQ(whitePixels(c.I_Rod.Left, c.I_Rod.Left + c.I_Rod.Width), 0);
    EXPECT_GT(whitePixels(c.I_Rod.Left - 600, c.I_Rod.Left), 100) << "the terms beside it";
}

TEST_F(ShownWindow, TheSwingLeavesThePictureAFullPaintShows) {
    // A beat frame repaints only around the rod and the weight: whatever it leaves
    // unpainted would show as a trail in the window, not in a fresh paint of it.
    QTest::keyClick(&window, Qt::Key_Return);
    ASSERT_TRUE(window.beatFramesRunning());
    for (int i = 0; i < 6; ++i) {
        QTest::qWait(45);
        const QImage shown = window.screen()
                                 ->grabWindow(window.winId())
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage full = grab().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), full.size());
        int differing = 0;
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x) {
                const QRgb a = shown.pixel(x, y), b = full.pixel(x, y);
                differing += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b))}) > 4;
            }
        EXPECT_EQ(differing, 0) << "after " << (i + 1) * 45 << " ms";
    }
}

namespace {

// Real Qt events through the widget, positions in twips.
void sendMouse(MetronomeWindow& w, QEvent::Type type, double x, double y, Qt::MouseButton button,
               Qt::MouseButtons held) {
    const QPointF local(x / WindowLayout::kTwipsPerPixel, y / WindowLayout::kTwipsPerPixel);
    QMouseEvent event(type, local, w.mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

void dragWithLeft(MetronomeWindow& w, double x, double fromY, double toY) {
    sendMouse(w, QEvent::MouseButtonPress, x, fromY, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 10; ++i)
        sendMouse(w, QEvent::MouseMove, x, fromY + (toY - fromY) * i / 10, Qt::NoButton,
                  Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, x, toY, Qt::LeftButton, Qt::NoButton);
}

void clickAt(MetronomeWindow& w, double x, double y) {
    sendMouse(w, QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton);
}

} // namespace

TEST_F(ShownWindow, ThePictureFollowsTheScaleButtonBothWays) {
    // A tick of the scale lies below the rod, in the picture the window keeps.
    const Line& tick = window.form().controls.Line1(8);
    const auto tickPixel = [&](const QImage& image) {
        return image.pixelColor(devicePixel(image, (tick.X1 + tick.X2) / 2, tick.Y1 + 7))
            .name()
            .toStdString();
    };
    const std::string field = tickPixel(grab());
    QTest::keyClick(&window, Qt::Key_T);
    EXPECT_EQ(tickPixel(grab()), "#ffc080");
    QTest::keyClick(&window, Qt::Key_T);
    EXPECT_EQ(tickPixel(grab()), field);
}

TEST_F(ShownWindow, DraggingTheWeightChangesTheReadOut) {
    const WindowLayout& c = window.form().controls;
    dragWithLeft(window, 2085, 3105, 3105 + 300);
    EXPECT_EQ(c.I_Rod.Top, 3330);
    EXPECT_EQ(c.L_temo.Caption, "132");
}

TEST_F(ShownWindow, TheScaleKeyShowsTheMarksAndAClickOnOneSetsItsTempo) {
    const WindowLayout& c = window.form().controls;
    QTest::keyClick(&window, Qt::Key_T);
    ASSERT_TRUE(c.L_Tem1(0).Visible);
    clickAt(window, c.L_Tem1(16).Left + 60, c.L_Tem1(16).Top + 60);
    EXPECT_EQ(c.L_temo.Caption, "208");
    EXPECT_EQ(c.I_Rod.Top, 4860);
}

TEST_F(ShownWindow, PlusAndMinusKeysOfBothKindsAndTheWheelStepTheWeight) {
    const WindowLayout& c = window.form().controls;
    QTest::keyClick(&window, Qt::Key_Equal);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(c.I_Rod.Top, 3060);
    QTest::keyClick(&window, Qt::Key_Equal, Qt::KeypadModifier); // the keypad's '='
    EXPECT_EQ(c.I_Rod.Top, 3060);
    QTest::keyClick(&window, Qt::Key_Minus);
    EXPECT_EQ(c.I_Rod.Top, 3045);
    // Wheel towards the user: one beat per minute faster, also with the numbers turned round.
    const auto wheel = [&](int delta, bool inverted) {
        const QPointF at(140, 200);
        QWheelEvent event(at, window.mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, inverted);
        QApplication::sendEvent(&window, &event);
        return c.L_temo.Caption;
    };
    const int tempo = window.form().state().Tempo;
    EXPECT_EQ(wheel(-120, false), std::to_string(tempo + 1));
    EXPECT_EQ(wheel(-120, true), std::to_string(tempo));
}

TEST_F(ShownWindow, EnterStartsAndStopsTheBeatFramesAndEscClosesTheWindowAndTheSound) {
    const MetronomeState& s = window.form().state();
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(std::tuple(s.Playing, window.beatFramesRunning()), std::tuple(true, true));
    QTest::qWait(60);
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(std::tuple(s.Playing, window.beatFramesRunning()), std::tuple(false, false));
    EXPECT_EQ(window.form().controls.Line_Rod.X1, 2085) << "back at rest";
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Escape);
    // Shown, playing, frames running, a sound device.
    EXPECT_EQ(std::tuple(window.isVisible(), s.Playing, window.beatFramesRunning(),
                         s.SoundDevice != nullptr),
              std::tuple(false, false, false, false));
}

TEST_F(ShownWindow, TheCloseBoxAppearsUnderThePointerAndClosesTheWindow) {
    const WindowLayout& c = window.form().controls;
    sendMouse(window, QEvent::MouseMove, 3700, 150, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(c.P_X.Visible);
    clickAt(window, 3700, 150);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ShownWindow, WithoutAWindowManagerTheTopBandMovesTheWindowByHand) {
    // The offscreen platform has no system move, as a bare X server has none: the window
    // follows the pointer itself while the left button is down, and holds the pointer, which
    // leaves the window before the window catches up with it.
    const QPoint start = window.pos();
    const auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton button,
                          Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(global - window.pos()), QPointF(global), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    };
    const QPoint grabbed = start + QPoint(100, 10); // in the top band
    send(QEvent::MouseMove, grabbed, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, grabbed, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grabbed + QPoint(4, 3), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(QWidget::mouseGrabber(), &window);
    send(QEvent::MouseMove, grabbed + QPoint(20, 16), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(20, 16)) << "the point grabbed stays under the pointer";
    send(QEvent::MouseMove, grabbed + QPoint(-30, -40), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(-30, -40));
    send(QEvent::MouseButtonRelease, grabbed + QPoint(-30, -40), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    send(QEvent::MouseMove, grabbed + QPoint(30, 30), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(window.pos(), start + QPoint(-30, -40)) << "released, it stays";
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
