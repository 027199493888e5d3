#include "sound/SoundBuffer.h"

#include "sound/AudioOutput.h"
#include "sound/WaveDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace metro {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads `count` bytes, or fails (a read error, or the file shrank while we read it).
bool readFully(int fd, std::uint8_t* into, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, into + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// The whole file, or nothing when it is not a regular file, cannot be read or is larger than
// any wave we accept. Opened without blocking and checked on the open descriptor, so a FIFO
// put in the file's place after a check can hold nothing up.
// `device`: the format the sound will be converted to, which decides what a slot holds.
std::optional<std::vector<std::uint8_t>>
readWholeFile(const std::string& path, const DeviceFormat& device, LoadFailure& why) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) {
        why = errno == ENOENT || errno == ENOTDIR ? LoadFailure::Missing : LoadFailure::Unreadable;
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        why = LoadFailure::Unreadable;
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        why = LoadFailure::NotRegular;
        return std::nullopt;
    }
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kMaxWaveFileBytes) {
        why = LoadFailure::NotWave;
        return std::nullopt;
    }
    // The header first: a sound longer than a slot holds is refused without reading it all.
    const auto size = static_cast<std::size_t>(info.st_size);
    std::vector<std::uint8_t> bytes(std::min(size, kWaveHeadBytes));
    if (!readFully(file.get(), bytes.data(), bytes.size())) {
        why = LoadFailure::Unreadable;
        return std::nullopt;
    }
    why = refusedFromHead(bytes, size, device);
    if (why != LoadFailure::None)
        return std::nullopt;
    const std::size_t headBytes = bytes.size();
    bytes.resize(size);
    if (!readFully(file.get(), bytes.data() + headBytes, size - headBytes)) {
        why = LoadFailure::Unreadable;
        return std::nullopt;
    }
    return bytes;
}

} // namespace

float gainOfVolume(std::int32_t hundredthsOfDecibel) {
    return static_cast<float>(std::pow(10.0, hundredthsOfDecibel / 2000.0));
}

std::shared_ptr<SoundBuffer> SoundBuffer::createFromFile(std::shared_ptr<AudioOutput> output,
                                                         const std::string& path,
                                                         WaveFormat& format, LoadFailure& why) {
    if (!output || !output->isOpen()) {
        why = LoadFailure::NoSoundDevice;
        return nullptr;
    }
    const std::optional<std::vector<std::uint8_t>> bytes =
        readWholeFile(path, output->format(), why);
    if (!bytes)
        return nullptr;
    std::optional<DecodedWave> decoded = decodeWave(*bytes, output->format(), &why);
    if (!decoded)
        return nullptr;
    VoiceId voice;
    {
        const RenderingHold hold(*output);
        voice = output->mixer().addVoice(std::move(decoded->samples), hold);
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
        released = output_->mixer().removeVoice(voice_, hold);
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
