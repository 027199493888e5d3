// libFuzzer target for the load path: any bytes as a wave file, decoded and converted to
// the device format. A decoded sound must be whole and in range; anything else is refused.

#include "sound/WaveDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const metro::DeviceFormat device{48000, 2, 512};
    const auto decoded = metro::decodeWave(std::span(data, size), device);
    if (decoded &&
        (decoded->frames < 1 || decoded->format.channels < 1 ||
         decoded->format.samplesPerSec == 0 ||
         decoded->samples.size() != static_cast<std::size_t>(decoded->frames * device.channels)))
        std::abort();
    return 0;
}
