#include "sound/SoundBuffer.h"

#include "sound/AudioOutput.h"
#include "sound/WaveDecoder.h"

#include <cmath>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

namespace metro {

namespace {

// The whole file, or nothing when it cannot be read or is larger than any wave we accept.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxWaveFileBytes)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        return std::nullopt;
    return bytes;
}

} // namespace

float gainOfVolume(std::int32_t hundredthsOfDecibel) {
    return static_cast<float>(std::pow(10.0, hundredthsOfDecibel / 2000.0));
}

std::shared_ptr<SoundBuffer> SoundBuffer::createFromFile(std::shared_ptr<AudioOutput> output,
                                                         const std::string& path,
                                                         WaveFormat& format) {
    if (!output || !output->isOpen())
        return nullptr;
    const std::optional<std::vector<std::uint8_t>> bytes = readWholeFile(path);
    if (!bytes)
        return nullptr;
    std::optional<DecodedWave> decoded = decodeWave(*bytes, output->format());
    if (!decoded)
        return nullptr;
    VoiceId voice;
    {
        const RenderingHold hold(*output);
        voice = output->mixer().addVoice(std::move(decoded->samples));
    }
    format = decoded->format;
    return std::make_shared<SoundBuffer>(std::move(output), voice);
}

SoundBuffer::SoundBuffer(std::shared_ptr<AudioOutput> output, VoiceId voice)
    : output_(std::move(output)), voice_(voice) {}

SoundBuffer::~SoundBuffer() {
    std::vector<float> released;
    {
        const RenderingHold hold(*output_);
        released = output_->mixer().removeVoice(voice_);
    }
    // `released` is freed here, after the renderer runs again.
}

bool SoundBuffer::play(std::int64_t startFrame, bool looping, IfLate ifLate) {
    return output_->mixer().play(voice_, startFrame, looping, ifLate);
}

bool SoundBuffer::cancelFrom(std::int64_t fromFrame) {
    return output_->mixer().cancelFrom(voice_, fromFrame);
}

bool SoundBuffer::stop() {
    return output_->mixer().stop(voice_);
}

bool SoundBuffer::setVolume(std::int32_t hundredthsOfDecibel) {
    if (hundredthsOfDecibel < kVolumeMin || hundredthsOfDecibel > kVolumeMax)
        return false;
    if (!output_->mixer().setGain(voice_, gainOfVolume(hundredthsOfDecibel)))
        return false;
    volume_ = hundredthsOfDecibel;
    return true;
}

} // namespace metro
