#pragma once
// The sample format every loaded sound is converted to: the output device's.

#include <cstdint>

namespace metro {

struct DeviceFormat {
    std::int32_t sampleRate = 48000; // frames per second
    std::int32_t channels = 2;       // interleaved float32 samples per frame
    std::int32_t blockFrames = 512;  // largest block the mixer renders at once (device buffer)
};

} // namespace metro
