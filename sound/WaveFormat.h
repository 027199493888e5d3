#pragma once
// A wave file's sample format as its "fmt " chunk states it (the WAVEFORMATEX fields).

#include <cstdint>

namespace metro {

struct WaveFormat {
    std::uint16_t formatTag = 0; // 1 PCM, 3 float, 2 MS ADPCM, 6 A-law, 7 mu-law, ...
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0; // frames per second
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0; // bytes per block (one frame for PCM)
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraSize = 0; // cbSize: bytes of format-specific data that follow
};

} // namespace metro
