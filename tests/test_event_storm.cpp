// A storm of random key, pointer and frame events against the window's logic, in and out of
// play, with the state checked after every single event. When the window unloads, a fresh
// one takes its place and the storm goes on. Half the windows run without sound on a clock
// the test moves; the other half click on an offline sound device that renders as time
// passes.

#include "support/ClickRecorder.h"
#include "support/ManualClock.h"
#include "ui/form/PointerRouter.h"
#include "model/TempoScale.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

using namespace metro;

namespace {

constexpr int stormEvents = 100'000;
constexpr Rgb white = 0xFFFFFF;

// Key codes the storm presses: every command key and a few that are none.
constexpr std::array<std::int16_t, 32> keys{
    27, 13, 32, 84,  107, 187, 109, 189, 49, 50, 51, 52,  53, 54, 55, 56,
    97, 98, 99, 100, 101, 102, 103, 104, 48, 57, 96, 105, 16, 17, 65, 0,
};

// One window's life, from start-up to unload.
struct Session {
    explicit Session(bool sounded) : sounded(sounded) {
        form.metronome.clockForRun = [this](const MetronomeState& s) {
            if (this->sounded)
                return makeDeviceBeatClock(*s.SoundDevice, m->steady.forRun());
            return clock.forRun();
        };
        if (!sounded)
            m->state().SoundReady = false; // clicks missing: the metronome swings silently
        window.router = &router;
    }

    bool sounded;
    std::unique_ptr<test::ClickedMetronome> m = std::make_unique<test::ClickedMetronome>();
    test::RecordingWindow& window = m->window;
    Form1& form = m->form;
    WindowLayout& c = form.controls;
    MetronomeState& s = form.state();
    PointerRouter router{form};
    test::ManualClock clock; // milliseconds, for the silent window
    std::int16_t held = 0;   // pointer buttons down
};

bool isMarkNumber(int tempo) {
    for (const TempoScalePoint& p : TempoScale::points)
        if (std::to_string(tempo) == p.mark)
            return true;
    return false;
}

// What must hold after every event while the window is open; empty when all does.
std::string violation(Session& w) {
    const MetronomeState& s = w.s;
    const WindowLayout& c = w.c;
    std::ostringstream why;
    if (!((s.Tempo >= 40 && s.Tempo <= 300) || isMarkNumber(s.Tempo)))
        why << "tempo " << s.Tempo << " out of range; ";
    if (c.L_temo.Caption != std::to_string(s.Tempo))
        why << "read-out '" << c.L_temo.Caption << "' for tempo " << s.Tempo << "; ";

    int whites = 0;
    for (const Label& b : c.L_Metro)
        whites += b.ForeColor == white;
    if (s.BeatsPerMeasure < 1 || s.BeatsPerMeasure > 8 || whites != 1 ||
        c.L_Metro(s.BeatsPerMeasure).ForeColor != white)
        why << whites << " white beat buttons for " << s.BeatsPerMeasure << " beats; ";

    if (c.I_Play(0).Visible == s.Playing || c.I_Play(1).Visible != s.Playing)
        why << "play/stop buttons do not match Playing=" << s.Playing << "; ";
    if (w.window.framesRunning != s.Playing)
        why << "beat frames running=" << w.window.framesRunning << " with Playing=" << s.Playing
            << "; ";

    // The ticks, the marks and the key help go together: hidden in play, else as the button.
    const bool scale = c.Line1(0).Visible;
    bool together = true;
    for (const Line& l : c.Line1)
        together &= l.Visible == scale;
    for (const Label& l : c.L_Tem1)
        together &= l.Visible == scale;
    for (const Label& l : c.Label2)
        together &= l.Visible == scale;
    if (!together)
        why << "scale controls partly shown; ";
    if (scale != (s.ScaleShown && !s.Playing))
        why << "scale shown=" << scale << " with ScaleShown=" << s.ScaleShown << "; ";
    // Start hides the scale through the same routine as the button, picture and all; stop
    // puts both back.
    if (!s.Playing && c.I_Scale.Picture != (s.ScaleShown ? "t" : "tx"))
        why << "scale button shows " << c.I_Scale.Picture << "; ";
    if (c.I_Speaker.Picture != (s.SoundOff ? "sx" : "s"))
        why << "speaker shows " << c.I_Speaker.Picture << "; ";

    const Line& rod = c.Line_Rod;
    if (rod.X2 != 2085 || rod.Y2 != 5205)
        why << "pivot moved to " << rod.X2 << "," << rod.Y2 << "; ";
    if (!s.Playing) {
        const float top = c.I_Rod.Top;
        if (!((top >= 690 && top <= 5010) || top == 675))
            why << "weight top " << top << " while stopped; ";
        if (rod.X1 != 2085 || rod.Y1 != 720)
            why << "rod top at " << rod.X1 << "," << rod.Y1 << " while stopped; ";
        if (c.I_Rod.Left != 2010)
            why << "weight left " << c.I_Rod.Left << " while stopped; ";
    } else {
        // In play the rod top stays on its circle about the pivot, within the full swing.
        const double dx = rod.X1 - 2085.0, dy = 5205.0 - rod.Y1;
        if (std::abs(dx) > 1946.5 || std::abs(std::hypot(dx, dy) - 4485) > 1)
            why << "rod top off its circle at " << rod.X1 << "," << rod.Y1 << "; ";
    }
    if (!w.sounded && !w.m->clicks.empty())
        why << "a click sounded without sound ready; ";
    return why.str();
}

// Places a pointer event may have: anywhere on the window, on the borders that decide what
// a position means, on the weight, and far outside.
class Places {
public:
    explicit Places(std::mt19937& random) : random_(random) {}

    std::pair<float, float> pick(const WindowLayout& c) {
        switch (pickInt(0, 9)) {
        case 0:
        case 1:
        case 2:
            return {uniform(-200, 4415), uniform(-200, 6785)};
        case 3:
        case 4: // the title band, the close box and the release band's edges
            return {edge({0, 3510, 4200, 4215}, 4215), edge({0, 30, 330, 360}, 360)};
        case 5:
            return {uniform(0, 4215), edge({734, 735, 5100, 5101}, 6585)};
        case 6: // on the weight
            return {c.I_Rod.Left + uniform(0, c.I_Rod.Width), c.I_Rod.Top + uniform(0, 150)};
        case 7: { // far outside, where 16-bit positions saturate
            const float far = std::pow(10.0f, uniform(4, 30));
            const float y = pickInt(0, 1) ? uniform(-1e5f, 1e5f) : far;
            return {pickInt(0, 1) ? far : -far, pickInt(0, 1) ? y : -y};
        }
        default:
            return {uniform(0, 4215), uniform(0, 6585)};
        }
    }

    int pickInt(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    float uniform(float low, float high) {
        return std::uniform_real_distribution<float>(low, high)(random_);
    }

private:
    // Exactly on one of the borders, a hair beside it, or anywhere up to `span`.
    float edge(std::initializer_list<float> borders, float span) {
        const float b = *(borders.begin() + pickInt(0, static_cast<int>(borders.size()) - 1));
        switch (pickInt(0, 4)) {
        case 0:
            return b;
        case 1:
            return std::nextafter(b, -1e9f);
        case 2:
            return std::nextafter(b, 1e9f);
        case 3:
            return b + uniform(-20, 20);
        default:
            return uniform(-50, span + 50);
        }
    }

    std::mt19937& random_;
};

struct Tally {
    long events = 0, sessions = 0, starts = 0, playingEvents = 0, captures = 0, unloads = 0;
};

} // namespace

TEST(EventStorm, KeepsEveryInvariantThroughAHundredThousandRandomEvents) {
    std::mt19937 random(20240611);
    Places places(random);
    Tally tally;
    auto session = std::make_unique<Session>(false);
    ++tally.sessions;
    std::string last; // the event just tried, for the report

    for (tally.events = 1; tally.events <= stormEvents; ++tally.events) {
        Session& w = *session;
        const bool wasPlaying = w.s.Playing;
        const std::size_t clicksBefore = w.m->clicks.size();
        const auto [x, y] = places.pick(w.c);
        const auto shift = static_cast<std::int16_t>(places.pickInt(0, 7));
        std::ostringstream event;
        const int kind = places.pickInt(0, 99);

        if (kind < 14) {
            // Esc is rare, so that windows live long enough to get somewhere.
            std::int16_t key = keys[static_cast<std::size_t>(
                places.pickInt(0, static_cast<int>(keys.size()) - 1))];
            if (key == 27 && places.pickInt(0, 9) != 0)
                key = 13;
            event << "key down " << key;
            w.form.Form_KeyDown(key, shift);
            if (places.pickInt(0, 3) != 0) { // mostly a whole stroke, sometimes a lone press
                event << ", up";
                w.form.Form_KeyUp(key, shift);
            }
        } else if (kind < 18) {
            const std::int16_t key = keys[static_cast<std::size_t>(
                places.pickInt(1, static_cast<int>(keys.size()) - 1))];
            event << "lone key up " << key;
            w.form.Form_KeyUp(key, shift);
        } else if (kind < 30) {
            const auto button = static_cast<std::int16_t>(1 << places.pickInt(0, 2));
            w.held = static_cast<std::int16_t>(w.held | button);
            event << "press " << button << " at " << x << "," << y;
            w.router.press(button, shift, x, y);
        } else if (kind < 42) {
            const auto button = static_cast<std::int16_t>(1 << places.pickInt(0, 2));
            w.held = static_cast<std::int16_t>(w.held & ~button);
            event << "release " << button << " holding " << w.held << " at " << x << "," << y;
            w.router.release(button, w.held, shift, x, y);
        } else if (kind < 62) {
            // Mostly the buttons really held; sometimes any bit set at all.
            const auto bits = places.pickInt(0, 4) == 0
                                  ? static_cast<std::int16_t>(places.pickInt(0, 7))
                                  : w.held;
            event << "move holding " << bits << " to " << x << "," << y;
            w.router.move(bits, shift, x, y);
        } else if (kind < 72) {
            // A left click in the middle of any control, shown or not.
            const auto& all = w.c.stackingOrder();
            const Control& target =
                *all[static_cast<std::size_t>(places.pickInt(0, static_cast<int>(all.size()) - 1))];
            const float cx = target.Left + target.Width / 2, cy = target.Top + target.Height / 2;
            event << "click on " << target.Name << "(" << target.Index << ")";
            w.router.press(LeftButton, shift, cx, cy);
            w.router.release(LeftButton, w.held, shift, cx, cy);
        } else if (kind < 99) {
            // Time passes and a beat frame runs, if the window runs them (now and then a late
            // one after they were stopped).
            const int ms =
                places.pickInt(0, 39) == 0 ? places.pickInt(100, 600) : places.pickInt(1, 40);
            event << "frame after " << ms << " ms";
            if (w.sounded)
                w.m->render(static_cast<std::int64_t>(ms) * test::ClickedMetronome::rate / 1000);
            else
                w.clock.heard += ms;
            if (w.window.framesRunning || places.pickInt(0, 9) == 0)
                w.form.metronome.Beat_Frame();
        } else if (places.pickInt(0, 4) == 0) {
            event << "window closed by the system";
            w.window.unloadWindow();
        } else {
            event << "late frame";
            w.form.metronome.Beat_Frame();
        }
        last = event.str();
        tally.playingEvents += wasPlaying;
        tally.starts += !wasPlaying && w.s.Playing;
        tally.captures += w.router.captured();

        // Stopped, the device is silent: a stop cancels every click handed over.
        if (w.sounded && !wasPlaying && !w.s.Playing) {
            ASSERT_EQ(w.m->clicks.size(), clicksBefore) << "event " << tally.events << ": " << last;
        }

        if (w.window.unloads > 0) {
            ASSERT_FALSE(w.s.Playing) << "event " << tally.events << ": " << last;
            ASSERT_TRUE(w.window.hidden);
            ASSERT_EQ(w.s.SoundDevice, nullptr) << "the sound instance is released";
            // A frame already due still runs once; it must stop the frames and touch nothing.
            const float rodX = w.c.Line_Rod.X1, weightTop = w.c.I_Rod.Top;
            w.form.metronome.Beat_Frame();
            ASSERT_FALSE(w.window.framesRunning);
            ASSERT_EQ(w.c.Line_Rod.X1, rodX);
            ASSERT_EQ(w.c.I_Rod.Top, weightTop);
            w.m->render(test::ClickedMetronome::rate / 4); // past every click handed over
            ASSERT_EQ(w.m->clicks.size(), clicksBefore) << "no click after close: " << last;
            ++tally.unloads;
            session = std::make_unique<Session>(tally.sessions % 2 == 1);
            ++tally.sessions;
            continue;
        }
        const std::string why = violation(w);
        ASSERT_TRUE(why.empty()) << "event " << tally.events << " (" << last << "): " << why;
    }

    std::cout << "[ storm    ] " << stormEvents << " events tried in " << tally.sessions
              << " windows (" << tally.unloads << " closed), " << tally.starts << " starts, "
              << tally.playingEvents << " events in play, " << tally.captures
              << " events under capture\n";
    // The storm must really have reached play, captures and closing, or it proves little.
    EXPECT_GT(tally.starts, 300);
    EXPECT_GT(tally.playingEvents, stormEvents / 5);
    EXPECT_GT(tally.captures, 1000);
    EXPECT_GT(tally.unloads, 50);
}
