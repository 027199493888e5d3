// The default clicks that the build puts beside the program: they load, their attack is the
// very first sample, nothing clips, and the accent is louder and higher than the plain click.

#include "sound/Cls_DX7_JP.h"
#include "sound/OfflineAudioOutput.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace metro {
namespace {

struct ClickMeasure {
    float first = 0, peak = 0;
    int signChanges = 0; // over the first 10 ms: twice the pitch / 100
    int frames = 0;      // up to the last sounding one
};

TEST(DefaultClicks, StartOnTheirFirstSampleAndTellAccentFromPlainClick) {
    auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, 512});
    Cls_DX7_JP sound(output);
    sound.Initialize(1, 2);
    ClickMeasure accent, plain;
    for (auto [name, m] : {std::pair{"1.wav", &accent}, {"2.wav", &plain}}) {
        std::int16_t index = 0;
        ASSERT_TRUE(sound.Wave_LoadFile(std::string(METRO_CLICKS_DIR) + "/" + name, index));
        sound.Wave_Play(index);
        const std::vector<float> out = test::renderFrames(*output, 9600);
        m->first = out[0];
        for (std::size_t i = 0; i < out.size(); ++i) {
            m->peak = std::max(m->peak, std::abs(out[i]));
            m->frames = out[i] != 0.0f ? static_cast<int>(i) + 1 : m->frames;
            m->signChanges += i > 0 && i < 480 && (out[i] < 0) != (out[i - 1] < 0);
        }
        EXPECT_GT(m->first, 0.3f * m->peak) << name;
        EXPECT_LT(m->peak, 0.95f) << name;
        EXPECT_LT(m->frames, 4800) << name << " is well under 100 ms";
    }
    EXPECT_GT(accent.peak, 1.5f * plain.peak);
    EXPECT_GT(accent.signChanges, plain.signChanges + 5);
}

} // namespace
} // namespace metro
