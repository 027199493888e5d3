#pragma once
// Why a wave file did not load, for the one line the program writes to standard error.

#include <cstdint>

namespace metro {

enum class LoadFailure : std::uint8_t {
    None,
    Missing,       // no such file
    NotRegular,    // a folder, FIFO, socket or device: never opened
    Unreadable,    // exists, but cannot be opened or read
    NotWave,       // not a RIFF/WAVE file, or its chunks do not add up
    Unsupported,   // a wave encoding the sound system cannot decode
    TooLong,       // longer than a wave slot may hold
    NoSoundDevice, // nothing to load into
};

// "missing", "not a regular file", ...; "" for None.
const char* describe(LoadFailure failure);

} // namespace metro
