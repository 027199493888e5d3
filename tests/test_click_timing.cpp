// Every click on its beat: the real beat frames, run at irregular intervals, hand their
// clicks to an offline sound device, and the rendered sound is checked frame by frame.

#include "support/ClickRecorder.h"
#include "support/MixerPrint.h"

#include <gtest/gtest.h>

#include <set>

using namespace metro;
using test::ClickedMetronome;

namespace {

constexpr std::int64_t msFrames = ClickedMetronome::rate / 1000;

// The beat number of each click on the grid of a run whose first click is `start`; a click
// more than half a frame off the grid fails.
std::vector<std::int64_t> beatsOnTheGrid(const std::vector<test::Click>& clicks, std::int64_t start,
                                         int tempo) {
    std::vector<std::int64_t> beats;
    const double beatFrames = 60.0 * ClickedMetronome::rate / tempo;
    for (const test::Click& c : clicks) {
        const auto k = std::llround(static_cast<double>(c.frame - start) / beatFrames);
        EXPECT_LE(std::abs(static_cast<double>(start) + k * beatFrames - c.frame), 0.5)
            << "click at " << c.frame << " off beat " << k << " at tempo " << tempo;
        beats.push_back(k);
    }
    return beats;
}

} // namespace

// Tempo, beats per measure, the device clock's first frame.
class OnTheGrid : public ::testing::TestWithParam<std::tuple<int, int, std::int64_t>> {};

// Tempos whose beat is no whole number of frames, so rounding errors would add up, on device
// clocks past 2^31 and 2^32 ms (where a 32-bit millisecond counter would overflow) and a
// month on.
TEST_P(OnTheGrid, EveryBeatClicksOnceOnItsFrameWithTheAccentOnTheFirstOfEachMeasure) {
    const auto [tempo, beatsPerMeasure, firstFrame] = GetParam();
    ClickedMetronome m(firstFrame);
    m.state().Tempo = static_cast<std::int16_t>(tempo);
    m.state().BeatsPerMeasure = static_cast<std::int16_t>(beatsPerMeasure);
    m.render(1000);
    const std::int64_t pressed = m.now();
    m.form.I_Play_Click(0);
    m.playFor(20);
    ASSERT_FALSE(m.clicks.empty());
    const std::int64_t start = m.clicks.front().frame;
    EXPECT_LE(start - pressed, 512) << "the first click within one device buffer";
    const std::vector<std::int64_t> beats = beatsOnTheGrid(m.clicks, start, tempo);
    for (std::size_t k = 0; k < beats.size(); ++k) {
        ASSERT_EQ(beats[k], static_cast<std::int64_t>(k)) << "none missing or doubled";
        EXPECT_EQ(m.clicks[k].accent, static_cast<int>(k) % beatsPerMeasure == 0) << k;
    }
    EXPECT_GE(m.clicks.size(), static_cast<std::size_t>(19 * tempo / 60));
    EXPECT_EQ(m.output->mixer().dropped(), Mixer::Dropped{}) << "no click refused or late";
}

INSTANTIATE_TEST_SUITE_P(
    Tempos, OnTheGrid,
    ::testing::Values(std::tuple{40, 1, std::int64_t{0}},
                      std::tuple{137, 7, ((std::int64_t{1} << 31) - 10000) * msFrames},
                      std::tuple{208, 3, ((std::int64_t{1} << 32) - 10000) * msFrames},
                      std::tuple{300, 4, 30LL * 86400 * 1000 * msFrames}));

TEST(ClickTiming, AHeldUpWindowDropsTheClicksItMissedAndStopSilencesThoseHandedOver) {
    ClickedMetronome m;
    m.state().BeatsPerMeasure = 3;
    m.form.I_Play_Click(0);
    m.playFor(1);
    m.render(1250 * msFrames); // no frame runs: the beats at 1.5 and 2 s pass unseen
    m.playFor(2);
    m.playToJustBeforeABeat();
    const std::int64_t stoppedAt = m.now();
    m.form.I_Play_Click(1);
    m.render(ClickedMetronome::rate);
    EXPECT_LT(m.clicks.back().frame, stoppedAt) << "the beat handed over before the stop";
    const std::vector<std::int64_t> beats = beatsOnTheGrid(m.clicks, m.clicks.front().frame, 120);
    std::set<std::int64_t> heard(beats.begin(), beats.end());
    EXPECT_EQ(heard.size(), beats.size()) << "no beat twice";
    for (std::int64_t k = 0; k <= beats.back(); ++k)
        EXPECT_EQ(heard.count(k), k == 3 || k == 4 ? 0u : 1u) << "beat " << k;
    for (std::size_t i = 0; i < beats.size(); ++i)
        EXPECT_EQ(m.clicks[i].accent, beats[i] % 3 == 0) << "beat " << beats[i];
    EXPECT_EQ(m.output->mixer().dropped(), (Mixer::Dropped{0, 2, 0})) << "beats 3 and 4, late";
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
    constexpr std::int64_t frameRate = ClickedMetronome::rate, beatFrames = frameRate / 2;
    m.playTo(m.now() + frameRate); // the first click sounds
    ASSERT_FALSE(m.clicks.empty());
    const std::int64_t start = m.clicks.front().frame;
    if (change.mutedBefore) {
        m.playTo(start + 2 * frameRate + frameRate / 5);
        m.form.I_Speaker_Click();
    }
    const auto changeBeat = static_cast<std::int64_t>(change.atSeconds * 2);
    m.playTo(start + changeBeat * beatFrames - msBefore * frameRate / 1000);
    change.change(m.form);
    m.playTo(start + (changeBeat + 4) * beatFrames - beatFrames / 2);

    std::vector<int> heard(4, 0);
    for (const auto& c : m.clicks) {
        const std::int64_t beat = (c.frame - start) / beatFrames;
        ASSERT_EQ(c.frame, start + beat * beatFrames) << "every click on the grid";
        if (beat >= changeBeat)
            heard[static_cast<std::size_t>(beat - changeBeat)] = c.accent ? 2 : 1;
    }
    EXPECT_EQ(heard, change.expected) << change.name << ", " << msBefore << " ms before";
    EXPECT_EQ(m.output->mixer().dropped(), Mixer::Dropped{}) << change.name;
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
        ::testing::Values(1, 5, 20, 60)));
