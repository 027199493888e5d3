// Two threads, as in the program: the window thread hands clicks to the mixer while a
// render thread plays the audio callback, a block about every 0.25 ms. What is promised is
// checked, not more: a click handed over for a frame at or after the write head as it reads
// once the click is queued starts exactly on its frame; one the renderer overtook (the
// window thread was preempted between reading the write head and handing the click over)
// starts as soon as it can, and never before its frame. No start is lost or refused. Loads,
// clears and volume changes run alongside. Meaningful under ThreadSanitizer too.

#include "sound/Cls_DX7_JP.h"
#include "support/SoundPrinting.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace metro {

TEST(HandOverStress, ClicksHandedOverAtTheWriteHeadStartOnTheirFrames) {
    using namespace std::chrono_literals;
    constexpr int kBlock = 64;
    test::TempFolder folder;
    const std::string impulse = folder.file("impulse.wav"), other = folder.file("other.wav");
    auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, kBlock});
    Cls_DX7_JP sound(output);
    sound.Initialize(1, 2);
    std::int16_t click = 0;
    ASSERT_TRUE(test::writePcm16(impulse, {16384}));
    ASSERT_TRUE(sound.Wave_LoadFile(impulse, click));
    ASSERT_TRUE(test::writePcm16(other, test::steadySound(100, 3)));

    // The render thread stands in for the callback, keeping the frames where the impulse
    // (not `other`) sounds.
    std::atomic<bool> stop{false};
    std::vector<std::int64_t> onsets;
    std::thread callback([&] {
        for (std::int64_t blockStart = 0; !stop.load(); blockStart += kBlock) {
            const auto block = test::renderFrames(*output, kBlock);
            for (int i = 0; i < kBlock; ++i)
                if (block[static_cast<std::size_t>(i)] > 0.4f)
                    onsets.push_back(blockStart + i);
            std::this_thread::sleep_for(200us);
        }
    });
    struct HandOver {
        std::int64_t frame;    // asked for
        std::int64_t headThen; // the write head once it was queued
    };
    std::vector<HandOver> handed;
    for (int n = 0; n < 400; ++n) {
        const std::int64_t after = handed.empty() ? 0 : handed.back().frame + 1;
        const std::int64_t frame = std::max(after, sound.WriteHeadFrame()) + n % 7;
        EXPECT_TRUE(sound.Wave_PlayAt(click, frame)); // no ASSERT: the thread runs
        handed.push_back({frame, sound.WriteHeadFrame()});
        if (std::int16_t extra = 0; n % 10 == 0 && sound.Wave_LoadFile(other, extra))
            sound.Volume(extra, -1200), sound.Wave_Play(extra), sound.Wave_Clear(extra);
        std::this_thread::sleep_for(50us);
    }
    const std::int64_t last = handed.back().headThen;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (sound.HeardFrame() <= last && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    stop.store(true);
    callback.join();
    ASSERT_GT(sound.HeardFrame(), last) << "the render thread stopped rendering";

    // Each click once: exactly on its frame when it was queued before the write head passed
    // it, else from its frame to that write head (where it may meet the next click).
    std::size_t exact = 0;
    std::size_t offFrame = 0;
    std::size_t next = 0;
    for (const HandOver& click : handed) {
        const bool promised = click.frame >= click.headThen;
        const std::int64_t latest = promised ? click.frame : click.headThen;
        exact += promised;
        if (next < onsets.size() && onsets[next] >= click.frame && onsets[next] <= latest)
            ++next;
        else if (next == 0 || onsets[next - 1] != click.frame)
            ++offFrame;
    }
    EXPECT_EQ(offFrame, 0u);
    EXPECT_EQ(next, onsets.size()) << "onsets without a click";
    EXPECT_GE(exact, handed.size() / 2) << "the renderer overtook most hand-overs";
    EXPECT_EQ(output->mixer().dropped(), Mixer::Dropped{});
}

} // namespace metro
