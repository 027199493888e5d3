// Every click on its beat: the real beat frames, run at irregular intervals, hand their
// clicks to an offline sound device, and the rendered sound is checked frame by frame. A
// device lost during play and back again: the swing goes on on the steady clock, the beats
// that pass in silence still count the measure, and the clicks come back on the swing's beat
// grid with no late burst (time passes without rendering).

#include "support/ClickRecorder.h"

#include <gtest/gtest.h>

using namespace metro;
using test::ClickedMetronome;

namespace {

constexpr std::int64_t msFrames = ClickedMetronome::rate / 1000;
constexpr std::int64_t kBeat = ClickedMetronome::rate / 2; // frames per beat at 120

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
    EXPECT_LE(m.clicks.front().frame - pressed, 512) << "the first click within one device buffer";
    const std::vector<int> heard = m.beatsHeard(tempo);
    EXPECT_GE(heard.size(), static_cast<std::size_t>(19 * tempo / 60));
    for (std::size_t k = 0; k < heard.size(); ++k)
        EXPECT_EQ(heard[k], k % beatsPerMeasure == 0 ? 2 : 1) << "beat " << k;
    EXPECT_EQ(m.output->mixer().dropped(), Mixer::Dropped{}) << "no click refused or late";
}

INSTANTIATE_TEST_SUITE_P(
    Tempos, OnTheGrid,
    ::testing::Values(std::tuple{40, 1, std::int64_t{0}},
                      std::tuple{137, 7, ((std::int64_t{1} << 31) - 10000) * msFrames},
                      std::tuple{208, 3, ((std::int64_t{1} << 32) - 10000) * msFrames},
                      std::tuple{300, 4, 30LL * 86400 * 1000 * msFrames}),
    [](const auto& info) { return "Tempo" + std::to_string(std::get<0>(info.param)); });

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
    const std::vector<int> heard = m.beatsHeard(120);
    for (std::size_t k = 0; k < heard.size(); ++k)
        EXPECT_EQ(heard[k], k == 3 || k == 4 ? 0 : k % 3 == 0 ? 2 : 1) << "beat " << k;
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
    friend void PrintTo(const LateChange& late, std::ostream* out) { *out << late.name; }
};

class ChangeBeforeABeat
    : public ::testing::TestWithParam<std::tuple<LateChange, int /* ms before the beat */>> {};

TEST_P(ChangeBeforeABeat, TheNextClickFollowsTheNewState) {
    const auto& [change, msBefore] = GetParam();
    ClickedMetronome m;
    m.state().BeatsPerMeasure = 4;
    m.form.I_Play_Click(0);
    m.playTo(m.now() + ClickedMetronome::rate); // the first click sounds
    ASSERT_FALSE(m.clicks.empty());
    const std::int64_t start = m.clicks.front().frame;
    if (change.mutedBefore) {
        m.playTo(start + 2200 * msFrames);
        m.form.I_Speaker_Click();
    }
    const auto changeBeat = static_cast<std::size_t>(change.atSeconds * 2);
    m.playTo(start + static_cast<std::int64_t>(changeBeat) * kBeat - msBefore * msFrames);
    change.change(m.form);
    m.playTo(start + static_cast<std::int64_t>(changeBeat + 4) * kBeat - kBeat / 2);
    std::vector<int> heard = m.beatsHeard(120);
    heard.resize(changeBeat + 4);
    EXPECT_EQ(std::vector<int>(heard.begin() + changeBeat, heard.end()), change.expected);
    EXPECT_EQ(m.output->mixer().dropped(), Mixer::Dropped{});
}

INSTANTIATE_TEST_SUITE_P(
    MuteAndBeats, ChangeBeforeABeat,
    ::testing::Combine(
        ::testing::Values(
            // Four to a measure: beat 4 was an accent, so the counter stands at 1 before beat 5.
            LateChange{"Mute", 2.5, [](Form1& f) { f.I_Speaker_Click(); }, {0, 0, 0, 0}},
            LateChange{"Unmute", 3.0, [](Form1& f) { f.I_Speaker_Click(); }, {1, 1, 1, 2}, true},
            LateChange{"TwoBeats", 2.5, [](Form1& f) { f.L_Metro_Click(2); }, {1, 2, 1, 2}},
            LateChange{"OneBeat", 2.5, [](Form1& f) { f.L_Metro_Click(1); }, {1, 2, 2, 2}},
            LateChange{"FiveBeats", 2.5, [](Form1& f) { f.L_Metro_Click(5); }, {1, 1, 1, 1}}),
        ::testing::Values(1, 5, 20, 60)),
    [](const auto& info) {
        return std::get<0>(info.param).name + std::to_string(std::get<1>(info.param)) + "MsBefore";
    });

TEST(DeviceLoss, ClicksComeBackOnTheSwingsGridWithTheAccentsInPlace) {
    ClickedMetronome m;
    m.state().BeatsPerMeasure = 3;
    m.form.I_Play_Click(0);
    m.playFor(2.2);
    m.playToJustBeforeABeat(); // that beat must not sound late after the loss
    const std::size_t before = m.clicks.size();
    m.loseDeviceFor(2.3); // not a whole number of beats
    const std::int64_t backAt = m.steady.heard;
    m.playFor(3);

    ASSERT_GT(m.clicks.size(), before + 4) << "the clicks came back";
    // Every beat after the return sounds, from the first the device could still place.
    EXPECT_LE(m.clicks[before].realFrame, backAt + kBeat);
    const auto firstBack =
        static_cast<std::size_t>((m.clicks[before].realFrame - m.clicks.front().realFrame) / kBeat);
    const std::vector<int> heard = m.beatsHeard(120, &test::Click::realFrame);
    for (std::size_t k = 0; k < heard.size(); ++k)
        EXPECT_EQ(heard[k], k >= before && k < firstBack ? 0 : k % 3 == 0 ? 2 : 1) << "beat " << k;
    EXPECT_EQ(m.output->mixer().dropped(), Mixer::Dropped{}) << "silent beats, none dropped";
}

TEST(DeviceLoss, AShortGapResumesTheGridWhereItStood) {
    ClickedMetronome m;
    m.state().BeatsPerMeasure = 4;
    m.form.I_Play_Click(0);
    m.playFor(1.2);
    m.playToJustBeforeABeat();
    m.loseDeviceFor(0.15); // shorter than a loss: no beat is dropped
    m.playFor(2);

    // Every beat of the device's time sounds.
    const std::vector<int> heard = m.beatsHeard(120);
    EXPECT_EQ(heard.size(), (m.now() - m.clicks.front().frame) / kBeat + 1);
    for (std::size_t k = 0; k < heard.size(); ++k)
        EXPECT_EQ(heard[k], k % 4 == 0 ? 2 : 1) << "beat " << k;
    EXPECT_EQ(m.output->mixer().dropped(), Mixer::Dropped{});
}

} // namespace
