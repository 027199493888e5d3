// A sound device lost during play and back again: the swing goes on on the steady clock,
// the beats that pass in silence still count the measure, and the clicks come back on the
// swing's beat grid with no late burst. Offline device; time passes without rendering.

#include "support/ClickRecorder.h"
#include "support/SoundPrinting.h"

#include <gtest/gtest.h>

using namespace metro;
using test::ClickedMetronome;

constexpr std::int64_t kBeat = ClickedMetronome::rate / 2; // frames per beat at 120

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
    const std::int64_t start = m.clicks.front().realFrame;
    for (const auto& click : m.clicks) {
        const std::int64_t sinceStart = click.realFrame - start;
        ASSERT_EQ(sinceStart % kBeat, 0) << "off the grid at real frame " << click.realFrame;
        EXPECT_EQ(click.accent, sinceStart / kBeat % 3 == 0) << click.realFrame;
    }
    // Every beat after the return sounds, from the first the device could still place.
    EXPECT_LE(m.clicks[before].realFrame, backAt + kBeat);
    for (std::size_t i = before + 1; i < m.clicks.size(); ++i)
        EXPECT_EQ(m.clicks[i].realFrame - m.clicks[i - 1].realFrame, kBeat) << i;
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
