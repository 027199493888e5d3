// The mixer rendered offline, checked sample by sample: starts at exact frames (inside a
// block, across a block boundary), stop, cancel, skip, late starts, gain and clamp, reused
// voices and a full queue.

#include "sound/Mixer.h"

#include <gtest/gtest.h>

namespace metro {
namespace {

constexpr int kBlock = 16;
using Frames = std::vector<float>;
const Frames kShort{0.5f, 0.25f, 0.125f};
const Frames kRamp{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 0.95f};

struct MixerTest : ::testing::Test {
    Mixer mixer{DeviceFormat{48000, 1, kBlock}};

    Frames render(int frames) {
        Frames out(static_cast<std::size_t>(frames), -9.0f); // silence must be written
        mixer.render(out.data(), frames);
        return out;
    }
};

// `frames` frames of silence with `sound` from `from` on (cut at the end); `sound` may begin
// before frame 0, `skipped` frames of it gone.
Frames expected(int frames, const Frames& sound, int from, std::size_t skipped = 0) {
    Frames out(static_cast<std::size_t>(frames), 0.0f);
    for (std::size_t i = skipped; i < sound.size() && from + static_cast<int>(i - skipped) < frames;
         ++i)
        out[static_cast<std::size_t>(from) + i - skipped] = sound[i];
    return out;
}

TEST_F(MixerTest, StartsAreExactInsideAndAcrossBlocks) {
    const VoiceId voice = mixer.addVoice(kShort);
    ASSERT_TRUE(mixer.play(voice, 5, false));
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 5));
    mixer.play(voice, 2 * kBlock - 2, false); // on into the next block of a longer request
    EXPECT_EQ(render(3 * kBlock + 5), expected(3 * kBlock + 5, kShort, kBlock - 2));
    EXPECT_EQ(mixer.framesRendered(), 4 * kBlock + 5);
}

// A start already past plays at once unless it is to be skipped; a skip (a stalled device)
// moves the clock on, drops the starts in the gap and keeps the later ones.
TEST_F(MixerTest, LateStartsPlayAtOnceUnlessSkippedAndSkipDropsStartsInTheGap) {
    const VoiceId sounding = mixer.addVoice(kRamp), short1 = mixer.addVoice(kShort);
    const VoiceId inGap = mixer.addVoice({0.03f}), after = mixer.addVoice({0.06f});
    render(kBlock);
    mixer.play(short1, 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
    mixer.play(short1, Mixer::kAsSoonAsPossible, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
    mixer.play(short1, 2 * kBlock + 3, false, IfLate::Skip); // dropped, never played late
    mixer.play(sounding, 4 * kBlock - 2, false);
    mixer.play(inGap, 4 * kBlock + 5, false);
    mixer.play(after, 4 * kBlock + 8, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kRamp, kBlock - 2)); // the ramp's first two
    mixer.skip(6);                                                  // a stall of six frames
    EXPECT_EQ(mixer.framesRendered(), 4 * kBlock + 6);
    Frames want = expected(kBlock, kRamp, 0, 8);
    want[2] += 0.06f;
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, CancelFromTakesBackLaterStartsAndLetsTheSoundingOnePlayOn) {
    const VoiceId voice = mixer.addVoice(kRamp);
    for (const int at : {-2, 6, 12})
        mixer.play(voice, kBlock + at, false);
    render(kBlock);
    mixer.cancelFrom(voice, kBlock + 12);
    mixer.cancelFrom(voice, kBlock + 6); // in any order
    EXPECT_EQ(render(kBlock), expected(kBlock, kRamp, 0, 2));
}

TEST_F(MixerTest, StopCancelsPendingStartsButNotLaterOnesAndGainScalesTheNextBlock) {
    const Frames longSound(100, 0.5f);
    const VoiceId voice = mixer.addVoice(longSound);
    mixer.play(voice, 0, false);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.5f));
    mixer.play(voice, 3 * kBlock + 2, false); // far ahead: still pending at the stop
    mixer.stop(voice);
    EXPECT_EQ(render(4 * kBlock), Frames(4 * kBlock, 0.0f));
    mixer.play(voice, 5 * kBlock + 1, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, longSound, 1));
    // Gain scales from the next block, and the mix is clamped.
    const VoiceId other = mixer.addVoice(longSound);
    mixer.setGain(voice, 0.5f);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.25f));
    mixer.setGain(voice, 1.5f);
    mixer.play(other, 0, false); // 0.75 + 0.5 would clip
    EXPECT_EQ(render(kBlock), Frames(kBlock, 1.0f));
}

TEST_F(MixerTest, ARemovedVoiceIgnoresItsCommandsAndAFullQueueRefusesChanges) {
    const VoiceId old = mixer.addVoice(kShort);
    mixer.play(old, 4, false);
    render(2); // the start is now pending inside the mixer
    EXPECT_EQ(mixer.removeVoice(old), kShort);
    const VoiceId reused = mixer.addVoice({0.9f});
    EXPECT_EQ(reused.slot, old.slot);
    mixer.play(old, 6, true);
    mixer.setGain(old, 0.0f);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.0f));
    EXPECT_TRUE(mixer.removeVoice(old).empty());
    for (std::size_t i = 0; i < Mixer::kQueueCapacity; ++i)
        ASSERT_TRUE(mixer.setGain(reused, 1.0f));
    EXPECT_FALSE(mixer.play(reused, 0, false));
    render(kBlock);
    mixer.play(reused, 2 * kBlock + 2 + 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, {0.9f}, 3));
}

} // namespace
} // namespace metro
