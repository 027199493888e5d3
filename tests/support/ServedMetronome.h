#pragma once
// The real metronome on a sound server of the test's own: the window's logic (Form1) starts
// up as the program does, finds its two clicks in its folder's metro/ and opens the default
// output, the private server's stream. The test clicks are steps of a known level (accent
// 0.5, plain 0.25), so each is found in the recording to the sample and told apart by its
// level. The test runs the beat frames itself, as the window's timer would.

#include "PrivatePulse.h"
#include "RecordingWindow.h"
#include "TempFolder.h"
#include "TestSounds.h"
#include "sound/PulseAudioOutput.h"
#include "ui/form/Form1.h"

namespace metro::test {

class ServedMetronome {
public:
    explicit ServedMetronome(const TempFolder& folder, std::int16_t tempo = 120,
                             std::int16_t beats = 4) {
        std::filesystem::create_directories(folder.path() / "metro");
        writePcm16(folder.file("metro/1.wav"), steadySound(16384, 200));
        writePcm16(folder.file("metro/2.wav"), steadySound(8192, 200));
        window.folder = folder.path();
        form.Form_Load();
        form.Tempo_Seek(tempo);
        form.L_Metro_Click(beats);
        if (s.SoundReady)
            device = std::dynamic_pointer_cast<PulseAudioOutput>(s.SoundDevice->rDirectSound());
    }

    // A key pressed and released, as the window hands it over.
    void press(std::int16_t key) {
        form.Form_KeyDown(key, 0);
        form.Form_KeyUp(key, 0);
    }
    // Beat frames 16 ms apart until `done` or `seconds`; whether `done` came.
    template <typename Condition> bool runFramesUntil(Condition done, double seconds = 30) {
        for (const double end = steadySeconds() + seconds; !done() && steadySeconds() < end;) {
            form.metronome.Beat_Frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
        return done();
    }
    // Beat frames until the steady time `until`, which is met to the tenth of a millisecond
    // (the last stretch waits without sleeping).
    void runFramesTo(double until) {
        const double start = steadySeconds();
        for (int frame = 0; start + frame * 0.016 < until - 0.003; ++frame) {
            const double next = std::min(start + frame * 0.016, until - 0.002);
            std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(next))));
            form.metronome.Beat_Frame();
        }
        while (steadySeconds() < until) {
        }
    }

    RecordingWindow window;
    Form1 form{window};
    MetronomeState& s = form.state();
    std::shared_ptr<PulseAudioOutput> device; // null where start-up found no sound server
};

// The clicks heard in `recording` on the grid that starts at sample `first`, `beat` samples
// apart, up to `count` beats: 0 silent, 1 plain, 2 accent, -1 a sound off the grid (by more
// than a millisecond).
inline std::vector<int> clicksHeard(const MonitorRecorder& recording, std::size_t first,
                                    std::size_t beat, std::size_t count) {
    std::vector<int> heard(count, 0);
    const std::vector<float> samples = recording.samples();
    for (const std::size_t onset : recording.onsets(0.1f)) {
        const std::size_t k = (onset + beat / 2 - std::min(first, onset + beat / 2)) / beat;
        if (onset + beat / 2 < first || k >= count)
            continue;
        const std::size_t on = first + k * beat;
        const bool onTheGrid = std::max(onset, on) - std::min(onset, on) <= 48; // 1 ms
        heard[k] = !onTheGrid ? -1 : samples[onset] > 0.375f ? 2 : 1;
    }
    return heard;
}

} // namespace metro::test
