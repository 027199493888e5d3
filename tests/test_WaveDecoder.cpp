// Decoding and conversion to the device format: sample values, channel layout, and the
// full length of a resampled sound (a converter that loses the tail would cut clicks short).

#include "sound/WaveDecoder.h"
#include "tools/WaveWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace metro {
namespace {

std::vector<std::int16_t> sine(int frames, int sampleRate) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n)
        samples[static_cast<std::size_t>(n)] =
            static_cast<std::int16_t>(10000 * std::sin(2 * 3.14159265 * 440 * n / sampleRate));
    return samples;
}

TEST(WaveDecoder, Pcm16MonoBecomesEqualFloatChannels) {
    const std::vector<std::int16_t> samples{16384, -32768, 0, 8192};
    const auto decoded = decodeWave(pcm16WaveBytes(samples), DeviceFormat{48000, 2, 512});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->frames, 4);
    EXPECT_EQ(decoded->samples,
              (std::vector<float>{0.5f, 0.5f, -1.0f, -1.0f, 0.0f, 0.0f, 0.25f, 0.25f}));
    EXPECT_EQ(decoded->format.formatTag, 1);
    EXPECT_EQ(decoded->format.channels, 1);
    EXPECT_EQ(decoded->format.samplesPerSec, 48000u);
    EXPECT_EQ(decoded->format.blockAlign, 2);
}

TEST(WaveDecoder, EightBitAndFloatFilesDecode) {
    WaveFields eightBit;
    eightBit.bitsPerSample = 8;
    const std::vector<std::uint8_t> unsignedSamples{128, 192, 64};
    const auto decoded8 =
        decodeWave(waveBytes(eightBit, unsignedSamples), DeviceFormat{48000, 1, 512});
    ASSERT_TRUE(decoded8);
    EXPECT_EQ(decoded8->samples, (std::vector<float>{0.0f, 0.5f, -0.5f}));

    WaveFields floats;
    floats.formatTag = 3;
    floats.bitsPerSample = 32;
    const float values[] = {0.75f, -0.125f};
    std::vector<std::uint8_t> bytes(sizeof values);
    std::memcpy(bytes.data(), values, sizeof values);
    const auto decodedFloat = decodeWave(waveBytes(floats, bytes), DeviceFormat{48000, 1, 512});
    ASSERT_TRUE(decodedFloat);
    EXPECT_EQ(decodedFloat->samples, (std::vector<float>{0.75f, -0.125f}));
}

TEST(WaveDecoder, ResampledSoundsKeepTheirWholeLength) {
    // Ten seconds is long enough for a converter fed in one piece to lose its tail.
    for (const int frames : {441, 44100, 441000}) {
        const auto decoded =
            decodeWave(pcm16WaveBytes(sine(frames, 44100), 1, 44100), DeviceFormat{48000, 2, 512});
        ASSERT_TRUE(decoded) << frames;
        const std::int64_t expected = static_cast<std::int64_t>(frames) * 48000 / 44100;
        EXPECT_NEAR(static_cast<double>(decoded->frames), static_cast<double>(expected), 1.0)
            << frames;
        // The last tenth of a millisecond still carries the sine, not silence.
        float tailPeak = 0.0f;
        for (std::size_t i = decoded->samples.size() - 96; i < decoded->samples.size(); ++i)
            tailPeak = std::max(tailPeak, std::abs(decoded->samples[i]));
        EXPECT_GT(tailPeak, 0.05f) << frames;
    }
}

TEST(WaveDecoder, DownsamplingToTheDeviceRateKeepsLengthToo) {
    const auto decoded =
        decodeWave(pcm16WaveBytes(sine(96000, 96000), 1, 96000), DeviceFormat{44100, 1, 512});
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(static_cast<double>(decoded->frames), 44100.0, 1.0);
}

TEST(WaveDecoder, ChunksBeforeFmtAndOddSizedChunksAreWalkedCorrectly) {
    std::vector<std::uint8_t> bytes = pcm16WaveBytes(std::vector<std::int16_t>{16384});
    // Insert an odd-sized "LIST" chunk (with its pad byte) right after "WAVE".
    const std::vector<std::uint8_t> list{'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + 12, list.begin(), list.end());
    const std::uint32_t riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i)
        bytes[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    const auto decoded = decodeWave(bytes, DeviceFormat{48000, 1, 512});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples, std::vector<float>{0.5f});
}

} // namespace
} // namespace metro
