// A storm of random key, pointer and frame events against the window's logic, in and out of
// play, with the state checked after every event. When the window unloads, a fresh one takes
// its place; every other window has no sound, the others click on an offline sound device.

#include "engine/TempoSearch.h"
#include "support/ClickRecorder.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

using namespace metro;

TEST(EventStorm, KeepsEveryInvariantThroughRandomEvents) {
    // Every command key, both digit rows, their neighbours 0 and 9, and a few that are none.
    constexpr std::array<std::int16_t, 32> keys{27,  13,  32, 84, 107, 187, 109, 189, 49,  50,  51,
                                                52,  53,  54, 55, 56,  97,  98,  99,  100, 101, 102,
                                                103, 104, 48, 57, 96,  105, 16,  17,  65,  0};
    std::mt19937 random(20240611);
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    // Anywhere on the window or far outside (the borders are the pointer tests' own).
    const auto place = [&](float span) {
        return std::uniform_real_distribution<float>(-50, span + 50)(random) *
               (pick(0, 4) == 0 ? 1e6f : 1.0f);
    };
    // One window's life, from start-up to unload: the first has no sound.
    auto m = std::make_unique<test::ClickedMetronome>();
    m->state().SoundReady = false;
    // The pose at rest: the rod's top, its pivot, the weight's left edge.
    const auto [restX, restY, pivotX, pivotY, restLeft] = [](const WindowLayout& c) {
        return std::tuple(c.Line_Rod.X1, c.Line_Rod.Y1, c.Line_Rod.X2, c.Line_Rod.Y2, c.I_Rod.Left);
    }(m->form.controls);
    std::int16_t held = 0; // pointer buttons down
    int sessions = 1, starts = 0, captures = 0;

    for (int event = 1; event <= 5000; ++event) {
        Form1& form = m->form;
        const MetronomeState& s = form.state();
        const WindowLayout& c = form.controls;
        const bool wasPlaying = s.Playing;
        const std::size_t clicksBefore = m->clicks.size();
        float x = place(4215), y = pick(0, 2) == 0 ? place(360) : place(6585); // often in the band
        const auto button = static_cast<std::int16_t>(1 << pick(0, 2));
        const int kind = pick(0, 99);
        SCOPED_TRACE("event " + std::to_string(event) + " of kind " + std::to_string(kind));
        if (kind < 18) { // mostly a whole stroke, sometimes a lone press or release; Esc rarely
            std::int16_t key = keys[static_cast<std::size_t>(pick(0, keys.size() - 1))];
            key = key == 27 && pick(0, 9) != 0 ? 13 : key;
            if (kind < 15)
                form.Form_KeyDown(key, 0);
            if (kind > 2)
                form.Form_KeyUp(key, 0);
        } else if (kind < 72) { // a pointer event; now and then amid any control, shown or not
            if (kind >= 60) {
                const auto& all = c.stackingOrder();
                const Control& t = *all[static_cast<std::size_t>(pick(0, all.size() - 1))];
                x = t.Left + t.Width / 2, y = t.Top + t.Height / 2;
            }
            const int action = pick(0, 2); // press, release or move
            held = static_cast<std::int16_t>(action == 0   ? held | button
                                             : action == 1 ? held & ~button
                                                           : held);
            action == 0   ? form.pointer.press(button, 0, x, y)
            : action == 1 ? form.pointer.release(button, held, 0, x, y)
                          : form.pointer.move(held, 0, x, y);
        } else if (kind < 76) { // the wheel: notches, halves, or a hostile turn
            form.Form_MouseWheel(pick(0, 9)   ? pick(-6, 6) * 60
                                 : pick(0, 1) ? INT32_MAX
                                              : INT32_MIN);
        } else if (kind < 99) { // time passes; a frame runs, now and then a late one after stop
            m->render(std::int64_t{pick(0, 39) == 0 ? pick(100, 600) : pick(1, 40)} * 48);
            if (m->window.framesRunning || pick(0, 9) == 0)
                form.metronome.Beat_Frame();
        } else if (pick(0, 4) == 0) {
            m->window.unloadWindow(); // closed by the system
        }
        starts += !wasPlaying && s.Playing;
        captures += form.pointer.captured();
        if (!wasPlaying && !s.Playing) {
            ASSERT_EQ(m->clicks.size(), clicksBefore) << "a click while stopped";
        }
        if (m->window.unloads > 0) {
            ASSERT_EQ(std::tuple(s.Playing, m->window.hidden, s.SoundDevice == nullptr),
                      std::tuple(false, true, true));
            // A frame already due still runs once; it must stop the frames and touch nothing.
            const float rodX = c.Line_Rod.X1;
            form.metronome.Beat_Frame();
            m->render(test::ClickedMetronome::rate / 4); // past every click handed over
            ASSERT_EQ(std::tuple(m->window.framesRunning, c.Line_Rod.X1, m->clicks.size()),
                      std::tuple(false, rodX, clicksBefore));
            m = std::make_unique<test::ClickedMetronome>(); // every other window has sound
            m->state().SoundReady = sessions++ % 2 == 1;
            held = 0;
            continue;
        }
        // What must hold after every event while the window is open.
        ASSERT_GE(s.Tempo, 40);
        ASSERT_LE(s.Tempo, 300);
        ASSERT_EQ(c.L_temo.Caption, std::to_string(s.Tempo));
        // Stop shown, play shown and the frames running, against playing.
        ASSERT_EQ(std::tuple(c.I_Play(1).Visible, c.I_Play(0).Visible, m->window.framesRunning),
                  std::tuple(s.Playing, !s.Playing, s.Playing));
        // The ticks, the marks and the key help go together: hidden in play, else as the button.
        const bool scale = s.ScaleShown && !s.Playing;
        for (const Line& tick : c.Line1)
            ASSERT_EQ(tick.Visible, scale) << tick.Index;
        for (const auto* labels : {&c.L_Tem1, &c.Label2})
            for (const Label& label : *labels)
                ASSERT_EQ(label.Visible, scale) << label.Name << label.Index;
        const Line& rod = c.Line_Rod;
        ASSERT_EQ(std::tuple(rod.X2, rod.Y2), std::tuple(pivotX, pivotY)) << "the pivot";
        if (s.Playing) { // the rod top on its circle about the pivot
            ASSERT_NEAR(std::hypot(rod.X1 - rod.X2, rod.Y2 - rod.Y1), pivotY - restY, 1);
        } else { // at rest, the weight within the drag's reach or on a tick
            ASSERT_EQ(std::tuple(rod.X1, rod.Y1, c.I_Rod.Left), std::tuple(restX, restY, restLeft));
            const float centre = c.I_Rod.Top + c.I_Rod.Height / 2;
            const bool onTick = std::any_of(c.Line1.begin(), c.Line1.end(),
                                            [&](const Line& tick) { return tick.Y1 == centre; });
            const auto [highest, lowest] = weightReach(c);
            if (!onTick) {
                ASSERT_EQ(std::clamp<float>(c.I_Rod.Top, highest, lowest), c.I_Rod.Top);
            }
        }
        if (!s.SoundReady) {
            ASSERT_EQ(m->clicks.size(), 0u) << "clicks without sound ready";
        }
        ASSERT_EQ(form.pointer.captured(), m->window.grabbed) << "capture without the grab";
    }
    // The storm must really have reached play, captures and closing, or it proves little.
    EXPECT_GT(starts, 10);
    EXPECT_GT(captures, 200);
    EXPECT_GT(sessions, 4);
}
