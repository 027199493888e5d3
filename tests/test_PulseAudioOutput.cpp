// The sound server's output against a PulseAudio server of the test's own, whose null sink's
// monitor is recorded: clicks land on their frames, the clock says what is heard, a stopped
// output costs nothing and starts at once, and a server that goes away is neither waited on
// nor given up. Skipped only where PulseAudio is not installed.

#include "sound/DefaultAudioOutput.h"
#include "sound/Mixer.h"
#include "sound/PulseAudioOutput.h"
#include "sound/SdlAudioOutput.h"
#include "support/PrivatePulse.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace metro;
using namespace std::chrono_literals;

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool installed(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        if (::access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The heard clock sampled over time, to be read at any moment in between.
struct ClockTrace {
    std::vector<std::pair<double, std::int64_t>> points; // steady seconds, heard frame

    void sample(const PulseAudioOutput& output, double seconds) {
        const double end = steadySeconds() + seconds;
        while (steadySeconds() < end) {
            points.emplace_back(steadySeconds(), output.heardFrame());
            std::this_thread::sleep_for(2ms);
        }
    }
    double at(double when) const {
        for (std::size_t i = 1; i < points.size(); ++i)
            if (points[i].first >= when) {
                const auto& [t0, f0] = points[i - 1];
                const auto& [t1, f1] = points[i];
                return static_cast<double>(f0) +
                       static_cast<double>(f1 - f0) * (when - t0) / (t1 - t0);
            }
        return -1;
    }
};

class PulseAudioOutputTest : public testing::Test {
protected:
    void SetUp() override {
        if (!installed("pulseaudio") || !installed("parec"))
            GTEST_SKIP() << "PulseAudio is not installed (pulseaudio, pulseaudio-utils)";
        ASSERT_TRUE(server.start()) << "the private PulseAudio server did not start";
    }

    // Opens an output with a click voice, once the server takes its data (an idle null sink
    // holds a new stream back for up to two seconds).
    void open(PulseAudioOutput::Buffering buffering = {}) {
        output = PulseAudioOutput::openDefault(buffering);
        ASSERT_NE(output, nullptr);
        {
            const RenderingHold hold(*output);
            // A step after silence, easy to find in the recording to the frame.
            click = output->mixer().addVoice(std::vector<float>(400, 0.5f));
        }
        const double deadline = steadySeconds() + 10;
        while (output->writeRequests() < 5 && steadySeconds() < deadline)
            std::this_thread::sleep_for(10ms);
        ASSERT_GE(output->writeRequests(), 5) << "the stream does not play";
    }

    // Frames of the recording where a click starts.
    static std::vector<std::size_t> onsets(const test::MonitorRecorder& recording) {
        std::vector<std::size_t> found;
        const auto& samples = recording.samples();
        for (std::size_t i = 1; i < samples.size(); ++i)
            if (std::abs(samples[i - 1]) < 0.05f && std::abs(samples[i]) > 0.25f)
                found.push_back(i);
        return found;
    }

    test::TempFolder folder;
    test::PrivatePulseServer server{folder.path() / "runtime"};
    std::shared_ptr<PulseAudioOutput> output;
    VoiceId click;
};

} // namespace

// The recording is dated only as well as the recorder's capture allows, the same for every
// buffer size: a clock that says what is heard keeps the same distance from it whether the
// stream's buffer is small or large.
TEST_F(PulseAudioOutputTest, ClicksLandOnTheirFramesAndTheClockFollowsWhatIsHeardOnAnyBuffer) {
    const std::vector<std::int64_t> gaps{4801, 9613, 3331};
    std::vector<double> offsets; // ms, median clock-minus-recording per buffer size
    for (const auto buffering :
         {PulseAudioOutput::Buffering{20ms, 5ms}, PulseAudioOutput::Buffering{250ms, 50ms}}) {
        open(buffering);
        test::MonitorRecorder recording;
        std::this_thread::sleep_for(500ms);
        std::vector<std::int64_t> frames{output->mixer().writeHeadFrame() + 4800};
        for (const std::int64_t gap : gaps)
            frames.push_back(frames.back() + gap);
        for (const std::int64_t frame : frames)
            ASSERT_TRUE(output->mixer().play(click, frame, false));
        ClockTrace clock;
        clock.sample(*output, 0.9);
        recording.finish();
        output.reset();

        const auto heard = onsets(recording);
        ASSERT_EQ(heard.size(), frames.size());
        std::vector<double> off;
        for (std::size_t k = 0; k < heard.size(); ++k) {
            if (k > 0) {
                EXPECT_EQ(static_cast<std::int64_t>(heard[k] - heard[k - 1]), gaps[k - 1]);
            }
            off.push_back(
                (clock.at(recording.secondsOf(heard[k])) - static_cast<double>(frames[k])) / 48.0);
        }
        std::sort(off.begin(), off.end());
        offsets.push_back(off[off.size() / 2]);
    }
    std::printf("clock minus recording: %.2f ms on the small buffer, %.2f on the large\n",
                offsets[0], offsets[1]);
    EXPECT_NEAR(offsets[0], offsets[1], 15.0); // the buffers differ by 230 ms
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
    EXPECT_EQ(output->writeRequests(), requests) << "callbacks while corked";
    EXPECT_EQ(output->heardFrame(), heard) << "the clock runs while corked";

    test::MonitorRecorder recording;
    std::this_thread::sleep_for(500ms);
    const double woken = steadySeconds();
    output->setAwake(true);
    const std::int64_t frame = output->mixer().writeHeadFrame();
    ASSERT_TRUE(output->mixer().play(click, frame, false));
    std::this_thread::sleep_for(300ms);
    recording.finish();
    const auto onset = onsets(recording);
    ASSERT_EQ(onset.size(), 1u);
    const double after = recording.secondsOf(onset[0]) - woken; // an upper bound
    std::printf("first click recorded %.1f ms after the wake\n", after * 1000);
    EXPECT_LT(after, 0.030);
    EXPECT_GE(output->heardFrame(), frame);
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
    const auto heard = onsets(recording);
    ASSERT_EQ(heard.size(), 9u) << "the click due in the stall is dropped, no other";
    EXPECT_GT(output->framesSkipped(), 0);
    const auto offGrid = [&](std::size_t k) {
        const auto beats = static_cast<double>(heard[k] - heard[0]) / kBeat;
        return (beats - std::round(beats)) * kBeat;
    };
    EXPECT_EQ(offGrid(1), 0.0);
    for (std::size_t k = 3; k < heard.size(); ++k)
        EXPECT_LE(std::abs(offGrid(k)), 48.0) << "click " << k << " off the grid";
}

// The server goes: the clock stands still and the output waits for it without the caller
// waiting; it comes back: the same output plays on. A hung server does not hold up closing.
TEST_F(PulseAudioOutputTest, ServerThatGoesIsWaitedForAndNeverHoldsUpClosing) {
    open();
    server.stop();
    const double deadline = steadySeconds() + 2;
    while (output->deviceOpen() && steadySeconds() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(output->deviceOpen());
    std::this_thread::sleep_for(300ms); // what was written runs out
    const std::int64_t stood = output->heardFrame();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(output->heardFrame(), stood) << "the clock runs without a server";

    ASSERT_TRUE(server.start());
    const double back = steadySeconds() + 10;
    while (output->heardFrame() < stood + 4800 && steadySeconds() < back)
        std::this_thread::sleep_for(10ms);
    EXPECT_GE(output->heardFrame(), stood + 4800) << "the clock does not run again";
    EXPECT_EQ(output->devicesLost(), 1);

    server.signal(SIGSTOP);
    std::this_thread::sleep_for(100ms);
    const double closing = steadySeconds();
    output.reset();
    const double took = steadySeconds() - closing;
    server.signal(SIGCONT);
    EXPECT_LT(took, 0.1) << "closing waited for a hung server";
}

// Where no server answers, opening gives up at once and the default is SDL's output.
TEST(DefaultAudioOutput, FallsBackToSdlAtOnceWithoutASoundServer) {
    ::setenv("PULSE_SERVER", "unix:/nonexistent/native", 1);
    const double before = steadySeconds();
    EXPECT_EQ(PulseAudioOutput::openDefault(), nullptr);
    EXPECT_LT(steadySeconds() - before, 0.1);
    EXPECT_NE(std::dynamic_pointer_cast<SdlAudioOutput>(openDefaultAudioOutput()), nullptr);
}
