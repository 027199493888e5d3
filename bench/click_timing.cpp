// Click timing against the ideal beat grid.
//
//   bench_click_timing simulate [hours]     the real beat frames at irregular 5..40 ms
//                                           intervals, clicks rendered by the offline device
//                                           (default 24 simulated hours per tempo)
//   bench_click_timing analyze FILE TEMPO   onsets found in a recording of the program's
//                                           output (see bench/real_device_timing.sh)
//
// Prints for each run: clicks, rate error, interval standard deviation, worst deviation from
// the grid anchored at the first click, and drift (the last click's deviation).

#include "sound/Cls_DX7_JP.h"
#include "sound/OfflineAudioOutput.h"
#include "sound/WaveDecoder.h"
#include "tests/support/RecordingWindow.h"
#include "tools/WaveWriter.h"
#include "ui/form/Form1.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace metro;
constexpr int rate = 48000;

void report(const char* what, const std::vector<std::int64_t>& onsets, double tempo) {
    if (onsets.size() < 3) {
        std::printf("%-28s too few clicks (%zu)\n", what, onsets.size());
        return;
    }
    const double ideal = 60.0 * rate / tempo; // frames per beat
    const double n = static_cast<double>(onsets.size() - 1);
    const double mean = static_cast<double>(onsets.back() - onsets.front()) / n;
    double sum = 0, sumSq = 0, worst = 0;
    for (std::size_t k = 1; k < onsets.size(); ++k) {
        const double interval = static_cast<double>(onsets[k] - onsets[k - 1]);
        sum += interval;
        sumSq += interval * interval;
        const double deviation =
            static_cast<double>(onsets[k] - onsets[0]) - static_cast<double>(k) * ideal;
        worst = std::max(worst, std::abs(deviation));
    }
    const double variance = std::max(0.0, sumSq / n - (sum / n) * (sum / n));
    const double drift = static_cast<double>(onsets.back() - onsets.front()) - n * ideal;
    const double ms = 1000.0 / rate;
    std::printf("%-28s clicks %9zu  rate error %+.6f %%  interval sd %.4f ms  worst %.4f ms  "
                "drift %+.4f ms\n",
                what, onsets.size(), (mean - ideal) / ideal * 100.0, std::sqrt(variance) * ms,
                worst * ms, drift * ms);
}

// First samples above the threshold after at least `quiet` frames at or below it.
std::vector<std::int64_t> findOnsets(const std::vector<float>& mono, float threshold, int quiet) {
    std::vector<std::int64_t> onsets;
    int quietRun = quiet;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        if (std::abs(mono[i]) > threshold) {
            if (quietRun >= quiet)
                onsets.push_back(static_cast<std::int64_t>(i));
            quietRun = 0;
        } else {
            ++quietRun;
        }
    }
    return onsets;
}

int simulate(double hours) {
    const std::string folder = std::filesystem::temp_directory_path() / "metro-bench-clicks";
    std::filesystem::create_directories(folder);
    const std::vector<std::int16_t> step(200, 12000);
    writeBytes(folder + "/click.wav", pcm16WaveBytes(step, 1, rate));

    for (int tempo : {40, 120, 208, 300}) {
        test::RecordingWindow window;
        Form1 form{window};
        form.Form_Load();
        auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{rate, 1, 512});
        auto sound = std::make_unique<Cls_DX7_JP>(output);
        sound->Initialize(1, 2);
        MetronomeState& s = form.state();
        sound->Wave_LoadFile(folder + "/click.wav", s.AccentSlot);
        sound->Wave_LoadFile(folder + "/click.wav", s.BeatSlot);
        s.SoundDevice = std::move(sound);
        s.SoundReady = true;
        s.Tempo = static_cast<std::int16_t>(tempo);

        std::mt19937 random(static_cast<unsigned>(tempo));
        std::uniform_int_distribution<int> gap(rate * 5 / 1000, rate * 40 / 1000);
        std::vector<float> block(512);
        std::vector<std::int64_t> onsets;
        float previous = 0;
        form.I_Play_Click(0);
        const auto end = static_cast<std::int64_t>(hours * 3600 * rate);
        while (output->mixer().framesRendered() < end) {
            for (int left = gap(random); left > 0;) {
                const int n = std::min(left, 512);
                const std::int64_t first = output->mixer().framesRendered();
                output->render(block.data(), n);
                for (int i = 0; i < n; ++i) {
                    if (previous == 0 && block[i] != 0)
                        onsets.push_back(first + i);
                    previous = block[i];
                }
                left -= n;
            }
            form.metronome.Beat_Frame();
        }
        form.I_Play_Click(1);
        char what[64];
        std::snprintf(what, sizeof what, "simulated %.0f h at %d", hours, tempo);
        report(what, onsets, tempo);
    }
    std::filesystem::remove_all(folder);
    return 0;
}

int analyze(const char* path, double tempo) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto wave = decodeWave(bytes, DeviceFormat{rate, 1, 512});
    if (!wave) {
        std::printf("cannot read %s as a 48 kHz wave file\n", path);
        return 1;
    }
    // The quiet gap must be shorter than a beat and longer than a click's tail.
    const int quiet = static_cast<int>(60.0 * rate / tempo * 0.5);
    const auto onsets = findOnsets(wave->samples, 0.02f, quiet);
    char what[64];
    std::snprintf(what, sizeof what, "recorded at %.0f", tempo);
    report(what, onsets, tempo);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc >= 2 && std::strcmp(argv[1], "analyze") == 0 && argc == 4)
        return analyze(argv[2], std::atof(argv[3]));
    if (argc == 1 || std::strcmp(argv[1], "simulate") == 0)
        return simulate(argc >= 3 ? std::atof(argv[2]) : 24.0);
    std::fprintf(stderr, "usage: %s simulate [hours] | analyze FILE TEMPO\n", argv[0]);
    return 2;
}
