// libFuzzer target for the load path: any bytes as a wave file, decoded and converted to
// the device format. A decoded sound must be whole and in range; anything else is refused.
// A sound that breaks a rule says which, with the value it had, before the fuzzer stops.

#include "sound/WaveDecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

void require(bool holds, const char* rule, long long seen) {
    if (holds)
        return;
    std::fprintf(stderr, "decoded sound breaks \"%s\": %lld\n", rule, seen);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const metro::DeviceFormat device{48000, 2, 512};
    const auto decoded = metro::decodeWave(std::span(data, size), device);
    if (!decoded)
        return 0;
    require(decoded->frames >= 1, "at least one frame", decoded->frames);
    require(decoded->format.channels >= 1, "at least one channel in the file",
            decoded->format.channels);
    require(decoded->format.samplesPerSec != 0, "a sample rate", decoded->format.samplesPerSec);
    require(decoded->samples.size() == static_cast<std::size_t>(decoded->frames * device.channels),
            "every frame's samples", static_cast<long long>(decoded->samples.size()));
    require(decoded->samples.size() * sizeof(float) <= metro::kMaxSlotBytes,
            "no more than a slot holds", static_cast<long long>(decoded->samples.size()));
    return 0;
}
