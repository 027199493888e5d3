#pragma once
// One loaded sound on an output device: its voice in the mixer and its volume. A wave slot
// holds it by shared reference, so moving a slot moves the buffer, volume and all. Releasing
// the last reference removes the voice, which ends its sound. Window thread.

#include "sound/LoadFailure.h"
#include "sound/Mixer.h"
#include "sound/WaveFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace metro {

class AudioOutput;

struct SoundBuffer {
    // Hundredths of a decibel: 0 is full loudness, -10000 silent.
    static constexpr std::int32_t kVolumeMax = 0;
    static constexpr std::int32_t kVolumeMin = -10000;

    // The whole file decoded and converted to the output's format; nullptr when the file
    // cannot be read or is not a wave file the sound system can play, and `why` says which.
    // Only a regular file is ever opened: a FIFO, socket or device would block or never end.
    // Fills `format` with the file's own format on success and leaves it alone otherwise.
    static std::shared_ptr<SoundBuffer> createFromFile(std::shared_ptr<AudioOutput> output,
                                                       const std::string& path, WaveFormat& format,
                                                       LoadFailure& why);

    SoundBuffer(std::shared_ptr<AudioOutput> output, VoiceId voice);
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    // False when the change could not be handed to the device.
    bool play(std::int64_t startFrame, bool looping, IfLate ifLate = IfLate::StartAtOnce);
    bool stop();
    bool cancelFrom(std::int64_t fromFrame);

    std::int32_t volume() const { return volume_; }
    // Refuses (false, volume unchanged) values outside kVolumeMin..kVolumeMax.
    bool setVolume(std::int32_t hundredthsOfDecibel);

private:
    std::shared_ptr<AudioOutput> output_;
    VoiceId voice_;
    std::int32_t volume_ = kVolumeMax;
};

// Linear gain of a volume in hundredths of a decibel: 10^(volume / 2000).
float gainOfVolume(std::int32_t hundredthsOfDecibel);

} // namespace metro
