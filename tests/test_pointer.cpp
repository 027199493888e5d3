// The pointer: dragging the weight, clicking beside the rod, the title band, the close box
// and closing, delivered through the router as a desktop window delivers them; and Qt's
// pointer events to the router, where a left button handed to the window manager's move
// counts as released. During play, what the pointer and the keys leave alone. (The window's own
// tests drag the weight through Qt, pixels to twips.)

#include "support/LoadedForm.h"
#include "ui/form/Form1.h"
#include "ui/form/KeyCodes.h"
#include "ui/qt/PointerInput.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

using namespace metro;

namespace {

constexpr std::int16_t left = LeftButton;

struct Pointer : test::LoadedForm {
    PointerRouter& router = form.pointer;

    // Press the left button on the weight `below` twips under its top edge.
    void grabWeight(float below) { router.press(left, 0, c.I_Rod.Left + 75, c.I_Rod.Top + below); }
    void dragTo(float y, std::int16_t held = left) { router.move(held, 0, 2085, y); }
    // Press at (x, y), release at (releaseX, y).
    void click(std::int16_t button, float x, float releaseX, float y) {
        router.press(button, 0, x, y);
        router.release(button, 0, 0, releaseX, y);
    }
};

} // namespace

TEST_F(Pointer, DraggingTheWeightKeepsTheGrabbedPointUnderThePointerWithinTheLimits) {
    router.press(RightButton, 0, 2085, 3100); // only the left button alone drags
    router.move(RightButton, 0, 2085, 4000);
    router.release(RightButton, 0, 0, 2085, 4000);
    grabWeight(70);
    dragTo(4000, left | RightButton);
    EXPECT_EQ(c.I_Rod.Top, 3030);
    router.release(left, 0, 0, 2085, 4000);
    grabWeight(100);
    dragTo(3030 + 100 + 300);
    // A 300-twip move moves the weight exactly 300: the centre 3405 is on the mark 132's tick.
    EXPECT_EQ(std::tuple(c.I_Rod.Top, s.Tempo), std::tuple(3330.f, std::int16_t{132}));
    // Dragged far off, and a captured pointer so far away that the weight's place leaves the
    // 16-bit range: the weight stops at its limits.
    for (const float y : {-20000.f, 20000.f, -1.0e9f, 1.0e9f}) {
        dragTo(y);
        EXPECT_EQ(std::tuple(c.I_Rod.Top, s.Tempo), y < 0 ? std::tuple(690.f, std::int16_t{40})
                                                          : std::tuple(5010.f, std::int16_t{300}))
            << y;
    }
}

TEST_F(Pointer, ABackgroundReleaseInsideTheBandBringsTheWeightToItsHeight) {
    // Release heights and the weight's top after: the upper limit's centre is 765; any button.
    const std::pair<float, float> releases[] = {{3105, 3030}, {735, 690},  {5100, 5010},
                                                {4000, 3925}, {734, 3925}, {5101, 3925}};
    for (const auto& [y, top] : releases) {
        click(y == 4000 ? RightButton : LeftButton, 1000, 1000, y);
        EXPECT_EQ(c.I_Rod.Top, top) << y;
    }
}

TEST_F(Pointer, TheCloseBoxShowsOnlyWhileThePointerIsOverItInTheTitleBand) {
    router.move(0, 0, 3600, 100);
    // The box shown, the capture's target, the platform's grab.
    EXPECT_EQ(std::tuple(c.P_X.Visible, router.captureTarget(), window.grabbed),
              std::tuple(true, &c.P_X, true));
    // The box holds the capture: a move off it hides it and releases.
    router.move(0, 0, 3000, 100);
    EXPECT_EQ(std::tuple(c.P_X.Visible, router.captured(), window.grabbed),
              std::tuple(false, false, false));
    // In the band's top 30 twips the box stays hidden and the window holds the capture.
    router.move(0, 0, 3600, 20);
    EXPECT_EQ(std::tuple(c.P_X.Visible, router.captured(), router.captureTarget()),
              std::tuple(false, true, nullptr));
    // Between heights 330 and 360 the pointer is over the box but below the band: the box
    // keeps its state.
    form.Form_MouseMove(0, 0, 3600, 340);
    EXPECT_FALSE(c.P_X.Visible);
    form.Form_MouseMove(0, 0, 3600, 100);
    form.Form_MouseMove(0, 0, 3600, 340);
    EXPECT_TRUE(c.P_X.Visible);
}

TEST_F(Pointer, OnlyAMoveWithTheLeftButtonStrictlyInsideTheTitleBandMovesTheWindow) {
    // On the band's edges the pointer is outside it: the capture goes, nothing moves.
    for (auto [x, y] : {std::pair{1000.f, 0.f}, {1000.f, 330.f}, {0.f, 100.f}, {4215.f, 100.f}}) {
        router.setCapture(nullptr);
        form.Form_MouseMove(left, 0, x, y);
        EXPECT_FALSE(router.captured()) << x << "," << y;
    }
    router.press(left, 0, 1000, 329);
    EXPECT_EQ(window.systemMoves, 0) << "on the edges, or a press alone";
    router.move(left, 0, 1010, 329);
    EXPECT_EQ(window.systemMoves, 1);
}

// During play neither the pointer nor a key moves the weight, the tempo, the scale or the
// window; the beats, the sound, stop and the close box still act.
TEST_F(Pointer, DuringPlayOnlyTheBeatsTheSoundStopAndClosingAct) {
    stroke(vk::LetterT);
    stroke(vk::Enter);
    ASSERT_TRUE(s.Playing);
    grabWeight(75);
    dragTo(4500);
    router.release(left, 0, 0, 2085, 4500);
    click(left, 1000, 1000, 1000);
    form.Form_MouseMove(left, 0, 1000, 100);
    form.L_Tem1_Click(0);
    for (const std::int16_t key :
         {vk::PlusEquals, vk::Minus, vk::LetterT, std::int16_t{'4'}, vk::Space})
        stroke(key);
    // Weight top, tempo, scale, window moves, capture; beats, sound off.
    EXPECT_EQ(std::tuple(c.I_Rod.Top, s.Tempo, s.ScaleShown, window.systemMoves, router.captured(),
                         s.BeatsPerMeasure, s.SoundOff),
              std::tuple(3030.f, std::int16_t{120}, true, 0, false, std::int16_t{4}, true));
    form.P_X_MouseMove(0, 0, 100, 100);
    EXPECT_TRUE(c.P_X.Visible);
    stroke(vk::Enter);
    EXPECT_FALSE(s.Playing);
    stroke(vk::Enter);
    stroke(vk::Escape); // closing during play (what it ends: Stopped.ClosingEndsTheRun...)
    EXPECT_EQ(std::tuple(window.unloads, s.KeyIsDown), std::tuple(1, false));
}

TEST_F(Pointer, ButtonsClickOnlyWhenPressedAndReleasedOnThemWithTheLeftButton) {
    const auto x = [&](std::int16_t beats) { return c.L_Metro(beats).Left + 20; };
    const float y = c.L_Metro(5).Top + 20;
    click(left, x(5), x(5), y);
    EXPECT_EQ(s.BeatsPerMeasure, 5);
    click(left, x(3), x(4), y);
    click(RightButton, x(3), x(3), y);
    EXPECT_EQ(s.BeatsPerMeasure, 5);
}

TEST_F(Pointer, TheWheelWalksEveryTempoOnceEachWayAndRestsDuringPlay) {
    form.I_Rod_MouseMove(left, 0, 0, -20000);
    ASSERT_EQ(s.Tempo, 40);
    // A notch is 120, towards the user faster; a smooth-scrolling pad sends it in pieces.
    for (const auto& [delta, pieces, step] : {std::tuple{-120, 1, 1}, {120, 8, -1}}) {
        for (int tempo = s.Tempo + step; tempo >= 40 && tempo <= 300; tempo += step) {
            for (int i = 0; i < pieces; ++i)
                form.Form_MouseWheel(delta / pieces);
            // The weight stands at the tempo shown: its height gives that tempo again.
            form.metronome.Tempo_Change(static_cast<std::int16_t>(c.I_Rod.Top + 75));
            ASSERT_EQ(std::tuple(int{s.Tempo}, c.L_temo.Caption),
                      std::tuple(tempo, std::to_string(tempo)));
        }
    }
    form.Form_MouseWheel(-119);
    EXPECT_EQ(s.Tempo, 40) << "not yet a notch";
    const float top = c.I_Rod.Top;
    form.I_Play_Click(0);
    form.Form_MouseWheel(-360);
    EXPECT_EQ(std::tuple(s.Tempo, c.I_Rod.Top), std::tuple(std::int16_t{40}, top));
}

// Qt goes on reporting the left button held after the window manager took it for its move,
// until Qt sees it pressed or released again.
TEST_F(Pointer, ALeftButtonHandedToTheWindowManagerCountsAsReleasedUntilQtSeesItAgain) {
    PointerInput input{router};
    window.onSystemMove = [&] { input.leftButtonHandedOver(); }; // as the real window's move
    const QPointF band{100, 10};                                 // window pixels in the title band
    input.move(Qt::NoButton, {}, band);
    input.press(Qt::LeftButton, {}, band);
    input.move(Qt::LeftButton, {}, band + QPointF(8, 6));
    ASSERT_EQ(window.systemMoves, 1);
    // The manager got the release; Qt still says the button is held on every move.
    for (int i = 1; i <= 5; ++i)
        input.move(Qt::LeftButton, {}, band + QPointF(i, 0));
    EXPECT_EQ(window.systemMoves, 1) << "no move started again without a button down";
    // A click: Qt sees the button again, and the next drag moves the window.
    input.press(Qt::LeftButton, {}, band);
    input.release(Qt::LeftButton, {}, {}, band);
    input.move(Qt::NoButton, {}, band);
    input.press(Qt::LeftButton, {}, band);
    input.move(Qt::LeftButton, {}, band + QPointF(8, 6));
    EXPECT_EQ(window.systemMoves, 2);
}
