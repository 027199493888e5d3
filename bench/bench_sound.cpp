// Costs of the sound path: a play handed over on the window thread (ns per call), and one
// callback block of mixing with two clicks sounding (us per block, and its share of the
// block's real-time budget). Uses the offline output and the build's default clicks.

#include "sound/Cls_DX7_JP.h"
#include "sound/OfflineAudioOutput.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double nanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

} // namespace

int main() {
    using namespace metro;
    const DeviceFormat format{48000, 2, 512};
    auto output = std::make_shared<OfflineAudioOutput>(format);
    Cls_DX7_JP sound(output);
    sound.Initialize(1, 2);
    std::int16_t accent = 0;
    std::int16_t plain = 0;
    const std::string folder = METRO_CLICKS_DIR;
    if (!sound.Wave_LoadFile(folder + "/1.wav", accent) ||
        !sound.Wave_LoadFile(folder + "/2.wav", plain)) {
        std::fprintf(stderr, "cannot load the clicks from %s\n", folder.c_str());
        return 1;
    }
    std::vector<float> block(static_cast<std::size_t>(format.blockFrames * format.channels));

    // Hand-over: batches small enough for the queue, drained (untimed) between batches.
    constexpr int kBatches = 2000;
    constexpr int kBatch = 500;
    double playNs = 0.0;
    double playAtNs = 0.0;
    for (int batch = 0; batch < kBatches; ++batch) {
        auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            sound.Wave_Play(i % 2 == 0 ? accent : plain);
        playNs += nanosecondsSince(start);
        output->render(block.data(), format.blockFrames);

        const std::int64_t frame = sound.WriteHeadFrame();
        start = Clock::now();
        for (int i = 0; i < kBatch / 4; ++i) // pending starts are held 256 at most
            sound.Wave_PlayAt(i % 2 == 0 ? accent : plain, frame + i);
        playAtNs += nanosecondsSince(start);
        output->render(block.data(), format.blockFrames);
    }
    std::printf("Wave_Play   (window thread): %6.1f ns per call\n", playNs / (kBatches * kBatch));
    std::printf("Wave_PlayAt (window thread): %6.1f ns per call\n",
                playAtNs / (kBatches * (kBatch / 4)));

    // Mixing: both clicks restarted at the top of every block, so both sound all through it.
    constexpr int kBlocks = 20000;
    double mixNs = 0.0;
    for (int n = 0; n < kBlocks; ++n) {
        sound.Wave_Play(accent);
        sound.Wave_PlayAt(plain, sound.WriteHeadFrame() - format.blockFrames + 100);
        const auto start = Clock::now();
        output->render(block.data(), format.blockFrames);
        mixNs += nanosecondsSince(start);
    }
    const double blockUs = mixNs / kBlocks / 1000.0;
    const double budgetUs = 1e6 * format.blockFrames / format.sampleRate;
    std::printf("Mixing: %.2f us per %d-frame block with two clicks (budget %.0f us, %.3f%%)\n",
                blockUs, format.blockFrames, budgetUs, 100.0 * blockUs / budgetUs);
    return 0;
}
