// Two threads, as in the program: the window thread hands clicks to the mixer while a
// render thread plays the audio callback. Every click handed over for WriteHeadFrame or
// later must start exactly on its frame; loads, clears and volume changes run alongside.
// Meaningful under ThreadSanitizer too.

#include "sound/Cls_DX7_JP.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <atomic>
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
    ASSERT_TRUE(test::writePcm16(impulse, {16384}) && sound.Wave_LoadFile(impulse, click) &&
                test::writePcm16(other, test::steadySound(100, 3)));

    // The render thread stands in for the callback: a block about every 0.2 ms, keeping the
    // frames where the impulse (not `other`) sounds.
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
    std::vector<std::int64_t> requested;
    for (int n = 0; n < 400; ++n) {
        requested.push_back(
            std::max(requested.empty() ? 0 : requested.back() + 1, sound.WriteHeadFrame()) + n % 7);
        EXPECT_TRUE(sound.Wave_PlayAt(click, requested.back())); // no ASSERT: the thread runs
        if (std::int16_t extra = 0; n % 10 == 0 && sound.Wave_LoadFile(other, extra))
            sound.Volume(extra, -1200), sound.Wave_Play(extra), sound.Wave_Clear(extra);
        std::this_thread::sleep_for(50us);
    }
    while (sound.HeardFrame() <= requested.back())
        std::this_thread::sleep_for(1ms);
    stop.store(true);
    callback.join();
    EXPECT_EQ(onsets, requested);
}

} // namespace metro
