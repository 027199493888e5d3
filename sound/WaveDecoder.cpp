#include "sound/WaveDecoder.h"

#include <SDL.h>

#include <cstring>
#include <memory>

// Sections: reading the chunk layout ourselves; decoding with SDL; converting to the device.

namespace metro {

namespace {

std::uint16_t le16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t le32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

bool hasId(const std::uint8_t* at, const char* id) {
    return std::memcmp(at, id, 4) == 0;
}

// The most frames `dataBytes` of this format can decode to: exact for PCM and float, and an
// upper bound for the compressed encodings (ADPCM packs at least 4 bits a sample).
std::uint64_t mostFrames(const WaveFormat& format, std::uint64_t dataBytes) {
    const std::uint64_t bits = format.bitsPerSample >= 8 ? format.bitsPerSample : 4;
    return dataBytes * 8 / (bits * format.channels);
}

// The "fmt " chunk's fields; `chunk` points at the chunk's id and holds at least 24 bytes.
WaveFormat readFormat(const std::uint8_t* chunk, std::uint64_t size) {
    WaveFormat read;
    read.formatTag = le16(chunk + 8);
    read.channels = le16(chunk + 10);
    read.samplesPerSec = le32(chunk + 12);
    read.avgBytesPerSec = le32(chunk + 16);
    read.blockAlign = le16(chunk + 20);
    read.bitsPerSample = le16(chunk + 22);
    read.extraSize = size >= 18 ? le16(chunk + 24) : 0;
    return read;
}

// The most frames a slot holds in the device's format.
std::int64_t slotFrames(const DeviceFormat& device) {
    return static_cast<std::int64_t>(kMaxSlotBytes / sizeof(float)) / device.channels;
}

// At most 2^33 frames (4 GiB of 4-bit samples) times a rate below 2^31: below 2^64.
bool longerThanASlot(const WaveFormat& format, std::uint64_t dataBytes,
                     const DeviceFormat& device) {
    const std::uint64_t converted = mostFrames(format, dataBytes) *
                                    static_cast<std::uint64_t>(device.sampleRate) /
                                    format.samplesPerSec;
    return converted > static_cast<std::uint64_t>(slotFrames(device));
}

// The RIFF layout: "RIFF" size "WAVE", then chunks of id, size and data (padded to even
// length). Requires a "fmt " chunk before a non-empty "data" chunk, every size within the
// bytes really there, a format that could describe playable sound, and no more of it than a
// slot holds on `device`.
std::optional<WaveFormat> checkLayout(std::span<const std::uint8_t> file,
                                      const DeviceFormat& device, LoadFailure& why) {
    why = LoadFailure::NotWave;
    if (file.size() < 12 || file.size() > kMaxWaveFileBytes)
        return std::nullopt;
    if (!hasId(file.data(), "RIFF") || !hasId(file.data() + 8, "WAVE"))
        return std::nullopt;
    const std::uint64_t riffEnd = std::uint64_t{le32(file.data() + 4)} + 8;
    if (riffEnd > file.size())
        return std::nullopt;

    std::optional<WaveFormat> format;
    std::uint64_t offset = 12;
    while (offset + 8 <= riffEnd) {
        const std::uint8_t* chunk = file.data() + offset;
        const std::uint64_t size = le32(chunk + 4);
        if (offset + 8 + size > riffEnd)
            return std::nullopt;
        if (hasId(chunk, "fmt ")) {
            if (size < 16)
                return std::nullopt;
            format = readFormat(chunk, size);
        } else if (hasId(chunk, "data")) {
            if (!format || size == 0 || format->blockAlign == 0 || size < format->blockAlign)
                return std::nullopt;
            if (format->channels < 1 || format->channels > 8)
                return std::nullopt;
            if (format->samplesPerSec < 100 || format->samplesPerSec > 384000)
                return std::nullopt;
            if (longerThanASlot(*format, size, device)) {
                why = LoadFailure::TooLong;
                return std::nullopt;
            }
            return format;
        }
        offset += 8 + size + (size & 1);
    }
    return std::nullopt;
}

struct SdlFree {
    void operator()(std::uint8_t* memory) const { SDL_free(memory); }
};

} // namespace

LoadFailure refusedFromHead(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                            const DeviceFormat& device) {
    if (head.size() < 12 || !hasId(head.data(), "RIFF") || !hasId(head.data() + 8, "WAVE"))
        return LoadFailure::None;
    std::optional<WaveFormat> format;
    for (std::uint64_t offset = 12; offset + 8 <= head.size();) {
        const std::uint8_t* chunk = head.data() + offset;
        const std::uint64_t size = le32(chunk + 4);
        if (hasId(chunk, "fmt ") && size >= 16 && offset + 24 <= head.size()) {
            format = readFormat(chunk, size);
        } else if (hasId(chunk, "data")) {
            // The data the file can really hold, whatever its header claims.
            const std::uint64_t there = fileSize > offset + 8 ? fileSize - offset - 8 : 0;
            const bool plausible = format && format->channels >= 1 && format->samplesPerSec > 0;
            return plausible && longerThanASlot(*format, std::min(size, there), device)
                       ? LoadFailure::TooLong
                       : LoadFailure::None;
        }
        offset += 8 + size + (size & 1);
    }
    return LoadFailure::None;
}

std::optional<DecodedWave> decodeWave(std::span<const std::uint8_t> file,
                                      const DeviceFormat& device, LoadFailure* why) {
    LoadFailure ignored;
    LoadFailure& failure = why != nullptr ? *why : ignored;
    const std::optional<WaveFormat> format = checkLayout(file, device, failure);
    if (!format)
        return std::nullopt;
    failure = LoadFailure::Unsupported;

    // SDL decodes every encoding it knows (PCM, float, ADPCM, A-law, mu-law) and refuses
    // the rest. The layout was checked above, so it reads only bytes that are there.
    SDL_RWops* source = SDL_RWFromConstMem(file.data(), static_cast<int>(file.size()));
    if (source == nullptr)
        return std::nullopt;
    SDL_AudioSpec spec{};
    std::uint8_t* rawPcm = nullptr;
    Uint32 pcmBytes = 0;
    if (SDL_LoadWAV_RW(source, 1, &spec, &rawPcm, &pcmBytes) == nullptr)
        return std::nullopt;
    const std::unique_ptr<std::uint8_t, SdlFree> pcm(rawPcm);

    const int frameBytes = static_cast<int>(SDL_AUDIO_BITSIZE(spec.format) / 8) * spec.channels;
    if (frameBytes <= 0 || spec.freq <= 0)
        return std::nullopt;
    const std::int64_t sourceFrames = pcmBytes / frameBytes;
    const std::int64_t expectedFrames = sourceFrames * device.sampleRate / spec.freq;
    if (expectedFrames > slotFrames(device)) {
        failure = LoadFailure::TooLong;
        return std::nullopt;
    }
    if (expectedFrames < 1)
        return std::nullopt;

    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_F32SYS,
                          static_cast<Uint8>(device.channels), device.sampleRate) < 0)
        return std::nullopt;
    const int sourceBytes = static_cast<int>(sourceFrames * frameBytes);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(sourceBytes) *
                                   static_cast<std::size_t>(cvt.len_mult));
    std::memcpy(work.data(), pcm.get(), static_cast<std::size_t>(sourceBytes));
    cvt.buf = work.data();
    cvt.len = sourceBytes;
    if (cvt.needed != 0 && SDL_ConvertAudio(&cvt) != 0)
        return std::nullopt;
    const int convertedBytes = cvt.needed != 0 ? cvt.len_cvt : sourceBytes;

    DecodedWave decoded;
    decoded.format = *format;
    decoded.frames = convertedBytes / static_cast<int>(sizeof(float) * device.channels);
    // The whole sound must survive conversion; a resampler that loses the tail is a fault.
    if (decoded.frames < expectedFrames - 1)
        return std::nullopt;
    decoded.samples.resize(static_cast<std::size_t>(decoded.frames * device.channels));
    std::memcpy(decoded.samples.data(), work.data(), decoded.samples.size() * sizeof(float));
    failure = LoadFailure::None;
    return decoded;
}

} // namespace metro
