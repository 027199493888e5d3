// The sound server goes away under a running metronome and comes back, as when a user's
// PulseAudio restarts: the sound class reopens the default output by itself, and the clicks
// resume on the beat grid the swing kept, with the accents in place. A private server plays
// into a null sink whose monitor is recorded; skipped where no PulseAudio server can start. Every
// wait is on a condition with a generous deadline, so a busy machine only makes it slower.

#include "sound/PulseAudioOutput.h"
#include "support/PrivatePulse.h"
#include "support/RecordingWindow.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

using namespace metro;
using namespace std::chrono_literals;
using test::steadySeconds;

TEST(DeviceReturn, ClicksResumeOnTheGridAfterTheSoundServerRestarts) {
    constexpr double kBeat = 0.5; // seconds at tempo 120, three beats a measure
    test::TempFolder folder;
    test::PrivatePulseServer server(folder.path() / "runtime");
    if (!server.start())
        GTEST_SKIP() << "no private PulseAudio server (pulseaudio, pulseaudio-utils)";

    test::RecordingWindow window;
    Form1 form{window};
    form.Form_Load(); // no clicks in the window's folder: starts silent
    auto sound = std::make_unique<Cls_DX7_JP>();
    sound->Initialize(1, 2);
    const auto device = std::dynamic_pointer_cast<PulseAudioOutput>(sound->rDirectSound());
    ASSERT_NE(device, nullptr) << "no output on the private server";
    MetronomeState& s = form.state();
    for (auto [slot, level] : {std::pair{&s.AccentSlot, 16384}, {&s.BeatSlot, 8192}}) {
        const std::string file = folder.file(std::to_string(level) + ".wav");
        ASSERT_TRUE(
            test::writePcm16(file, test::steadySound(static_cast<std::int16_t>(level), 200)) &&
            sound->Wave_LoadFile(file, *slot));
    }
    s.SoundDevice = std::move(sound);
    s.SoundReady = true;
    s.BeatsPerMeasure = 3;

    // Beat frames as the window's timer runs them, until `done` or 30 s.
    const auto runFramesUntil = [&](auto done) {
        for (const double end = steadySeconds() + 30; !done() && steadySeconds() < end;) {
            form.metronome.Beat_Frame();
            std::this_thread::sleep_for(16ms);
        }
        return done();
    };
    const auto heard = [&] { return s.SoundDevice->HeardFrame(); }; // frames of 1/48 ms

    // A fresh null sink holds its first streams back for a while: start once the clock runs.
    test::MonitorRecorder before;
    ASSERT_TRUE(test::waitFor([&, to = heard() + 24000] { return heard() >= to; }, 20))
        << "the device's clock does not run";
    form.I_Play_Click(0);
    ASSERT_TRUE(runFramesUntil([&, to = heard() + 153600] { return heard() >= to; }));
    server.stop();
    before.finish();
    const double lost = steadySeconds();
    ASSERT_TRUE(runFramesUntil([&] { return steadySeconds() > lost + 1.5; }));
    ASSERT_TRUE(server.start());
    test::MonitorRecorder after;
    ASSERT_TRUE(runFramesUntil([&, to = heard() + 144000] { return heard() >= to; }))
        << "the clock does not run again";
    form.I_Play_Click(1);
    after.finish();
    EXPECT_GE(device->devicesLost(), 1);

    // Before and after, each click a beat from the last within the few ms of silence a server
    // may insert when a stream runs short, the accents on each measure's first beat; after, on
    // the grid the swing went on with, as far as the two recordings' capture times tell.
    const auto first = before.onsets(0.1f), second = after.onsets(0.1f);
    ASSERT_GE(first.size(), 5u) << "clicks before the server went";
    ASSERT_GE(second.size(), 4u) << "clicks after it came back";
    const double start =
        before.secondsOf(first.back()) - static_cast<double>(first.size() - 1) * kBeat;
    for (const auto* recording : {&before, &after}) {
        const auto& onsets = recording == &before ? first : second;
        for (std::size_t i = 0; i < onsets.size(); ++i) {
            const double beats = (recording->secondsOf(onsets[i]) - start) / kBeat;
            const long k = std::lround(beats);
            EXPECT_LT(std::abs(beats - static_cast<double>(k)) * kBeat, 0.04) << "beat " << k;
            EXPECT_EQ(recording->samples()[onsets[i]] > 0.375f, k % 3 == 0) << "beat " << k;
            if (i > 0) {
                EXPECT_NEAR(static_cast<double>(onsets[i] - onsets[i - 1]), 24000, 960) << k;
            }
        }
    }
}
