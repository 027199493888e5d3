#pragma once
// Writes wave files: the click generator's output, and the test files (good and malformed)
// of the sound tests. Every header field can be set, including wrong ones on purpose.

#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace metro {

struct WaveFields {
    std::uint16_t formatTag = 1; // PCM
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 48000;
    std::uint16_t bitsPerSample = 16;
    // Left empty, each is computed from the others and the data as a correct file has it.
    std::optional<std::uint32_t> riffSize;
    std::optional<std::uint32_t> dataSize;
    std::optional<std::uint16_t> blockAlign;
};

inline void appendLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void appendId(std::vector<std::uint8_t>& out, const char* id) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(id[i]));
}

// "RIFF" size "WAVE", a 16-byte "fmt " chunk, then a "data" chunk with `data` as it stands.
inline std::vector<std::uint8_t> waveBytes(const WaveFields& fields,
                                           std::span<const std::uint8_t> data) {
    const std::uint16_t blockAlign = fields.blockAlign.value_or(
        static_cast<std::uint16_t>(fields.channels * ((fields.bitsPerSample + 7) / 8)));
    std::vector<std::uint8_t> out;
    out.reserve(44 + data.size());
    appendId(out, "RIFF");
    appendLittleEndian(out, fields.riffSize.value_or(static_cast<std::uint32_t>(36 + data.size())),
                       4);
    appendId(out, "WAVE");
    appendId(out, "fmt ");
    appendLittleEndian(out, 16, 4);
    appendLittleEndian(out, fields.formatTag, 2);
    appendLittleEndian(out, fields.channels, 2);
    appendLittleEndian(out, fields.sampleRate, 4);
    appendLittleEndian(out, fields.sampleRate * blockAlign, 4);
    appendLittleEndian(out, blockAlign, 2);
    appendLittleEndian(out, fields.bitsPerSample, 2);
    appendId(out, "data");
    appendLittleEndian(out, fields.dataSize.value_or(static_cast<std::uint32_t>(data.size())), 4);
    for (const std::uint8_t byte : data)
        out.push_back(byte);
    return out;
}

// 16-bit PCM, interleaved `channels` samples per frame.
inline std::vector<std::uint8_t> pcm16WaveBytes(std::span<const std::int16_t> samples,
                                                std::uint16_t channels = 1,
                                                std::uint32_t sampleRate = 48000) {
    std::vector<std::uint8_t> data;
    for (const std::int16_t sample : samples)
        appendLittleEndian(data, static_cast<std::uint16_t>(sample), 2);
    WaveFields fields;
    fields.channels = channels;
    fields.sampleRate = sampleRate;
    return waveBytes(fields, data);
}

inline bool writeBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace metro
