// Every click on its beat: the real beat frames, run at irregular intervals, hand their
// clicks to an offline sound device, and the rendered sound is checked frame by frame.

#include "sound/AudioOutput.h"
#include "support/ClickRecorder.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>

using namespace metro;
using test::ClickedMetronome;

namespace {

// The ideal frame of beat k after the first, which sounds at `start`.
double idealFrame(std::int64_t start, std::int64_t k, int tempo) {
    return static_cast<double>(start) +
           static_cast<double>(k) * 60.0 * ClickedMetronome::rate / tempo;
}

void expectOnTheGrid(const std::vector<test::Click>& clicks, int tempo, int beatsPerMeasure) {
    ASSERT_FALSE(clicks.empty());
    const std::int64_t start = clicks.front().frame;
    for (std::size_t k = 0; k < clicks.size(); ++k) {
        const double error = static_cast<double>(clicks[k].frame) - idealFrame(start, k, tempo);
        ASSERT_LE(std::abs(error), 0.5) << "click " << k << " at tempo " << tempo;
        ASSERT_EQ(clicks[k].accent, k % beatsPerMeasure == 0) << "click " << k;
    }
}

} // namespace

class AnHourOfPlay : public ::testing::TestWithParam<int> {};

TEST_P(AnHourOfPlay, PutsEveryClickOnItsBeatWithNoneMissingOrDoubled) {
    const int tempo = GetParam();
    ClickedMetronome m;
    m.state().Tempo = static_cast<std::int16_t>(tempo);
    m.state().BeatsPerMeasure = 4;
    std::mt19937 random(tempo);
    m.render(1000);
    const std::int64_t pressed = m.now();
    m.form.I_Play_Click(0);
    m.playFor(3600, random);
    // The accent comes within one device buffer of the start.
    ASSERT_FALSE(m.clicks.empty());
    EXPECT_GE(m.clicks.front().frame, pressed);
    EXPECT_LE(m.clicks.front().frame, pressed + 512);
    // One click per beat for the whole hour, each on the exact grid.
    const double beats = 3600.0 * tempo / 60.0;
    EXPECT_NEAR(static_cast<double>(m.clicks.size()), beats, 2.0);
    expectOnTheGrid(m.clicks, tempo, 4);
}

INSTANTIATE_TEST_SUITE_P(Tempos, AnHourOfPlay, ::testing::Values(40, 120, 208, 300));

TEST(ClickTiming, AccentsFallOnTheFirstBeatOfEachMeasure) {
    for (std::int16_t beats : {1, 2, 4}) {
        ClickedMetronome m;
        m.state().BeatsPerMeasure = beats;
        std::mt19937 random(beats);
        m.form.I_Play_Click(0);
        m.playFor(9.9, random); // beats at 0, 0.5 .. 9.5 s
        ASSERT_EQ(m.clicks.size(), 20u) << "one click per beat at 120, no double start";
        expectOnTheGrid(m.clicks, 120, beats);
    }
}

// A change of mute or of the beat count a few milliseconds before a beat acts from that
// very beat's click on, although the click was handed over to the device long before.
struct LateChange {
    const char* name;
    double atSeconds;          // the change comes this long before this beat time
    void (*change)(Form1&);    // the change itself
    std::vector<int> expected; // the next four beats: 0 silent, 1 plain, 2 accent
    bool mutedBefore = false;  // muted since 2.2 s (after beat 4)
};

class ChangeBeforeABeat
    : public ::testing::TestWithParam<std::tuple<LateChange, int /* ms before the beat */>> {};

TEST_P(ChangeBeforeABeat, TheNextClickFollowsTheNewState) {
    const auto& [change, msBefore] = GetParam();
    ClickedMetronome m;
    m.state().BeatsPerMeasure = 4;
    m.form.I_Play_Click(0);
    const auto frameRate = static_cast<std::int64_t>(ClickedMetronome::rate);
    const auto beatFrames = 60 * frameRate / 120;
    const auto runUntil = [&](std::int64_t frame) {
        while (m.now() < frame) {
            m.render(std::min<std::int64_t>(frameRate / 100, frame - m.now()));
            m.form.metronome.Beat_Frame();
        }
    };
    runUntil(m.now() + frameRate); // the first click sounds
    ASSERT_FALSE(m.clicks.empty());
    const std::int64_t start = m.clicks.front().frame;
    if (change.mutedBefore) {
        runUntil(start + 2 * frameRate + frameRate / 5);
        m.form.I_Speaker_Click();
    }
    const auto changeBeat = static_cast<std::int64_t>(change.atSeconds * 2);
    runUntil(start + changeBeat * beatFrames - msBefore * frameRate / 1000);
    change.change(m.form);
    runUntil(start + (changeBeat + 4) * beatFrames - beatFrames / 2);

    std::vector<int> heard(4, 0);
    for (const auto& c : m.clicks) {
        const std::int64_t beat = (c.frame - start) / beatFrames;
        ASSERT_EQ(c.frame, start + beat * beatFrames) << "every click on the grid";
        if (beat >= changeBeat)
            heard[static_cast<std::size_t>(beat - changeBeat)] = c.accent ? 2 : 1;
    }
    EXPECT_EQ(heard, change.expected) << change.name << ", " << msBefore << " ms before";
}

INSTANTIATE_TEST_SUITE_P(
    MuteAndBeats, ChangeBeforeABeat,
    ::testing::Combine(
        ::testing::Values(
            // Four to a measure: beat 4 was an accent, so the counter stands at 1 before beat 5.
            LateChange{"mute", 2.5, [](Form1& f) { f.I_Speaker_Click(); }, {0, 0, 0, 0}},
            LateChange{"unmute", 3.0, [](Form1& f) { f.I_Speaker_Click(); }, {1, 1, 1, 2}, true},
            LateChange{"two beats", 2.5, [](Form1& f) { f.L_Metro_Click(2); }, {1, 2, 1, 2}},
            LateChange{"one beat", 2.5, [](Form1& f) { f.L_Metro_Click(1); }, {1, 2, 2, 2}},
            LateChange{"five beats", 2.5, [](Form1& f) { f.L_Metro_Click(5); }, {1, 1, 1, 1}}),
        ::testing::Values(1, 5, 20, 60)),
    [](const auto& info) {
        std::string name = std::get<0>(info.param).name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name + "_" + std::to_string(std::get<1>(info.param)) + "ms";
    });

TEST(ClickTiming, WithoutSoundReadyNoSlotIsEverPlayed) {
    ClickedMetronome m;
    m.state().SoundReady = false;
    std::mt19937 random(1);
    m.form.I_Play_Click(0);
    m.playFor(5, random);
    EXPECT_TRUE(m.clicks.empty());
    m.form.I_Play_Click(1);
    EXPECT_TRUE(m.clicks.empty());
}

TEST(ClickTiming, NoClickSoundsAfterStopEvenOneAlreadyHandedOver) {
    for (double stopAfter : {0.45, 0.49, 0.499, 0.501, 0.9}) {
        ClickedMetronome m;
        std::mt19937 random(11);
        m.form.I_Play_Click(0);
        m.playFor(stopAfter, random);
        m.form.metronome.Beat_Frame(); // hands over the next beat inside the lookahead
        const std::int64_t stoppedAt = m.now();
        m.form.I_Play_Click(1);
        m.render(ClickedMetronome::rate * 2);
        for (const auto& c : m.clicks)
            EXPECT_LT(c.frame, stoppedAt + 512) << stopAfter; // the block in flight at most
    }
}

TEST(ClickTiming, ClosingDuringPlayLeavesNoClickBehind) {
    ClickedMetronome m;
    std::mt19937 random(5);
    m.form.I_Play_Click(0);
    m.playFor(1.3, random);
    auto output = m.output;
    const std::size_t before = m.clicks.size();
    m.form.P_X_Click(); // unloads: releases the sound device
    m.form.metronome.Beat_Frame();
    m.render(ClickedMetronome::rate);
    EXPECT_EQ(m.clicks.size(), before);
    EXPECT_FALSE(m.state().Playing);
}

TEST(ClickTiming, TheRodPassesTheVerticalWhenTheClickIsHeard) {
    // The offline device's listener hears the frame just rendered: step onto the fourth
    // beat's first frame and look at the rod there and one frame later.
    ClickedMetronome n;
    n.form.I_Play_Click(0);
    const std::int64_t start = n.now() + 512;
    const std::int64_t beat3 = start + 3 * 24000;
    while (n.now() + 960 < beat3) {
        n.render(960);
        n.form.metronome.Beat_Frame();
    }
    n.render(beat3 - n.now());
    n.form.metronome.Beat_Frame();
    EXPECT_NEAR(n.form.controls.Line_Rod.X1, 2085, 0.01);
    ASSERT_FALSE(n.clicks.empty());
    EXPECT_EQ(n.clicks.back().frame, start + 2 * 24000) << "the fourth click is next";
    n.render(1);
    n.form.metronome.Beat_Frame();
    EXPECT_EQ(n.clicks.back().frame, beat3);
    EXPECT_LT(n.form.controls.Line_Rod.X1, 2085) << "the fourth beat swings to the left";
}

TEST(ClickTiming, ThePastTwoToThe31And32MillisecondsNothingStopsOrSlips) {
    // The device clock at the frames where a 32-bit millisecond counter would overflow.
    for (std::int64_t ms : {std::int64_t{1} << 31, std::int64_t{1} << 32}) {
        const std::int64_t crossing = ms * ClickedMetronome::rate / 1000;
        ClickedMetronome m(crossing - 10 * ClickedMetronome::rate);
        std::mt19937 random(static_cast<unsigned>(ms >> 20));
        m.form.I_Play_Click(0);
        m.playFor(20, random);
        EXPECT_TRUE(m.state().Playing);
        EXPECT_TRUE(m.window.framesRunning);
        EXPECT_EQ(m.clicks.size(), 40u);
        expectOnTheGrid(m.clicks, 120, 2);
        EXPECT_GT(m.clicks.back().frame, crossing);
    }
}

TEST(ClickTiming, WithoutSoundTheSwingKeepsGoingAcrossTheMillisecondOverflows) {
    test::RecordingWindow window;
    Form1 form{window};
    form.Form_Load();
    test::ManualClock clock; // milliseconds, like the old 32-bit counter
    form.metronome.clockForRun = [&](const MetronomeState&) { return clock.forRun(); };
    for (std::int64_t crossing : {std::int64_t{1} << 31, std::int64_t{1} << 32}) {
        clock.heard = crossing - 2000;
        form.I_Play_Click(0);
        float last = form.controls.Line_Rod.X1;
        int side = 0, verticalPassings = 0; // side: -1 left of the vertical, +1 right
        for (std::int64_t t = 1; t <= 4000; ++t) {
            clock.heard = crossing - 2000 + t;
            form.metronome.Beat_Frame();
            const float x = form.controls.Line_Rod.X1;
            EXPECT_LT(std::abs(x - last), 13.0f) << "no jump at " << clock.heard;
            const int now = x > 2085 ? 1 : x < 2085 ? -1 : 0;
            if (now != 0) {
                verticalPassings += side != 0 && now != side;
                side = now;
            }
            last = x;
        }
        EXPECT_TRUE(form.state().Playing);
        EXPECT_EQ(verticalPassings, 7); // 4 s at 120: beats at 0.5 .. 3.5 s after the start
        form.I_Play_Click(1);
    }
}

TEST(ClickTiming, TheSoundDeviceSleepsWhileStoppedAndWakesForPlay) {
    // The real start-up with the build's clicks on SDL's dummy device.
    test::RecordingWindow window;
    window.folder = METRO_PROGRAM_DIR;
    Form1 form{window};
    form.Form_Load();
    MetronomeState& s = form.state();
    ASSERT_TRUE(s.SoundReady) << "the build puts metro/1.wav and 2.wav beside the program";
    EXPECT_TRUE(window.messages.empty());
    const auto output = s.SoundDevice->rDirectSound();
    EXPECT_FALSE(output->awake()) << "asleep after start-up";
    form.I_Play_Click(0);
    EXPECT_TRUE(output->awake());
    form.I_Speaker_Click(); // muted: no plays, but the clock must keep running
    const std::int64_t heard = s.SoundDevice->HeardFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(s.SoundDevice->HeardFrame(), heard);
    form.I_Play_Click(1);
    EXPECT_FALSE(output->awake());
}
