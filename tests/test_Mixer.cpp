// The mixer rendered offline, checked sample by sample: starts at exact frames (inside a
// block, across a block boundary), stop, cancel, skip, late starts, gain and clamp, reused
// voices, full queues and what they drop, and going back to render again.

#include "sound/OfflineAudioOutput.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

namespace metro {
namespace {

constexpr int kBlock = 16;
using Frames = std::vector<float>;
const Frames kShort{0.5f, 0.25f, 0.125f};
const Frames kRamp{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 0.95f};
const Frames kLong(100, 0.5f);

struct MixerTest : ::testing::Test {
    OfflineAudioOutput output{DeviceFormat{48000, 1, kBlock}};
    Mixer& mixer = output.mixer();

    // Each change that needs rendering held, held for the call.
    VoiceId add(Frames samples) {
        return mixer.addVoice(std::move(samples), RenderingHold(output));
    }
    Frames remove(VoiceId voice) { return mixer.removeVoice(voice, RenderingHold(output)); }
    std::int64_t rewind(std::int64_t frame) { return mixer.rewind(frame, RenderingHold(output)); }
    Frames render(int frames) {
        Frames out(static_cast<std::size_t>(frames), -9.0f); // silence must be written
        output.render(out.data(), frames);
        return out;
    }
};

// `frames` frames of silence with `sound` from frame `from` on, cut at both ends: a sound
// that began before frame 0 (a negative `from`) is part of its way through.
Frames expected(int frames, const Frames& sound, int from) {
    Frames out(static_cast<std::size_t>(frames), 0.0f);
    const int end = std::min(frames, from + static_cast<int>(sound.size()));
    for (int at = std::max(0, from); at < end; ++at)
        out.begin()[at] = sound.begin()[at - from];
    return out;
}

TEST_F(MixerTest, StartsAreExactInsideAndAcrossBlocks) {
    const VoiceId voice = add(kShort);
    ASSERT_TRUE(mixer.play(voice, 5, false));
    EXPECT_EQ(render(kBlock), expected(kBlock, kShort, 5));
    mixer.play(voice, 2 * kBlock - 2, false); // on into the next block of a longer request
    EXPECT_EQ(render(3 * kBlock + 5), expected(3 * kBlock + 5, kShort, kBlock - 2));
    EXPECT_EQ(mixer.framesRendered(), 4 * kBlock + 5);
}

// A start already past plays at once unless it is to be skipped; a skip (a stalled device)
// moves the clock on, drops the starts in the gap and keeps the later ones. Each dropped
// start is counted for what dropped it.
TEST_F(MixerTest, LateStartsPlayAtOnceUnlessSkippedAndSkipDropsStartsInTheGap) {
    const VoiceId sounding = add(kRamp);
    const VoiceId short1 = add(kShort);
    const VoiceId inGap = add({0.03f});
    const VoiceId after = add({0.06f});
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
    Frames want = expected(kBlock, kRamp, -8);
    want[2] += 0.06f;
    EXPECT_EQ(render(kBlock), want);
    EXPECT_EQ(mixer.dropped(), (Mixer::Dropped{0, 1, 1}));
}

TEST_F(MixerTest, CancelFromTakesBackLaterStartsAndLetsTheSoundingOnePlayOn) {
    const VoiceId voice = add(kRamp);
    for (const int at : {-2, 6, 12})
        mixer.play(voice, kBlock + at, false);
    render(kBlock);
    mixer.cancelFrom(voice, kBlock + 12);
    mixer.cancelFrom(voice, kBlock + 6); // in any order
    EXPECT_EQ(render(kBlock), expected(kBlock, kRamp, -2));
}

TEST_F(MixerTest, StopCancelsPendingStartsButNotLaterOnesAndGainScalesTheNextBlock) {
    const VoiceId voice = add(kLong);
    mixer.play(voice, 0, false);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.5f));
    mixer.play(voice, 3 * kBlock + 2, false); // far ahead: still pending at the stop
    mixer.stop(voice);
    EXPECT_EQ(render(4 * kBlock), Frames(4 * std::size_t{kBlock}, 0.0f));
    mixer.play(voice, 5 * kBlock + 1, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, kLong, 1));
    // Gain scales from the next block, and the mix is clamped.
    const VoiceId other = add(kLong);
    mixer.setGain(voice, 0.5f);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.25f));
    mixer.setGain(voice, 1.5f);
    mixer.play(other, 0, false); // 0.75 + 0.5 would clip
    EXPECT_EQ(render(kBlock), Frames(kBlock, 1.0f));
}

TEST_F(MixerTest, ARemovedVoiceIgnoresItsCommandsAndAFullQueueRefusesChanges) {
    const VoiceId old = add(kShort);
    mixer.play(old, 4, false);
    render(2); // the start is now pending inside the mixer
    EXPECT_EQ(remove(old), kShort);
    const VoiceId reused = add({0.9f});
    EXPECT_EQ(reused.slot, old.slot);
    mixer.play(old, 6, true);
    mixer.setGain(old, 0.0f);
    EXPECT_EQ(render(kBlock), Frames(kBlock, 0.0f));
    EXPECT_TRUE(remove(old).empty());
    for (std::size_t i = 0; i < Mixer::kQueueCapacity; ++i)
        ASSERT_TRUE(mixer.setGain(reused, 1.0f));
    EXPECT_FALSE(mixer.play(reused, 0, false));
    EXPECT_EQ(mixer.dropped().refused, 1);
    render(kBlock);
    mixer.play(reused, 2 * kBlock + 2 + 3, false);
    EXPECT_EQ(render(kBlock), expected(kBlock, {0.9f}, 3));
}

// The callback holds at most kPendingCapacity future starts: one more is refused and
// counted, and every one it held sounds on its frame.
TEST_F(MixerTest, PendingStartsFillUpToTheirCapacityAndOneMoreIsRefused) {
    const VoiceId voice = add({0.5f});
    for (std::size_t k = 0; k <= Mixer::kPendingCapacity; ++k)
        ASSERT_TRUE(mixer.play(voice, kBlock + 2 * static_cast<std::int64_t>(k), false));
    render(kBlock);
    EXPECT_EQ(mixer.dropped().refused, 1);
    const Frames sound = render(2 * static_cast<int>(Mixer::kPendingCapacity) + kBlock);
    Frames want(sound.size(), 0.0f);
    for (std::size_t k = 0; k < Mixer::kPendingCapacity; ++k)
        want[2 * k] = 0.5f;
    EXPECT_EQ(sound, want);
}

// Going back renders again exactly what was rendered from that frame on: the voice that
// sounded across it, and the starts after it, which a cancel can now take back.
TEST_F(MixerTest, RewindRendersAgainFromAFrameAsIfItHadNotBeenRendered) {
    const VoiceId ramp = add(kRamp);
    const VoiceId later = add(kShort);
    const VoiceId looped = add({0.01f, 0.02f});
    mixer.play(ramp, 5, false);
    mixer.play(later, 20, false);
    mixer.play(looped, 3, true);
    const Frames first = render(3 * kBlock);
    EXPECT_EQ(rewind(12), 12);
    EXPECT_EQ(mixer.framesRendered(), 12);
    EXPECT_EQ(render(3 * kBlock - 12), Frames(first.begin() + 12, first.end()));

    EXPECT_EQ(rewind(12), 12);
    mixer.cancelFrom(later, 12);
    mixer.stop(looped);
    const Frames again = render(3 * kBlock - 12);
    EXPECT_EQ(again, expected(3 * kBlock - 12, kRamp, -7)) << "the ramp plays on, alone";
}

// A stop rendered after the frame gone back to stays: its voice is silent from that frame,
// and a start it cut off is not started again. The clock goes back no further than a skip.
TEST_F(MixerTest, RewindKeepsALaterStopAndStopsAtTheLastSkip) {
    const VoiceId voice = add(kLong);
    const VoiceId other = add(kShort);
    mixer.play(voice, 0, false);
    mixer.play(voice, 6, false);
    render(kBlock);
    mixer.stop(voice);
    mixer.play(other, 2 * kBlock + 1, false);
    render(2 * kBlock);
    EXPECT_EQ(rewind(4), 4);
    EXPECT_EQ(render(3 * kBlock - 4), expected(3 * kBlock - 4, kShort, 2 * kBlock + 1 - 4));

    mixer.skip(10);
    render(kBlock);
    EXPECT_EQ(rewind(0), 3 * kBlock + 10);
    EXPECT_EQ(mixer.framesRendered(), 3 * kBlock + 10);
}

// Only the latest kHistoryCapacity starts and stops are kept: the clock cannot go back to
// the frame of one that was let go.
TEST_F(MixerTest, RewindGoesNoFurtherBackThanTheChangesKept) {
    const VoiceId voice = add({0.5f});
    constexpr auto kStarts = static_cast<std::int64_t>(Mixer::kHistoryCapacity) + 3;
    for (std::int64_t k = 0; k < kStarts; ++k) {
        mixer.play(voice, k, false);
        render(1);
    }
    // Starts 0 to 2 are let go: the clock goes back to just after the third.
    EXPECT_EQ(rewind(0), 3);
    EXPECT_EQ(render(static_cast<int>(kStarts) - 3), Frames(kStarts - 3, 0.5f));
}

} // namespace
} // namespace metro
