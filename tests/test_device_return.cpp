// The sound server goes away under a running metronome and comes back, as when a user's
// PulseAudio restarts: the pendulum swings on meanwhile, the sound class reopens the default
// output by itself, and the clicks resume on the beat grid with the accents in place. A
// private server plays into a null sink whose monitor is recorded; skipped where no
// PulseAudio server can be started.

#include "sound/PulseAudioOutput.h"
#include "support/PrivatePulse.h"
#include "support/RecordingWindow.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace metro;
using namespace std::chrono_literals;

namespace {

constexpr double kBeatSeconds = 0.5; // tempo 120
constexpr int kBeatsPerMeasure = 3;
constexpr std::size_t kBeatFrames = 24000;
// The server may insert a few ms of silence when a stream runs short (seen up to 10 ms on a
// busy machine); the device's own frames stay exact, which the offline tests show.
constexpr long kServerSlackFrames = 960;

long framesApart(const std::size_t later, const std::size_t earlier) {
    return static_cast<long>(later) - static_cast<long>(earlier) - static_cast<long>(kBeatFrames);
}

struct Onset {
    double seconds; // steady clock
    std::size_t sample;
    bool accent;
};

// Each click is a step of 200 frames at 0.5 (accent) or 0.25 (plain) after silence.
std::vector<Onset> onsetsIn(const test::MonitorRecorder& recording) {
    std::vector<Onset> onsets;
    const auto& samples = recording.samples();
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (std::abs(samples[i - 1]) < 0.05f && std::abs(samples[i]) > 0.1f)
            onsets.push_back({recording.secondsOf(i), i, samples[i] > 0.375f});
    return onsets;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs the beat frames as the window's timer would, for `seconds`; the longest frame in ms.
double runFrames(Form1& form, double seconds, std::vector<float>* rodPositions = nullptr) {
    double longest = 0;
    const double end = steadySeconds() + seconds;
    while (steadySeconds() < end) {
        const double before = steadySeconds();
        form.metronome.Beat_Frame();
        longest = std::max(longest, (steadySeconds() - before) * 1000);
        if (rodPositions)
            rodPositions->push_back(form.controls.Line_Rod.X1);
        std::this_thread::sleep_for(16ms);
    }
    return longest;
}

} // namespace

TEST(DeviceReturn, ClicksResumeOnTheGridAfterTheSoundServerRestarts) {
    test::TempFolder folder;
    test::PrivatePulseServer server(folder.path() / "runtime");
    if (!server.start())
        GTEST_SKIP() << "no private PulseAudio server could be started (pulseaudio and "
                        "pulseaudio-utils installed?)";

    test::RecordingWindow window;
    Form1 form{window};
    form.Form_Load(); // no clicks in the window's folder: starts silent
    auto sound = std::make_unique<Cls_DX7_JP>();
    sound->Initialize(1, 2);
    ASSERT_TRUE(sound->InitOK()) << "no output on the private server";
    const auto device = std::dynamic_pointer_cast<PulseAudioOutput>(sound->rDirectSound());
    ASSERT_NE(device, nullptr);
    MetronomeState& s = form.state();
    ASSERT_TRUE(test::writePcm16(folder.file("1.wav"), test::steadySound(16384, 200)));
    ASSERT_TRUE(test::writePcm16(folder.file("2.wav"), test::steadySound(8192, 200)));
    ASSERT_TRUE(sound->Wave_LoadFile(folder.file("1.wav"), s.AccentSlot));
    ASSERT_TRUE(sound->Wave_LoadFile(folder.file("2.wav"), s.BeatSlot));
    s.SoundDevice = std::move(sound);
    s.SoundReady = true;
    s.BeatsPerMeasure = kBeatsPerMeasure;

    // A fresh null sink holds its first streams back for about two seconds: start once the
    // device's clock runs.
    test::MonitorRecorder before;
    const double deadline = steadySeconds() + 10;
    while (s.SoundDevice->HeardFrame() < 24000 && steadySeconds() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(s.SoundDevice->HeardFrame(), 24000) << "the device's clock does not run";
    form.I_Play_Click(0);
    double longestFrame = runFrames(form, 3.2);

    server.stop();
    before.finish();
    std::vector<float> rod;
    longestFrame = std::max(longestFrame, runFrames(form, 1.5, &rod));
    ASSERT_TRUE(server.start());
    const double serverBack = steadySeconds();
    test::MonitorRecorder after;
    longestFrame = std::max(longestFrame, runFrames(form, 5.0));
    form.I_Play_Click(1);
    after.finish();

    EXPECT_GE(device->devicesLost(), 1);
    EXPECT_LT(longestFrame, 50) << "the window thread never waits for the sound server";
    std::sort(rod.begin(), rod.end());
    EXPECT_GT(rod.back() - rod.front(), 1000) << "the pendulum swings on without the server";

    const auto first = onsetsIn(before);
    const auto second = onsetsIn(after);
    ASSERT_GE(first.size(), 5u) << "clicks before the server went";
    ASSERT_GE(second.size(), 4u) << "clicks after it came back";
    // Before: the accent first, then a beat apart.
    for (std::size_t k = 0; k < first.size(); ++k) {
        EXPECT_EQ(first[k].accent, k % kBeatsPerMeasure == 0) << k;
        if (k > 0) {
            EXPECT_LE(std::abs(framesApart(first[k].sample, first[k - 1].sample)),
                      kServerSlackFrames)
                << k;
        }
    }
    // Beat 0 of the grid as the last click before the loss places it.
    const double start =
        first.back().seconds - static_cast<double>(first.size() - 1) * kBeatSeconds;
    // After: a beat apart again, and on the grid the swing went on with, as far as
    // the two recordings' capture times tell, with each accent on a measure's first beat.
    double worst = 0; // seconds off the grid
    for (std::size_t i = 0; i < second.size(); ++i) {
        const double beats = (second[i].seconds - start) / kBeatSeconds;
        const auto k = static_cast<long>(std::lround(beats));
        worst = std::max(worst, std::abs(beats - static_cast<double>(k)) * kBeatSeconds);
        EXPECT_EQ(second[i].accent, k % kBeatsPerMeasure == 0) << "beat " << k;
        if (i > 0) {
            EXPECT_LE(std::abs(framesApart(second[i].sample, second[i - 1].sample)),
                      kServerSlackFrames)
                << i;
        }
    }
    EXPECT_LT(worst, 0.04) << "clicks after the return off the swing's grid";
    std::printf(
        "device lost %d time(s); longest beat frame %.2f ms; clicks %zu before and %zu "
        "after; the first %.2f s after the server answered again, at most %.1f ms off the grid\n",
        device->devicesLost(), longestFrame, first.size(), second.size(),
        second.front().seconds - serverBack, worst * 1000);
}
