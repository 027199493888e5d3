// The mixer rendered offline, checked sample by sample: starts at exact frames (inside a
// block, across a block boundary, several per block), restart, stop, looping, gain, clamp.

#include "sound/Mixer.h"

#include <gtest/gtest.h>

#include <vector>

namespace metro {
namespace {

constexpr int kBlock = 16;

class MixerTest : public ::testing::Test {
protected:
    Mixer mixer{DeviceFormat{48000, 1, kBlock}};

    std::vector<float> render(int frames) {
        std::vector<float> out(static_cast<std::size_t>(frames), -9.0f); // silence must be written
        mixer.render(out.data(), frames);
        return out;
    }
    // What `frames` frames should hold: silence except `sound` from `from` (cut at the end).
    static std::vector<float> expected(int frames, const std::vector<float>& sound, int from) {
        std::vector<float> out(static_cast<std::size_t>(frames), 0.0f);
        for (std::size_t i = 0; i < sound.size() && from + static_cast<int>(i) < frames; ++i)
            out[static_cast<std::size_t>(from) + i] = sound[i];
        return out;
    }
};

const std::vector<float> kShort{0.5f, 0.25f, 0.125f};
const std::vector<float> kRamp{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 0.95f};

TEST_F(MixerTest, PlayStartsExactlyAtItsFrameInsideAndAcrossBlocks) {
    const VoiceId voice = mixer.addVoice(kShort);
    ASSERT_TRUE(mixer.play(voice, 5, false));
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 5));

    // Starts two frames before the block boundary and goes on into the next block.
    mixer.play(voice, 2 * kBlock - 2, false);
    EXPECT_EQ(render(2 * kBlock), expected(2 * kBlock, kShort, kBlock - 2));
    EXPECT_EQ(mixer.framesRendered(), 3 * kBlock);
}

TEST_F(MixerTest, TwoVoicesStartInOneBlockAndAreSummed) {
    const VoiceId first = mixer.addVoice(kShort);
    const VoiceId second = mixer.addVoice({0.0625f, 0.0625f});
    mixer.play(second, 9, false);
    mixer.play(first, 3, false);
    mixer.play(first, 9 + 1, false); // restarts `first` while `second` sounds
    std::vector<float> want = expected(kBlock, kShort, 3);
    want[9] = 0.0625f;
    want[10] = 0.0625f + 0.5f;
    want[11] = 0.25f;
    want[12] = 0.125f;
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, PlayOfASoundingVoiceRestartsItFromItsFirstFrame) {
    const VoiceId voice = mixer.addVoice(kRamp);
    mixer.play(voice, 0, false);
    mixer.play(voice, 4, false);
    std::vector<float> want{0.1f, 0.2f, 0.3f, 0.4f};
    want.insert(want.end(), kRamp.begin(), kRamp.end());
    want.resize(kBlock, 0.0f);
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, AFrameAlreadyRenderedStartsAtTheNextBlock) {
    const VoiceId voice = mixer.addVoice(kShort);
    render(kBlock);
    mixer.play(voice, 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
    mixer.play(voice, Mixer::kAsSoonAsPossible, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
    // A replacement start that comes too late is dropped, never played late.
    mixer.play(voice, 2 * kBlock + 3, false, IfLate::Skip);
    EXPECT_EQ(render(kBlock), expected(kBlock, {}, 0));
}

TEST_F(MixerTest, CancelFromTakesBackLaterStartsAndLetsTheSoundingOnePlayOn) {
    const VoiceId voice = mixer.addVoice(kRamp);
    mixer.play(voice, kBlock - 2, false);
    mixer.play(voice, kBlock + 6, false);
    mixer.play(voice, kBlock + 12, false);
    render(kBlock);
    mixer.cancelFrom(voice, kBlock + 12);
    mixer.cancelFrom(voice, kBlock + 6); // in any order
    std::vector<float> want(kRamp.begin() + 2, kRamp.end());
    want.resize(kBlock, 0.0f);
    EXPECT_EQ(render(kBlock), want);
}

TEST_F(MixerTest, StopCutsAtTheNextBlockAndCancelsPendingStarts) {
    const std::vector<float> longSound(40, 0.5f);
    const VoiceId voice = mixer.addVoice(longSound);
    mixer.play(voice, 0, false);
    EXPECT_EQ(render(kBlock), std::vector<float>(kBlock, 0.5f));
    mixer.play(voice, 3 * kBlock + 2, false); // far ahead: still pending at the stop
    mixer.stop(voice);
    EXPECT_EQ(render(4 * kBlock), std::vector<float>(4 * kBlock, 0.0f));

    // A start handed over after the stop is not cancelled by it.
    mixer.stop(voice);
    mixer.play(voice, 5 * kBlock + 1, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, longSound, 1));
}

TEST_F(MixerTest, LoopingRepeatsUntilStopAndTheNextPlayStartsAfresh) {
    const VoiceId voice = mixer.addVoice(kShort);
    mixer.play(voice, 1, true);
    const std::vector<float> out = render(3 * kBlock);
    EXPECT_EQ(out[0], 0.0f);
    for (int frame = 1; frame < 3 * kBlock; ++frame)
        EXPECT_EQ(out[static_cast<std::size_t>(frame)],
                  kShort[static_cast<std::size_t>((frame - 1) % 3)])
            << "frame " << frame;
    mixer.stop(voice);
    EXPECT_EQ(render(kBlock), std::vector<float>(kBlock, 0.0f));
    mixer.play(voice, 0, false); // once, from the start, no loop left over
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 0));
}

TEST_F(MixerTest, GainScalesFromTheNextBlockAndTheMixIsClamped) {
    const VoiceId voice = mixer.addVoice(std::vector<float>(3 * kBlock, 0.75f));
    const VoiceId other = mixer.addVoice(std::vector<float>(3 * kBlock, 0.75f));
    mixer.play(voice, 0, false);
    EXPECT_EQ(render(kBlock), std::vector<float>(kBlock, 0.75f));
    mixer.setGain(voice, 0.5f);
    EXPECT_EQ(render(kBlock), std::vector<float>(kBlock, 0.375f));
    mixer.setGain(voice, 1.0f);
    mixer.play(other, 0, false); // 0.75 + 0.75 would clip
    EXPECT_EQ(render(kBlock), std::vector<float>(kBlock, 1.0f));
}

TEST_F(MixerTest, RequestsLongerThanABlockRenderAsSeveralBlocks) {
    const VoiceId voice = mixer.addVoice(kShort);
    mixer.play(voice, kBlock + 7, false);
    EXPECT_EQ(render(3 * kBlock + 5), expected(3 * kBlock + 5, kShort, kBlock + 7));
    EXPECT_EQ(mixer.writeHeadFrame(), 3 * kBlock + 5 + kBlock);
}

TEST_F(MixerTest, StereoVoicesKeepTheirChannels) {
    Mixer stereo(DeviceFormat{48000, 2, kBlock});
    const VoiceId voice = stereo.addVoice({0.5f, -0.5f, 0.25f, -0.25f});
    stereo.play(voice, 1, false);
    std::vector<float> out(2 * 4);
    stereo.render(out.data(), 4);
    EXPECT_EQ(out, (std::vector<float>{0, 0, 0.5f, -0.5f, 0.25f, -0.25f, 0, 0}));
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
    EXPECT_EQ(render(kBlock), std::vector<float>(kBlock, 0.0f));
    EXPECT_TRUE(mixer.removeVoice(old).empty());
    mixer.play(reused, kBlock + 2 + 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, {0.9f}, 3));
}

TEST_F(MixerTest, AFullQueueRefusesFurtherChanges) {
    const VoiceId voice = mixer.addVoice(kShort);
    for (std::size_t i = 0; i < Mixer::kQueueCapacity; ++i)
        ASSERT_TRUE(mixer.setGain(voice, 1.0f));
    EXPECT_FALSE(mixer.play(voice, 0, false));
    render(kBlock); // drains the queue
    EXPECT_TRUE(mixer.play(voice, 0, false));
}

} // namespace
} // namespace metro
