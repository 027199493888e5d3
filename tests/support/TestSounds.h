#pragma once
// Small sounds for the sound tests, written as 16-bit PCM mono 48 kHz wave files, helpers to
// render an offline output and find where sound begins, and how a failing check shows the
// sound's values: the mixer's counts of starts that never sounded, and why a load failed.

#include "sound/LoadFailure.h"
#include "sound/OfflineAudioOutput.h"
#include "tools/WaveWriter.h"

#include <ostream>

namespace metro {

inline void PrintTo(const Mixer::Dropped& dropped, std::ostream* out) {
    *out << "{refused " << dropped.refused << ", late " << dropped.late << ", in a gap "
         << dropped.inGap << "}";
}
inline void PrintTo(LoadFailure failure, std::ostream* out) {
    *out << '"' << describe(failure) << '"';
}

namespace test {

// `frames` frames at one constant 16-bit level: each test sound is told apart by its level.
inline std::vector<std::int16_t> steadySound(std::int16_t level, int frames) {
    return std::vector<std::int16_t>(static_cast<std::size_t>(frames), level);
}
inline bool writePcm16(const std::string& path, const std::vector<std::int16_t>& samples) {
    return writeBytes(path, pcm16WaveBytes(samples));
}
// Renders `frames` frames of `output` and returns them (interleaved).
inline std::vector<float> renderFrames(OfflineAudioOutput& output, int frames) {
    std::vector<float> out(static_cast<std::size_t>(frames * output.format().channels));
    output.render(out.data(), frames);
    return out;
}
// The first frame whose first channel is not silent, or -1.
inline int firstSoundingFrame(const std::vector<float>& samples, int channels) {
    for (std::size_t i = 0; i < samples.size(); i += static_cast<std::size_t>(channels))
        if (samples[i] != 0.0f)
            return static_cast<int>(i) / channels;
    return -1;
}

} // namespace test
} // namespace metro
