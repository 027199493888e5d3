// A month of uninterrupted play. Rendering a month of sound takes far too long, so:
//
// - On the sound device: one run that starts on the month's first frame, listened to in
//   stretches of real rendering spread over the month. For each stretch the offline device's
//   clock starts just before the stretch, and the run's clock tells the start that play
//   was pressed on the month's first frame. The first beat frame then finds every earlier
//   beat long past: it must count them without playing any, so the stretch hears exactly the
//   clicks of a month-old run. Two stretches cross the frames where a 32-bit millisecond
//   counter would overflow (2^31 and 2^32 ms of device time).
// - Without sound, on the steady clock: the whole month in large irregular steps, with the
//   swing checked at every step against where the beat grid says the rod must be.

#include "engine/BeatGrid.h"
#include "support/ClickRecorder.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <numbers>
#include <random>

using namespace metro;
using test::ClickedMetronome;

namespace {

constexpr std::int64_t msPerDay = 24 * 3600 * 1000;
constexpr std::int64_t framesPerMs = ClickedMetronome::rate / 1000;
// Play begins three days before the device clock reaches 2^31 ms, so that the month covers
// both the 2^31 and the 2^32 ms crossings (24.9 days apart).
constexpr std::int64_t monthStartFrame = ((std::int64_t{1} << 31) - 3 * msPerDay) * framesPerMs;
constexpr std::int64_t monthFrames = 30 * msPerDay * framesPerMs;

// The device clock of a run whose start was pressed at `pressedAt`: the start's reading of
// the earliest start gives the press, every later reading the device itself.
class MonthOldRunClock final : public BeatClock {
public:
    MonthOldRunClock(std::unique_ptr<BeatClock> device, std::int64_t pressedAt)
        : device_(std::move(device)), pressedAt_(pressedAt) {}
    std::int64_t ticksPerSecond() const override { return device_->ticksPerSecond(); }
    void observe() override { device_->observe(); }
    std::int64_t heardNow() const override { return device_->heardNow(); }
    std::int64_t earliestStart() const override {
        if (!started_) {
            started_ = true;
            return pressedAt_;
        }
        return device_->earliestStart();
    }

private:
    std::unique_ptr<BeatClock> device_;
    std::int64_t pressedAt_;
    mutable bool started_ = false;
};

struct Stretch {
    const char* where;
    std::int64_t frame; // device frame around which the stretch is heard
};

// Listens to `seconds` of the month-old run around `around`; every click must be the one of
// its beat on the run's grid, exactly, with the accent on the first beat of each measure.
// Returns the number of clicks heard.
std::size_t listenAround(std::int64_t around, int tempo, int beatsPerMeasure, double seconds) {
    const BeatGrid grid(monthStartFrame, ClickedMetronome::rate, tempo);
    // Start the device 4000 frames before a beat: that beat is handed over on time in the
    // first frame, and the one before it is long past.
    const std::int64_t firstBeat = grid.positionAt(around).beat + 1;
    const std::int64_t firstFrame = grid.tickOfBeat(firstBeat) - 4000;

    ClickedMetronome m(firstFrame);
    m.state().Tempo = static_cast<std::int16_t>(tempo);
    m.state().BeatsPerMeasure = static_cast<std::int16_t>(beatsPerMeasure);
    m.form.metronome.clockForRun = [&m](const MetronomeState& s) {
        return std::make_unique<MonthOldRunClock>(
            makeDeviceBeatClock(*s.SoundDevice, m.steady.forRun()), monthStartFrame);
    };
    std::mt19937 random(static_cast<unsigned>(around % 1000003));
    m.form.I_Play_Click(0);
    m.playFor(seconds, random);
    EXPECT_TRUE(m.state().Playing);
    EXPECT_TRUE(m.window.framesRunning);

    // Every beat from the first one due to the end of what was rendered, once, on its frame.
    std::size_t k = 0;
    for (std::int64_t beat = firstBeat; grid.tickOfBeat(beat) < m.now(); ++beat, ++k) {
        if (k >= m.clicks.size()) {
            ADD_FAILURE() << "beat " << beat << " missing at frame " << grid.tickOfBeat(beat);
            return k;
        }
        const test::Click& click = m.clicks[k];
        const double ideal = static_cast<double>(monthStartFrame) +
                             static_cast<double>(beat) * 60.0 * ClickedMetronome::rate / tempo;
        if (std::abs(static_cast<double>(click.frame) - ideal) > 0.5 ||
            click.accent != (beat % beatsPerMeasure == 0)) {
            ADD_FAILURE() << "beat " << beat << " of the month: click at " << click.frame
                          << (click.accent ? " (accent)" : " (plain)") << ", ideal " << ideal;
            return k;
        }
    }
    EXPECT_EQ(m.clicks.size(), k) << "clicks besides the beats";
    return k;
}

} // namespace

TEST(MonthOfPlay, EveryClickOfAMonthOldRunFallsOnItsBeatAcrossTheMillisecondOverflows) {
    const Stretch stretches[] = {
        {"first day", monthStartFrame + 3 * 60 * ClickedMetronome::rate},
        {"2^31 ms", (std::int64_t{1} << 31) * framesPerMs - 30 * ClickedMetronome::rate},
        {"day 11", monthStartFrame + 11 * msPerDay * framesPerMs + 12345},
        {"day 19", monthStartFrame + 19 * msPerDay * framesPerMs + 777777},
        {"2^32 ms", (std::int64_t{1} << 32) * framesPerMs - 30 * ClickedMetronome::rate},
        {"last minutes", monthStartFrame + monthFrames - 2 * 60 * ClickedMetronome::rate},
    };
    // Tempos whose beat is not a whole number of frames, so rounding errors would add up.
    const struct { int tempo, beatsPerMeasure; } runs[] = {{137, 7}, {300, 3}, {41, 5}};

    std::size_t clicks = 0;
    double heardSeconds = 0;
    for (const auto& run : runs) {
        for (const Stretch& s : stretches) {
            SCOPED_TRACE(std::string(s.where) + " at tempo " + std::to_string(run.tempo));
            const std::size_t heard = listenAround(s.frame, run.tempo, run.beatsPerMeasure, 60);
            EXPECT_GE(static_cast<double>(heard), 60.0 * run.tempo / 60 - 2);
            clicks += heard;
            heardSeconds += 60;
        }
    }
    std::cout << "[ month    ] " << std::size(runs) << " runs of 30 days, " << heardSeconds / 60
              << " minutes rendered in " << std::size(stretches) * std::size(runs) << " stretches, "
              << clicks << " clicks checked\n";
}

namespace {

// The steady-clock month of one run: where the rod must be at `heard` nanoseconds.
struct SteadyMonth {
    static constexpr std::int64_t second = 1'000'000'000;
    std::int64_t start;
    int tempo;

    // The rod top's horizontal place: a sine through the vertical at every beat, to the
    // right on even beats and to the left on odd ones. Exact integer beat arithmetic.
    double rodX(std::int64_t heard) const {
        const Int128 scaled = static_cast<Int128>(heard - start) * tempo;
        const Int128 minute = 60 * second;
        const auto beat = static_cast<std::int64_t>(scaled / minute);
        const double fraction =
            static_cast<double>(static_cast<std::int64_t>(scaled % minute)) / (60.0 * second);
        const double side = beat % 2 == 0 ? 1 : -1;
        return 2085 +
               side * 4485 * std::sin(std::numbers::pi / 7) * std::sin(std::numbers::pi * fraction);
    }
    // The next beat at or after `heard`, in nanoseconds, rounded up.
    std::int64_t nextBeat(std::int64_t heard) const {
        const Int128 minute = 60 * second;
        const Int128 beats = (static_cast<Int128>(heard - start) * tempo + minute - 1) / minute;
        return start + static_cast<std::int64_t>((beats * minute + tempo - 1) / tempo);
    }
};

} // namespace

TEST(MonthOfPlay, WithoutSoundTheSwingStaysOnTheBeatForAMonthOfIrregularFrames) {
    for (int tempo : {40, 137, 300}) {
        SCOPED_TRACE("tempo " + std::to_string(tempo));
        test::RecordingWindow window;
        Form1 form{window};
        form.Form_Load();
        form.state().SoundReady = false; // the steady clock, as without clicks
        form.state().Tempo = static_cast<std::int16_t>(tempo);
        test::ManualClock clock;
        clock.ticksPerSecond = SteadyMonth::second;
        clock.heard = 86'400 * SteadyMonth::second + 123'456'789; // a day after boot
        form.metronome.clockForRun = [&](const MetronomeState&) { return clock.forRun(); };
        const SteadyMonth month{clock.heard, tempo};
        const std::int64_t end = clock.heard + 30 * msPerDay * 1'000'000;
        // Two beats make a full swing: the pendulum is back where it was.
        const auto period = static_cast<std::int64_t>(std::llround(120.0 * 1e9 / tempo));
        // Steepest swing, twips per millisecond, at the vertical.
        const double slope =
            4485 * std::sin(std::numbers::pi / 7) * std::numbers::pi * tempo / 60 / 1000;

        form.I_Play_Click(0);
        std::mt19937_64 random(static_cast<unsigned>(tempo));
        // Frames from a millisecond to three hours apart, spread evenly over the decades.
        std::uniform_real_distribution<double> decades(6, 13.03);
        const Line& rod = form.controls.Line_Rod;
        auto frameAt = [&](std::int64_t heard) {
            clock.heard = heard;
            form.metronome.Beat_Frame();
            return static_cast<double>(rod.X1);
        };
        long frames = 0;
        while (clock.heard < end) {
            const auto step = static_cast<std::int64_t>(std::pow(10.0, decades(random)));
            const double x = frameAt(clock.heard + step);
            ASSERT_NEAR(x, month.rodX(clock.heard), 0.01) << "at " << clock.heard;
            ASSERT_NEAR(std::hypot(x - 2085, 5205 - rod.Y1), 4485, 1) << "rod off its circle";
            ASSERT_TRUE(form.state().Playing);
            ASSERT_TRUE(window.framesRunning);
            // Continuous: a millisecond on, the rod has moved no more than the swing allows.
            const double later = frameAt(clock.heard + 1'000'000);
            ASSERT_LE(std::abs(later - x), slope * 1.001) << "jump at " << clock.heard;
            // Periodic: a full swing on, it is back where it was.
            ASSERT_NEAR(frameAt(clock.heard + period), later, 0.01) << "at " << clock.heard;
            // On the beat: the rod passes the vertical exactly when the grid says.
            const std::int64_t beat = month.nextBeat(clock.heard + 1'000'001);
            const double before = frameAt(beat - 1'000'000) - 2085;
            ASSERT_NEAR(frameAt(beat), 2085, 0.01) << "beat at " << beat;
            const double after = frameAt(beat + 1'000'000) - 2085;
            ASSERT_LT(before * after, 0) << "the rod does not pass the vertical at " << beat;
            frames += 7;
        }
        form.I_Play_Click(1);
        EXPECT_EQ(rod.X1, 2085);
        EXPECT_EQ(rod.Y1, 720);
        EXPECT_EQ(form.controls.I_Rod.Top, 3030);
        std::cout << "[ month    ] tempo " << tempo << ": 30 days on the steady clock in " << frames
                  << " frames\n";
    }
}
