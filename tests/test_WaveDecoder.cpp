// Decoding and conversion to the device format: sample values, channel layout, the chunk walk,
// and the full length of a resampled sound (a converter that loses the tail cuts clicks short).

#include "sound/WaveDecoder.h"
#include "support/SoundPrinting.h"
#include "tools/WaveWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace metro {

TEST(WaveDecoder, Pcm16MonoBecomesEqualFloatChannelsAndOddSizedChunksAreWalked) {
    std::vector<std::uint8_t> bytes = pcm16WaveBytes(std::vector<std::int16_t>{16384, -32768, 0});
    // An odd-sized "LIST" chunk (with its pad byte) right after "WAVE".
    const std::vector<std::uint8_t> list{'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + 12, list.begin(), list.end());
    bytes[4] = static_cast<std::uint8_t>(bytes[4] + list.size()); // the RIFF size
    const auto decoded = decodeWave(bytes, {48000, 2, 512});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples, (std::vector<float>{0.5f, 0.5f, -1, -1, 0, 0}));
    EXPECT_EQ(decoded->format.channels, 1);
}

TEST(WaveDecoder, ResampledSoundsKeepTheirWholeLength) {
    // Ten seconds is long enough for a converter fed in one piece to lose its tail; a minute
    // is far longer than a click, and still loads.
    for (const auto& [fileRate, frames, deviceRate] : {std::tuple{44100, 441, 48000},
                                                       {44100, 441000, 48000},
                                                       {96000, 96000, 44100},
                                                       {44100, 2646000, 48000}}) {
        const std::vector<std::int16_t> level(static_cast<std::size_t>(frames), 10000);
        const auto decoded =
            decodeWave(pcm16WaveBytes(level, 1, fileRate), DeviceFormat{deviceRate, 1, 512});
        ASSERT_TRUE(decoded) << frames;
        EXPECT_NEAR(decoded->frames, static_cast<double>(frames) * deviceRate / fileRate, 1.0);
        // The last millisecond still carries the sound, not silence.
        EXPECT_GT(*std::max_element(decoded->samples.end() - 44, decoded->samples.end()), 0.05f)
            << frames;
    }
}

// A slot holds 32 MiB of sound in the device's format, judged from the header alone: the
// most file frames that fit load, one more is refused, whatever the file's rate and the
// device's rate and channels.
TEST(WaveDecoder, ASlotHoldsThirtyTwoMebibytesOnTheDeviceJudgedFromTheHeader) {
    // 16-bit mono files; 32 MiB is 2^22 frames of stereo float, 2^20 of 8 channels.
    for (const auto& [fileRate, device, most] :
         {std::tuple{48000u, DeviceFormat{48000, 2, 512}, std::uint32_t{1} << 22},
          {24000u, DeviceFormat{48000, 2, 512}, std::uint32_t{1} << 21},
          {48000u, DeviceFormat{48000, 8, 512}, std::uint32_t{1} << 20},
          // floor(n * 44100 / 96000) <= 2^22 up to n = 9130459
          {96000u, DeviceFormat{44100, 2, 512}, std::uint32_t{9130459}}}) {
        for (const std::uint32_t frames : {most, most + 1}) {
            WaveFields header;
            header.sampleRate = fileRate;
            header.dataSize = frames * 2;
            header.riffSize = 36 + frames * 2;
            const std::uint64_t fileSize = 44 + std::uint64_t{frames} * 2;
            EXPECT_EQ(refusedFromHead(waveBytes(header, {}), fileSize, device),
                      frames == most ? LoadFailure::None : LoadFailure::TooLong)
                << fileRate << " Hz, " << frames << " frames, " << device.channels
                << " channels at " << device.sampleRate << " Hz";
        }
    }
}

} // namespace metro
