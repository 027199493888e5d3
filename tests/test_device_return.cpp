// The sound server goes away under a running metronome and comes back, as when a user's
// PulseAudio or PipeWire restarts: the sound class reopens the default output by itself, and
// the clicks resume on the beat grid the swing kept, with the accents in place. A private
// server plays into a null sink whose monitor is recorded; skipped only where the server is
// not installed. Every wait is on a condition with a generous deadline, so a busy machine
// only makes it slower.

#include "support/ServedMetronome.h"

#include <gtest/gtest.h>

using namespace metro;
using test::steadySeconds;

using DeviceReturn = test::OnEachServer;

TEST_P(DeviceReturn, ClicksResumeOnTheGridAfterTheSoundServerRestarts) {
    constexpr double kBeat = 0.5; // seconds at tempo 120, three beats a measure
    test::ServedMetronome m(folder, 120, 3);
    ASSERT_NE(m.device, nullptr) << "no output on the private server";
    const auto heard = [&] { return m.s.SoundDevice->HeardFrame(); }; // frames of 1/48 ms

    test::MonitorRecorder before(GetParam());
    m.press(vk::Enter);
    ASSERT_TRUE(m.runFramesUntil([&, to = heard() + 153600] { return heard() >= to; }));
    server.stop();
    before.finish();
    const double lost = steadySeconds();
    ASSERT_TRUE(m.runFramesUntil([&] { return steadySeconds() > lost + 1.5; }));
    ASSERT_TRUE(server.start());
    test::MonitorRecorder after(GetParam());
    ASSERT_TRUE(m.runFramesUntil([&, to = heard() + 192000] { return heard() >= to; }))
        << "the clock does not run again";
    m.press(vk::Enter);
    after.finish();
    EXPECT_GE(m.device->devicesLost(), 1);

    // Before and after, the clicks a whole number of beats apart (to 1 ms), the accents on each
    // measure's first beat; after, on the grid the swing went on with, as far as the two
    // recordings' dates tell, within a cycle of PipeWire's server (5.3 ms): the restarted
    // stream's first second of reports, and the new recording's dates, each place the
    // beginning of a cycle (PulseAudio: 0.1 ms).
    const auto first = before.onsets(0.1f), second = after.onsets(0.1f);
    ASSERT_GE(first.size(), 5u) << "clicks before the server went";
    ASSERT_GE(second.size(), 4u) << "clicks after it came back";
    const double start =
        before.secondsOf(first.back()) - static_cast<double>(first.size() - 1) * kBeat;
    for (const test::MonitorRecorder* recording : {&before, &after}) {
        const auto onsets = recording->onsets(0.1f);
        const auto samples = recording->samples();
        for (std::size_t i = 0; i < onsets.size(); ++i) {
            const double beats = (recording->secondsOf(onsets[i]) - start) / kBeat;
            const long k = std::lround(beats);
            EXPECT_LT(std::abs(beats - static_cast<double>(k)) * kBeat, 0.006) << "beat " << k;
            EXPECT_EQ(samples[onsets[i]] > 0.375f, k % 3 == 0) << "beat " << k;
            const std::size_t apart = (onsets[i] - onsets[std::max<std::size_t>(i, 1) - 1]) % 24000;
            EXPECT_LE(std::min(apart, 24000 - apart), 48u) << "beat " << k;
        }
    }
}

METRO_ON_EACH_SERVER(DeviceReturn);
