// The sound server's output against a server of the test's own, PulseAudio and PipeWire
// alike, whose null sink's monitor is recorded: the clock says what is heard, a stopped output
// costs nothing, clicks stay on their grid through a stall, and a server that goes away or
// hangs is never waited on. Skipped only where the server is not installed.

#include "sound/PulseAudioOutput.h"
#include "support/PrivatePulse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace metro;
using namespace std::chrono_literals;
using test::steadySeconds;

namespace {

struct PulseAudioOutputTest : test::OnEachServer {
    // Opens an output with a click voice (a step after silence, found in the recording to the
    // frame), once the server takes its data.
    void open(PulseAudioOutput::Buffering buffering = {}) {
        output = PulseAudioOutput::openDefault(buffering);
        ASSERT_NE(output, nullptr);
        click = output->mixer().addVoice(std::vector<float>(400, 0.5f), RenderingHold(*output));
        ASSERT_TRUE(test::waitFor([&] { return output->writeRequests() >= 5; }, 10))
            << "the stream does not play";
    }
    // Hands over `count` clicks `apart` frames apart from 100 ms ahead of the write head, once
    // the stream has played for a while; the first one's frame.
    std::int64_t playClicks(std::int64_t count, std::int64_t apart) {
        std::this_thread::sleep_for(300ms);
        const std::int64_t first = output->mixer().writeHeadFrame() + 4800;
        for (std::int64_t k = 0; k < count; ++k)
            EXPECT_TRUE(output->mixer().play(click, first + k * apart, false)) << "click " << k;
        return first;
    }

    std::shared_ptr<PulseAudioOutput> output;
    VoiceId click;
};

} // namespace

// The pendulum is drawn for the clock's frame. At the moment each click is heard, the clock
// reads the click's frame: within 1 ms (median) and steadily (0.5 ms standard deviation per
// click), on the program's own buffer, on a user's PULSE_LATENCY_MSEC=60 (which also makes the
// server wait for a full buffer before it plays), on a large buffer and on a sink with 150 ms
// latency of its own (PulseAudio's; on PipeWire's, bench/avsync.sh measures the rod); and the
// clicks sound on their grid. The recorder joins after the output, so the server changes its
// cycle under it, as when another program starts playing.
TEST_P(PulseAudioOutputTest, TheClockSaysWhatIsHeardOnAnyBuffer) {
    constexpr std::int64_t kApart = 12000; // 250 ms
    constexpr int kClicks = 12;
    struct Case {
        PulseAudioOutput::Buffering buffering;
        const char* variable; // for libpulse
        const char* value;
    };
    for (const Case& c : {Case{{}, "PULSE_NONE", ""}, Case{{}, "PULSE_LATENCY_MSEC", "60"},
                          Case{{250ms, 50ms}, "PULSE_NONE", ""}, Case{{}, "PULSE_SINK", "slow"}}) {
        if (c.value == std::string("slow") && GetParam() == test::SoundServer::PipeWire)
            continue;
        SCOPED_TRACE(testing::Message() << c.buffering.target.count() << " ms buffer, "
                                        << c.variable << "=" << c.value);
        ::setenv(c.variable, c.value, 1);
        open(c.buffering);
        ::unsetenv(c.variable);
        test::MonitorRecorder recording(GetParam());
        const std::int64_t first = playClicks(kClicks, kApart);
        std::vector<std::pair<double, std::int64_t>> clock; // steady seconds, heard frame
        for (const double end = steadySeconds() + 3.4; steadySeconds() < end;) {
            clock.emplace_back(steadySeconds(), output->heardFrame());
            std::this_thread::sleep_for(1ms);
        }
        recording.finish();
        output.reset();
        const auto onsets = recording.onsets(0.25f);
        ASSERT_EQ(onsets.size(), static_cast<std::size_t>(kClicks));
        // PipeWire's server may skip a cycle (256 frames) of a stream as it shortens its cycle
        // under it; the clock follows (below).
        const std::int64_t skip = GetParam() == test::SoundServer::PipeWire ? 256 : 0;
        std::vector<double> offsets; // ms, the clock minus the click at the heard moment
        for (std::size_t k = 0; k < onsets.size(); ++k) {
            const auto apart = static_cast<std::int64_t>(onsets[k] - onsets[k > 0 ? k - 1 : 0]);
            EXPECT_LE(std::abs(apart - (k > 0 ? kApart : 0)), skip) << "click " << k << " apart";
            // The first reading after the click was heard, taken back to that moment.
            const double heardAt = recording.secondsOf(onsets[k]);
            const auto after = std::lower_bound(clock.begin(), clock.end(), std::pair{heardAt, 0L});
            ASSERT_NE(after, clock.end()) << "click " << k << " after the clock's readings";
            offsets.push_back(static_cast<double>(after->second - first) / 48.0 -
                              static_cast<double>(k * kApart) / 48.0 -
                              (after->first - heardAt) * 1000);
        }
        const std::string seen = testing::PrintToString(offsets);
        const double mean = std::accumulate(offsets.begin(), offsets.end(), 0.0) / kClicks;
        double squares = 0;
        for (const double offset : offsets)
            squares += (offset - mean) * (offset - mean) / kClicks;
        std::nth_element(offsets.begin(), offsets.begin() + kClicks / 2, offsets.end());
        EXPECT_LE(std::abs(offsets[kClicks / 2]), 1.0) << "median, ms of " << seen;
        EXPECT_LE(std::sqrt(squares), 0.5) << "deviation, ms of " << seen;
    }
}

// Stopped, the stream is corked: no callback runs and the clock stands still. (That the first
// click after a wake is heard at once is the real metronome's test: its Enter after a stop.)
TEST_P(PulseAudioOutputTest, CorkedCostsNothing) {
    open();
    output->setAwake(false);
    std::this_thread::sleep_for(300ms);
    const std::int64_t requests = output->writeRequests();
    const std::int64_t heard = output->heardFrame();
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(output->writeRequests(), requests) << "callbacks while corked";
    EXPECT_EQ(output->heardFrame(), heard) << "a running clock while corked";
}

// The stream's thread held up well past its whole buffer: the stream runs dry, and the clicks
// come back on the grid they were on, not late by the gap; those due in the gap (one or two)
// are dropped. The first click after the gap may come late by the stream's restart (up to one
// buffer, learnt for the next stall); every other is on the grid to within the server's timing
// (1 ms).
TEST_P(PulseAudioOutputTest, AfterAStallTheClicksComeBackOnTheirGrid) {
    constexpr std::int64_t kBeat = 9600; // 200 ms
    open();
    test::MonitorRecorder recording(GetParam());
    playClicks(10, kBeat);
    std::this_thread::sleep_for(500ms);
    {
        const RenderingHold stall(*output); // the loop thread waits for the window's lock
        std::this_thread::sleep_for(450ms);
    }
    std::this_thread::sleep_for(1700ms);
    recording.finish();
    const auto heard = recording.onsets(0.25f);
    EXPECT_GT(output->framesSkipped(), 0);
    EXPECT_LT(heard.size(), 10u) << "the clicks due in the gap are dropped";
    EXPECT_GE(heard.size(), 8u) << "no other";
    for (std::size_t k = 1; k < heard.size(); ++k) { // frames off the grid
        if (heard[k] - heard[k - 1] > static_cast<std::size_t>(kBeat) * 3 / 2)
            continue; // the first after the gap
        const auto off = static_cast<std::int64_t>(heard[k] - heard[0]) % kBeat;
        EXPECT_LE(std::min(off, kBeat - off), 48) << "click " << k;
    }
}

// The server goes: the clock stands still and the output waits for it without the caller
// waiting (the server's return is the device-return test's). A hung server does not hold up
// closing.
TEST_P(PulseAudioOutputTest, ServerThatGoesStopsTheClockAndAHungOneNeverHoldsUpClosing) {
    open();
    ::kill(server.pid(), SIGSTOP);
    std::this_thread::sleep_for(100ms);
    const double closing = steadySeconds();
    output.reset();
    EXPECT_LT(steadySeconds() - closing, 0.1) << "closing waited for a hung server";
    ::kill(server.pid(), SIGCONT);
    open();
    server.stop();
    ASSERT_TRUE(test::waitFor([&] { return !output->deviceOpen(); }, 5));
    std::this_thread::sleep_for(300ms); // what was written runs out
    const std::int64_t stood = output->heardFrame();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(output->heardFrame(), stood) << "the clock runs without a server";
}

METRO_ON_EACH_SERVER(PulseAudioOutputTest);
