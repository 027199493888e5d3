// The Qt window on the offscreen platform: what it paints, and Qt's key, pointer and wheel
// events reaching the controls, in pixels as twips; what a screen reader finds in it: names,
// roles, places, values, states and actions (the real program over the desktop's
// accessibility bus: atspi_test.sh). Then its parts on their own: the pixels a beat frame
// repaints (spans along bands of rows, neighbours joined where a rectangle would cost more
// than the pixels it saves, and every pixel the rod and the weight paint inside them), and
// beat frames paced to the screen (the period for a refresh rate, where the next frame
// falls, and frames that come while running and stop when stopped, also from inside one).
//
// Sections: the shown window; screen readers; repaint bands; frame pacing.

#include "support/QtPrinting.h"
#include "ui/qt/ControlPainter.h"
#include "ui/qt/FramePacer.h"
#include "ui/qt/MetronomeWindow.h"
#include "ui/qt/RepaintBands.h"
#include "ui/qt/WindowAccessibility.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

using namespace metro;

namespace {

struct ShownWindow : ::testing::Test {
    MetronomeWindow window;
    const WindowLayout& c = window.form().controls;
    const MetronomeState& s = window.form().state();

    static void SetUpTestSuite() { installWindowAccessibility(); }
    void SetUp() override { show(window); }
    static void show(MetronomeWindow& window) {
        window.showMessage = [](const QString&) {};
        window.form().Form_Load();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QImage grab() { return window.grab().toImage(); }

    // The colour of the grab at a point in twips.
    static std::string colourAt(const QImage& image, double x, double y) {
        const double scale = image.devicePixelRatio() / WindowLayout::kTwipsPerPixel;
        return image.pixelColor(int(x * scale), int(y * scale)).name().toStdString();
    }
    static QPointF pixels(double x, double y) {
        return QPointF(x, y) / WindowLayout::kTwipsPerPixel;
    }

    // A real Qt pointer event through the widget, at `local` window pixels.
    void send(QEvent::Type type, QPointF local, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, local, window.mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    }
};

} // namespace

// At every height the rod shows in its colour along its length but where the weight covers it,
// and the weight's picture at the centre its control gives; at the screen's density.
TEST_F(ShownWindow, GrabShowsTheRodAndTheWeightWhereTheirControlsSay) {
    PictureBox& weight = window.form().controls.I_Rod;
    const Line& rod = c.Line_Rod;
    for (const float top : {weight.Top, 690.0f, 5010.0f}) {
        SCOPED_TRACE(top);
        weight.Top = top;
        window.update();
        const QImage image = grab();
        EXPECT_EQ(image.devicePixelRatio(),
                  qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
        const QImage picture = AssetLibrary().pixmap("weight", image.devicePixelRatio()).toImage();
        EXPECT_EQ(
            colourAt(image, weight.Left + weight.Width / 2, top + weight.Height / 2),
            picture.pixelColor(picture.width() / 2, picture.height() / 2).name().toStdString());
        for (int y = int(rod.Y1) + 150; y < rod.Y2 - 150; y += 150) {
            if (y > top - 60 && y < top + weight.Height + 60)
                continue; // the weight covers the rod there
            EXPECT_EQ(colourAt(image, rod.X1 + 7.5, y), "#804000") << y;
        }
    }
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
                const QRgb a = shown.pixel(x, y);
                const QRgb b = full.pixel(x, y);
                differing += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b))}) > 4;
            }
        EXPECT_EQ(differing, 0) << "after " << (i + 1) * 45 << " ms";
    }
}

// Pointer events in window pixels reach the controls in twips: a drag of the weight, and a click
// on a tempo mark that T shows (its tick drawn into the picture the window keeps, and taken out
// again). (The close box: the router's own tests; closing by Esc below.)
TEST_F(ShownWindow, ThePointerInPixelsReachesTheControlsInTwips) {
    send(QEvent::MouseButtonPress, pixels(2085, 3105), Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 10; ++i)
        send(QEvent::MouseMove, pixels(2085, 3105 + 30 * i), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, pixels(2085, 3405), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(std::tuple(c.I_Rod.Top, c.L_temo.Caption), std::tuple(3330.f, std::string("132")));
    const Line& tick = c.Line1(8);
    const auto tickColour = [&] { return colourAt(grab(), (tick.X1 + tick.X2) / 2, tick.Y1 + 7); };
    const std::string field = tickColour();
    QTest::keyClick(&window, Qt::Key_T);
    EXPECT_EQ(tickColour(), "#ffc080");
    const QPointF mark = pixels(c.L_Tem1(16).Left + 60, c.L_Tem1(16).Top + 60);
    send(QEvent::MouseButtonPress, mark, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, mark, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(std::tuple(c.I_Rod.Top, c.L_temo.Caption), std::tuple(4860.f, std::string("208")));
    QTest::keyClick(&window, Qt::Key_T);
    EXPECT_EQ(tickColour(), field);
}

// Keys and the wheel as Qt delivers them; Enter starts and stops the beat frames, and Esc
// closes the window and the sound.
TEST_F(ShownWindow, KeysAndTheWheelReachTheMetronome) {
    QTest::keyClick(&window, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(c.I_Rod.Top, 3045);
    // Wheel towards the user: one beat per minute faster, also with the numbers turned round.
    const auto wheel = [&](int delta, bool inverted) {
        const QPointF at(140, 200);
        QWheelEvent event(at, window.mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, inverted);
        QApplication::sendEvent(&window, &event);
        return c.L_temo.Caption;
    };
    const int tempo = s.Tempo;
    EXPECT_EQ(wheel(-120, false), std::to_string(tempo + 1));
    EXPECT_EQ(wheel(-120, true), std::to_string(tempo));
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(std::tuple(s.Playing, window.beatFramesRunning()), std::tuple(true, true));
    QTest::qWait(60);
    QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(std::tuple(s.Playing, window.beatFramesRunning()), std::tuple(false, false));
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Escape);
    // Shown, playing, frames running, a sound device.
    EXPECT_EQ(std::tuple(window.isVisible(), s.Playing, window.beatFramesRunning(),
                         s.SoundDevice != nullptr),
              std::tuple(false, false, false, false));
}

TEST_F(ShownWindow, WithoutAWindowManagerTheTopBandMovesTheWindowByHand) {
    // The offscreen platform has no system move, as a bare X server has none: the window
    // follows the pointer itself while the left button is down, and holds the pointer, which
    // leaves the window before the window catches up with it.
    const QPoint start = window.pos();
    const QPoint grabbed = start + QPoint(100, 10); // in the top band
    const auto at = [&](QPoint moved) { return QPointF(grabbed + moved - window.pos()); };
    send(QEvent::MouseMove, at({}), Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, at({}), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, at({4, 3}), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(QWidget::mouseGrabber(), &window);
    send(QEvent::MouseMove, at({20, 16}), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(20, 16)) << "the point grabbed stays under the pointer";
    send(QEvent::MouseMove, at({-30, -40}), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(-30, -40));
    send(QEvent::MouseButtonRelease, at({-30, -40}), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    send(QEvent::MouseMove, at({30, 30}), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(window.pos(), start + QPoint(-30, -40)) << "released, it stays";
}

// ---- Screen readers ----

TEST_F(ShownWindow, ListsEveryControlWithItsRoleStateAndPlaceAndPressesItsButtons) {
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(QAccessible::Name), "Metronome");
    ASSERT_EQ(root->childCount(), 15);
    std::map<QString, QAccessibleInterface*> named;
    for (int i = 0; i < root->childCount(); ++i) {
        named[root->child(i)->text(QAccessible::Name)] = root->child(i);
        EXPECT_EQ(root->child(i)->parent(), root) << i;
        EXPECT_EQ(root->indexOfChild(root->child(i)), i);
    }
    // Name, role, and whether checked (a button: shown) at start-up.
    for (const auto& [name, role, on] :
         {std::tuple{"Tempo", QAccessible::Slider, false},
          {"Play", QAccessible::Button, true},
          {"Stop", QAccessible::Button, false},
          {"Tempo, beats per minute", QAccessible::StaticText, false},
          {"2 beats per measure", QAccessible::RadioButton, true},
          {"8 beats per measure", QAccessible::RadioButton, false},
          {"Sound", QAccessible::CheckBox, true},
          {"Tempo scale and key help", QAccessible::CheckBox, false},
          {"Close", QAccessible::Button, true}}) {
        ASSERT_TRUE(named.count(name)) << name;
        EXPECT_EQ(named[name]->role(), role) << name;
        const QAccessible::State state = named[name]->state();
        EXPECT_EQ(role == QAccessible::Button ? !state.invisible : state.checked, on) << name;
    }
    EXPECT_EQ(named["Tempo, beats per minute"]->textInterface()->text(0, 3), "120");
    EXPECT_EQ(named["Tempo"]->valueInterface()->currentValue().toInt(), 120);
    const QPoint topLeft = window.mapToGlobal(QPoint(178, 392)); // where Play is painted
    EXPECT_EQ(named["Play"]->rect(), QRect(topLeft, QSize(13, 15)));
    EXPECT_EQ(root->childAt(topLeft.x() + 5, topLeft.y() + 5), named["Play"]);

    const auto press = [&](const char* name) {
        named[name]->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    };
    for (const char* name : {"3 beats per measure", "Tempo scale and key help", "Play"})
        press(name);
    // 3 and 2 beats, and the scale checked; playing; Stop shown.
    EXPECT_EQ(std::tuple(named["3 beats per measure"]->state().checked,
                         named["2 beats per measure"]->state().checked,
                         named["Tempo scale and key help"]->state().checked, s.Playing,
                         !named["Stop"]->state().invisible),
              std::tuple(true, false, true, true, true));
    press("Stop");
    EXPECT_FALSE(s.Playing);
    press("Close");
    EXPECT_FALSE(window.isVisible());
}

// Qt's cache deletes an interface with its object, and the painted controls have none: they
// must go with the window's own interface, or they outlive the window they describe.
TEST_F(ShownWindow, ItsControlsGoWithTheWindowEachTime) {
    for (int round = 0; round < 2; ++round) {
        std::vector<QAccessible::Id> controls;
        {
            MetronomeWindow other;
            show(other);
            QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&other);
            ASSERT_NE(root, nullptr);
            for (int i = 0; i < root->childCount(); ++i)
                controls.push_back(QAccessible::uniqueId(root->child(i)));
            ASSERT_EQ(controls.size(), 15u);
        }
        for (const QAccessible::Id id : controls)
            EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr) << round;
    }
}

// ---- Repaint bands ----

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

// ---- Frame pacing ----

using namespace std::chrono;

TEST(FramePacer, ThePeriodIsTheScreensWithinSixtyAndTwoHundredFiftyHertzWhereItSaysNone) {
    // The screen's rate (Hz) and the period (ns).
    const std::pair<double, std::int64_t> periods[] = {
        {60, 16'666'667}, {144, 6'944'444}, {59.94, 16'683'350}, {0, 16'666'667},
        {1, 16'666'667},  {-5, 16'666'667}, {250, 4'000'000},    {1000, 4'000'000}};
    for (const auto& [hz, period] : periods)
        EXPECT_EQ(FramePacer::periodFor(hz).count(), period) << hz;
}

// The frame after one due at 0 ms, for a timer that fires at `now`: due one period on, or one
// period from now where that has passed; the wait is to the nearest millisecond.
TEST(FramePacer, TheNextFrameKeepsTheGridAndMakesNoBurstAfterAHoldUp) {
    const FramePacer::Clock::time_point t0{};
    const nanoseconds period{16'666'667};
    // What, when the timer fires, when the frame is due and the wait until then.
    using Case = std::tuple<const char*, microseconds, nanoseconds, milliseconds>;
    const Case cases[] = {
        {"on time", 0us, period, 17ms},
        {"a little late: the grid holds", 5'000us, period, 12ms},
        {"rounded down below half a millisecond", 5'200us, period, 11ms},
        {"just before the next", 16'000us, period, 1ms},
        {"held up past it: one period from now", 20'000us, 20ms + period, 17ms},
        {"held up for seconds", 3'000'000us, 3s + period, 17ms},
    };
    for (const auto& [what, now, due, wait] : cases) {
        const FramePacer::Next next = FramePacer::next(t0, period, t0 + now);
        EXPECT_EQ(std::tuple(next.due - t0, next.wait), std::tuple(due, wait)) << what;
    }
}

// Frames come while running and none once stopped: before the first, from inside one, or
// from outside; and the pacer starts again.
TEST(FramePacer, FramesComeWhileRunningAndNoneOnceStopped) {
    int frames = 0;
    bool stopInFrame = true;
    FramePacer pacer([&] {
        ++frames;
        if (stopInFrame)
            pacer.stop();
    });
    pacer.start(60);
    pacer.stop();
    QTest::qWait(40);
    EXPECT_EQ(frames, 0) << "stopped before its first frame";
    pacer.start(250);
    EXPECT_EQ(pacer.period(), 4ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 1; }, 5000));
    QTest::qWait(40);
    EXPECT_EQ(frames, 1) << "a frame that stops the pacer is the last";
    stopInFrame = false;
    pacer.start(250);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 5; }, 5000)) << frames;
    pacer.stop();
    const int atStop = frames;
    QTest::qWait(40);
    EXPECT_EQ(frames, atStop);
}
