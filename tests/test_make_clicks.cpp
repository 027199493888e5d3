// The default clicks that the build puts beside the program: they load, their attack is the
// very first sample, nothing clips, and the accent is louder and higher than the plain click.

#include "sound/Cls_DX7_JP.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

namespace metro {

TEST(DefaultClicks, StartOnTheirFirstSampleAndTellAccentFromPlainClick) {
    auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, 512});
    Cls_DX7_JP sound(output);
    sound.Initialize(1, 2);
    float peak[2] = {};
    int signChanges[2] = {}; // over the first 10 ms: twice the pitch / 100
    for (const int n : {0, 1}) {
        std::int16_t index = 0;
        ASSERT_TRUE(
            sound.Wave_LoadFile(METRO_CLICKS_DIR "/" + std::to_string(n + 1) + ".wav", index));
        sound.Wave_Play(index);
        const std::vector<float> out = test::renderFrames(*output, 9600);
        int frames = 0; // up to the last sounding one
        for (std::size_t i = 0; i < out.size(); ++i) {
            peak[n] = std::max(peak[n], std::abs(out[i]));
            frames = out[i] != 0.0f ? static_cast<int>(i) + 1 : frames;
            signChanges[n] += i > 0 && i < 480 && (out[i] < 0) != (out[i - 1] < 0);
        }
        EXPECT_GT(out[0], 0.3f * peak[n]) << n;
        EXPECT_LT(peak[n], 0.95f) << n;
        EXPECT_LT(frames, 4800) << n << " is well under 100 ms";
    }
    EXPECT_GT(peak[0], 1.5f * peak[1]);
    EXPECT_GT(signChanges[0], signChanges[1] + 5);
}

} // namespace metro
