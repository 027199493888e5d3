#pragma once
// Turns the bytes of a wave file into a sound in the device format. Every chunk size is
// checked against the bytes really there before anything is decoded or allocated; any
// file that does not pass gives no sound. Window thread; never throws.

#include "sound/DeviceFormat.h"
#include "sound/LoadFailure.h"
#include "sound/WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace metro {

struct DecodedWave {
    WaveFormat format;          // the file's own format
    std::vector<float> samples; // interleaved float32 at the device's rate and channels
    std::int64_t frames = 0;    // samples.size() / device channels, at least 1
};

// Limits that keep a hostile header from making us allocate without bound. A slot holds at
// most kMaxSlotBytes of sound once converted to the device's format: 87 s at 48 kHz stereo,
// far more than any click, while a file whose header declares more is refused from the
// header, before anything is read whole or decoded. A file is read whole only up to
// kMaxWaveFileBytes.
inline constexpr std::size_t kMaxWaveFileBytes = 64u << 20;
inline constexpr std::size_t kMaxSlotBytes = 32u << 20;

// Reads only the first bytes of a file of `fileSize` bytes: TooLong when its header already
// declares more sound than a slot holds on `device`, so that such a file is refused before it
// is read whole; None when those bytes do not tell (decodeWave decides then).
inline constexpr std::size_t kWaveHeadBytes = 4096;
LoadFailure refusedFromHead(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                            const DeviceFormat& device);

// `why` (optional) says what was wrong when there is no sound.
std::optional<DecodedWave> decodeWave(std::span<const std::uint8_t> file,
                                      const DeviceFormat& device, LoadFailure* why = nullptr);

} // namespace metro
