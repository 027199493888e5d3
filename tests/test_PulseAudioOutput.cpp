// The sound server's output against a PulseAudio server of the test's own, whose null sink's
// monitor is recorded: a stopped output costs nothing and starts at once, clicks stay on their
// grid through a stall, and a server that goes away or hangs is never waited on. Skipped only
// where PulseAudio is not installed.

#include "sound/PulseAudioOutput.h"
#include "support/PrivatePulse.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace metro;
using namespace std::chrono_literals;
using test::steadySeconds;

namespace {

struct PulseAudioOutputTest : testing::Test {
    void SetUp() override {
        if (std::system("command -v pulseaudio parec >/dev/null") != 0)
            GTEST_SKIP() << "PulseAudio is not installed (pulseaudio, pulseaudio-utils)";
        ASSERT_TRUE(server.start()) << "the private PulseAudio server did not start";
    }

    // Opens an output with a click voice (a step after silence, found in the recording to the
    // frame), once the server takes its data: an idle null sink holds a new stream back.
    void open(PulseAudioOutput::Buffering buffering = {}) {
        output = PulseAudioOutput::openDefault(buffering);
        ASSERT_NE(output, nullptr);
        {
            const RenderingHold hold(*output);
            click = output->mixer().addVoice(std::vector<float>(400, 0.5f), hold);
        }
        ASSERT_TRUE(test::waitFor([&] { return output->writeRequests() >= 5; }, 10))
            << "the stream does not play";
    }

    test::TempFolder folder;
    test::PrivatePulseServer server{folder.path() / "runtime"};
    std::shared_ptr<PulseAudioOutput> output;
    VoiceId click;
};

} // namespace

// The clock says what is heard whatever the stream's buffer: at the moment the recording
// hears a click, the clock reads the click's frame, at the same distance (the recorder's own
// capture delay) on a 20 ms and on a 250 ms buffer.
TEST_F(PulseAudioOutputTest, TheClockFollowsWhatIsHeardOnAnyBuffer) {
    std::vector<double> offsets; // ms, clock minus click at the heard moment
    for (const auto buffering :
         {PulseAudioOutput::Buffering{20ms, 5ms}, PulseAudioOutput::Buffering{250ms, 50ms}}) {
        open(buffering);
        test::MonitorRecorder recording;
        std::this_thread::sleep_for(500ms);
        const std::int64_t frame = output->mixer().writeHeadFrame() + 4800;
        ASSERT_TRUE(output->mixer().play(click, frame, false));
        std::vector<std::pair<double, std::int64_t>> clock; // steady seconds, heard frame
        for (const double end = steadySeconds() + 0.8; steadySeconds() < end;) {
            clock.emplace_back(steadySeconds(), output->heardFrame());
            std::this_thread::sleep_for(2ms);
        }
        recording.finish();
        output.reset();
        const auto onset = recording.onsets(0.25f);
        ASSERT_EQ(onset.size(), 1u);
        const double heardAt = recording.secondsOf(onset[0]);
        const auto after = std::find_if(clock.begin(), clock.end(),
                                        [&](const auto& point) { return point.first >= heardAt; });
        ASSERT_TRUE(after != clock.begin() && after != clock.end());
        offsets.push_back(static_cast<double>(after->second - frame) / 48.0);
    }
    EXPECT_NEAR(offsets[0], offsets[1], 15.0) << "the buffers differ by 230 ms";
}

// Stopped, the stream is corked: no callback runs and the clock stands still. Woken, the
// click handed over for the write head is heard at once, and on the clock's frame.
TEST_F(PulseAudioOutputTest, CorkedCostsNothingAndTheFirstClickFollowsTheWakeAtOnce) {
    open();
    output->setAwake(false);
    std::this_thread::sleep_for(300ms);
    const std::int64_t requests = output->writeRequests();
    const std::int64_t heard = output->heardFrame();
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(output->writeRequests() == requests && output->heardFrame() == heard)
        << "callbacks or a running clock while corked";

    test::MonitorRecorder recording;
    std::this_thread::sleep_for(500ms);
    const double woken = steadySeconds();
    output->setAwake(true);
    const std::int64_t frame = output->mixer().writeHeadFrame();
    ASSERT_TRUE(output->mixer().play(click, frame, false));
    std::this_thread::sleep_for(300ms);
    recording.finish();
    const auto onset = recording.onsets(0.25f);
    ASSERT_EQ(onset.size(), 1u);
    EXPECT_LT(recording.secondsOf(onset[0]) - woken, 0.030); // an upper bound
}

// The stream's thread held up past its whole buffer: the stream runs dry, and the clicks come
// back on the grid they were on, not late by the gap; the one due in the gap is dropped. The
// first click after the gap may come late by the stream's restart (up to one buffer, learnt
// for the next stall); every later one is on the grid to within the server's timing (1 ms).
TEST_F(PulseAudioOutputTest, AfterAStallTheClicksComeBackOnTheirGrid) {
    constexpr std::int64_t kBeat = 9600; // 200 ms
    open();
    test::MonitorRecorder recording;
    std::this_thread::sleep_for(300ms);
    const std::int64_t first = output->mixer().writeHeadFrame() + 4800;
    for (std::int64_t k = 0; k < 10; ++k)
        ASSERT_TRUE(output->mixer().play(click, first + k * kBeat, false));
    std::this_thread::sleep_for(500ms);
    {
        const RenderingHold stall(*output); // the loop thread waits for the window's lock
        std::this_thread::sleep_for(250ms);
    }
    std::this_thread::sleep_for(1700ms);
    recording.finish();
    const auto heard = recording.onsets(0.25f);
    ASSERT_EQ(heard.size(), 9u) << "the click due in the stall is dropped, no other";
    EXPECT_GT(output->framesSkipped(), 0);
    EXPECT_EQ(heard[1] - heard[0], static_cast<std::size_t>(kBeat));
    for (std::size_t k = 3; k < heard.size(); ++k) { // frames off the grid
        const auto off = static_cast<std::int64_t>(heard[k] - heard[0]) % kBeat;
        EXPECT_LE(std::min(off, kBeat - off), 48) << "click " << k;
    }
}

// The server goes: the clock stands still and the output waits for it without the caller
// waiting (the sound server's return is the device-return test's). A hung server does not
// hold up closing.
TEST_F(PulseAudioOutputTest, ServerThatGoesStopsTheClockAndAHungOneNeverHoldsUpClosing) {
    open();
    ::kill(server.pid, SIGSTOP);
    std::this_thread::sleep_for(100ms);
    const double closing = steadySeconds();
    output.reset();
    EXPECT_LT(steadySeconds() - closing, 0.1) << "closing waited for a hung server";
    ::kill(server.pid, SIGCONT);
    open();
    server.stop();
    ASSERT_TRUE(test::waitFor([&] { return !output->deviceOpen(); }, 5));
    std::this_thread::sleep_for(300ms); // what was written runs out
    const std::int64_t stood = output->heardFrame();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(output->heardFrame(), stood) << "the clock runs without a server";
}
