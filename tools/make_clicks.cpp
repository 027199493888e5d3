// Writes the metronome's two default clicks into the folder given on the command line:
// 1.wav, the accent, and 2.wav, the plain click. 16-bit PCM, 48 kHz, mono.
//
// Each click is a struck woodblock: two damped partials (the second at 2.7 times the first,
// dying twice as fast) that start at full strength on the very first sample, so the
// attack can be located to the sample. The accent is higher and louder than the plain click.

#include "tools/WaveWriter.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSampleRate = 48000;

struct Click {
    double pitch;        // Hz, the lower partial
    double peak;         // of full scale; kept below 1 so that no sample clips
    double decaySeconds; // time constant of the lower partial
    double seconds;      // length of the file
};

constexpr Click kAccent{1900.0, 0.80, 0.0060, 0.060};
constexpr Click kPlain{1250.0, 0.45, 0.0070, 0.060};

std::vector<std::int16_t> render(const Click& click) {
    const int frames = static_cast<int>(click.seconds * kSampleRate);
    const int fadeFrames = kSampleRate / 200; // 5 ms to silence at the end, no step there
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / kSampleRate;
        const double low =
            std::cos(2 * std::numbers::pi * click.pitch * t) * std::exp(-t / click.decaySeconds);
        const double high = std::cos(2 * std::numbers::pi * click.pitch * 2.7 * t) *
                            std::exp(-2 * t / click.decaySeconds);
        const double fade = std::min(1.0, static_cast<double>(frames - n) / fadeFrames);
        const double value = click.peak * (0.7 * low + 0.3 * high) * fade;
        samples[static_cast<std::size_t>(n)] =
            static_cast<std::int16_t>(std::lround(value * 32767));
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& [name, click] : {std::pair{"/1.wav", kAccent}, std::pair{"/2.wav", kPlain}}) {
        const std::vector<std::int16_t> samples = render(click);
        if (!metro::writeBytes(folder + name, metro::pcm16WaveBytes(samples))) {
            std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), name);
            return 1;
        }
    }
    return 0;
}
