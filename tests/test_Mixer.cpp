// The mixer rendered offline, checked sample by sample: starts at exact frames (inside a
// block, across a block boundary, several per block), restart, stop, cancel, late starts,
// gain and clamp, reused voices and a full queue.

#include "sound/Mixer.h"

#include <gtest/gtest.h>

#include <vector>

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
    // `frames` frames of silence with `sound` from `from` on (cut at the end).
    static Frames expected(int frames, const Frames& sound, int from) {
        Frames out(static_cast<std::size_t>(frames), 0.0f);
        for (std::size_t i = 0; i < sound.size() && from + static_cast<int>(i) < frames; ++i)
            out[static_cast<std::size_t>(from) + i] = sound[i];
        return out;
    }
};

TEST_F(MixerTest, PlayStartsExactlyAtItsFrameInsideAndAcrossBlocks) {
    const VoiceId voice = mixer.addVoice(kShort);
    ASSERT_TRUE(mixer.play(voice, 5, false));
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 5));
    mixer.play(voice, 2 * kBlock - 2, false); // on into the next block of a longer request
    EXPECT_EQ(render(3 * kBlock + 5), expected(3 * kBlock + 5, kShort, kBlock - 2));
    EXPECT_EQ(mixer.framesRendered(), 4 * kBlock + 5);
}

TEST_F(MixerTest, StartsInOneBlockAreSummedAndAPlayRestartsASoundingVoice) {
    const VoiceId ramp = mixer.addVoice(kRamp);
    const VoiceId other = mixer.addVoice({0.0625f, 0.0625f});
    mixer.play(other, 9, false);
    mixer.play(ramp, 0, false);
    mixer.play(ramp, 4, false); // restarts the ramp from its first frame
    Frames want{0.1f, 0.2f, 0.3f, 0.4f};
    want.insert(want.end(), kRamp.begin(), kRamp.end());
    want.resize(kBlock, 0.0f);
    want[9] += 0.0625f;
    want[10] += 0.0625f;
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, AStartAlreadyPastPlaysAtOnceUnlessItIsToBeSkipped) {
    const VoiceId voice = mixer.addVoice(kShort);
    render(kBlock);
    mixer.play(voice, 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
    mixer.play(voice, Mixer::kAsSoonAsPossible, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
    mixer.play(voice, 2 * kBlock + 3, false, IfLate::Skip); // dropped, never played late
    EXPECT_EQ(render(kBlock), expected(kBlock, {}, 0));
}

TEST_F(MixerTest, SkipMovesTheClockOnDropsStartsInTheGapAndKeepsLaterOnes) {
    const VoiceId sounding = mixer.addVoice(kRamp);
    const VoiceId inGap = mixer.addVoice({0.03f});
    const VoiceId after = mixer.addVoice({0.06f});
    mixer.play(sounding, kBlock - 2, false);
    mixer.play(inGap, kBlock + 5, false);
    mixer.play(after, kBlock + 8, false);
    render(kBlock); // the ramp's first two frames
    mixer.skip(6);  // a stall of six frames
    EXPECT_EQ(mixer.framesRendered(), kBlock + 6);
    std::vector<float> want(kRamp.begin() + 8, kRamp.end());
    want.resize(kBlock, 0.0f);
    want[2] += 0.06f;
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, CancelFromTakesBackLaterStartsAndLetsTheSoundingOnePlayOn) {
    const VoiceId voice = mixer.addVoice(kRamp);
    mixer.play(voice, kBlock - 2, false);
    mixer.play(voice, kBlock + 6, false);
    mixer.play(voice, kBlock + 12, false);
    render(kBlock);
    mixer.cancelFrom(voice, kBlock + 12);
    mixer.cancelFrom(voice, kBlock + 6); // in any order
    Frames want(kRamp.begin() + 2, kRamp.end());
    want.resize(kBlock, 0.0f);
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, StopCutsAtTheNextBlockAndCancelsPendingStartsButNotLaterOnes) {
    const Frames longSound(40, 0.5f);
    const VoiceId voice = mixer.addVoice(longSound);
    mixer.play(voice, 0, false);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.5f));
    mixer.play(voice, 3 * kBlock + 2, false); // far ahead: still pending at the stop
    mixer.stop(voice);
    EXPECT_EQ(render(4 * kBlock), Frames(4 * kBlock, 0.0f));
    mixer.stop(voice);
    mixer.play(voice, 5 * kBlock + 1, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, longSound, 1));
}

TEST_F(MixerTest, GainScalesFromTheNextBlockAndTheMixIsClamped) {
    const VoiceId voice = mixer.addVoice(Frames(3 * kBlock, 0.75f));
    const VoiceId other = mixer.addVoice(Frames(3 * kBlock, 0.75f));
    mixer.play(voice, 0, false);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.75f));
    mixer.setGain(voice, 0.5f);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.375f));
    mixer.setGain(voice, 1.0f);
    mixer.play(other, 0, false); // 0.75 + 0.75 would clip
    EXPECT_EQ(render(kBlock), Frames(kBlock, 1.0f));
}

TEST_F(MixerTest, ARemovedVoiceIgnoresItsCommandsAndItsSlotsNextVoiceIsNotTouched) {
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
    mixer.play(reused, kBlock + 2 + 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, {0.9f}, 3));
}

TEST_F(MixerTest, AFullQueueRefusesFurtherChangesUntilABlockDrainsIt) {
    const VoiceId voice = mixer.addVoice(kShort);
    for (std::size_t i = 0; i < Mixer::kQueueCapacity; ++i)
        ASSERT_TRUE(mixer.setGain(voice, 1.0f));
    EXPECT_FALSE(mixer.play(voice, 0, false));
    render(kBlock);
    EXPECT_TRUE(mixer.play(voice, 0, false));
}

} // namespace
} // namespace metro
