// The real metronome (its window's logic, the sound class and the sound server's output)
// heard through a server of the test's own, PulseAudio and PipeWire alike, from the sink's
// monitor: the first click follows Enter at once, a key pressed 20 ms before a click is
// heard reaches that click, each metronome's stream is listed under what it plays, and when
// the server goes away under a running metronome and comes back, as a user's restarts, the
// sound class reopens the default output by itself and the clicks resume on the beat grid the
// swing kept. Skipped only where the server is not installed. The metronome starts up as the
// program does, finds its two clicks in its folder's metro/ and opens the default output, the
// private server's stream; the test runs the beat frames itself, as the window's timer would.
// The test clicks are steps of a known level (accent 0.5, plain 0.25), so each is found in the
// recording to the sample and told apart by its level.

#include "sound/PulseAudioOutput.h"
#include "support/PrivatePulse.h"
#include "support/RecordingWindow.h"
#include "support/TestSounds.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace metro;
using test::steadySeconds;

namespace {

class ServedMetronome {
public:
    explicit ServedMetronome(const test::TempFolder& folder, std::int16_t tempo = 120,
                             std::int16_t beats = 4) {
        std::filesystem::create_directories(folder.path() / "metro");
        test::writePcm16(folder.file("metro/1.wav"), test::steadySound(16384, 200));
        test::writePcm16(folder.file("metro/2.wav"), test::steadySound(8192, 200));
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

    test::RecordingWindow window;
    Form1 form{window};
    MetronomeState& s = form.state();
    std::shared_ptr<PulseAudioOutput> device; // null where start-up found no sound server
};

// The clicks heard in `recording` on the grid that starts at sample `first`, `beat` samples
// apart, up to `count` beats: 0 silent, 1 plain, 2 accent, -1 a sound off the grid (by more
// than a millisecond).
std::vector<int> clicksHeard(const test::MonitorRecorder& recording, std::size_t first,
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

} // namespace

using Heard = test::OnEachServer;

// Enter, after start-up and after a stop alike: the first click is heard within 30 ms.
TEST_P(Heard, TheFirstClickFollowsEnterAtOnce) {
    ServedMetronome m(folder);
    ASSERT_NE(m.device, nullptr) << "no output on the private server";
    test::MonitorRecorder recording(GetParam());
    std::vector<double> pressed;
    for (int start = 0; start < 2; ++start) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        pressed.push_back(steadySeconds());
        m.press(vk::Enter);
        m.runFramesTo(steadySeconds() + 0.3); // the first click only
        m.press(vk::Enter);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recording.finish();
    const auto onsets = recording.onsets(0.1f);
    ASSERT_EQ(onsets.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_LT(recording.secondsOf(onsets[i]) - pressed[i], 0.030) << "start " << i;
}

// Mute, unmute or a new beat count, pressed 20 ms before a click is heard: that click, and
// every one after it, follows the new state (the clicks already handed over to the server
// are taken back from its queue). Four beats a measure at 120; the key comes before beat 5.
TEST_P(Heard, AKey20MsBeforeAClickReachesThatClick) {
    struct LateKey {
        const char* name;
        int key;
        bool mutedAfterBeat4;      // Space after beat 4 was heard
        std::vector<int> expected; // beats 0 to 7: 0 silent, 1 plain, 2 accent
    };
    for (const LateKey& change :
         {LateKey{"mute", vk::Space, false, {2, 1, 1, 1, 2, 0, 0, 0}},
          LateKey{"unmute", vk::Space, true, {2, 1, 1, 1, 2, 1, 1, 1}},
          LateKey{"two beats", vk::Digit0 + 2, false, {2, 1, 1, 1, 2, 1, 2, 1}}}) {
        // A machine so busy that the test's thread comes late for the key tries again.
        bool judged = false;
        for (int attempt = 0; attempt < 5 && !judged; ++attempt) {
            ServedMetronome m(folder);
            ASSERT_NE(m.device, nullptr) << "no output on the private server";
            test::MonitorRecorder recording(GetParam());
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            m.press(vk::Enter);
            ASSERT_TRUE(m.runFramesUntil([&] { return !recording.onsets(0.1f).empty(); }, 5));
            const std::size_t first = recording.onsets(0.1f).front();
            // Dated once the next second's readings are in.
            ASSERT_TRUE(
                m.runFramesUntil([&] { return recording.samples().size() > first + 48000; }));
            const double heardAt = recording.secondsOf(first); // beat k at heardAt + k / 2
            if (change.mutedAfterBeat4) {
                m.runFramesTo(heardAt + 2.2);
                m.press(vk::Space);
            }
            m.runFramesTo(heardAt + 2.5 - 0.020);
            const double lead = heardAt + 2.5 - steadySeconds();
            m.press(static_cast<std::int16_t>(change.key));
            m.runFramesTo(heardAt + 4.2);
            m.press(vk::Enter);
            recording.finish();
            judged = lead >= 0.0195;
            if (judged) {
                EXPECT_EQ(clicksHeard(recording, first, 24000, 8), change.expected)
                    << change.name << ", " << lead * 1000 << " ms before beat 5";
            }
        }
        EXPECT_TRUE(judged) << change.name << ": never pressed in time, the machine is too busy";
    }
}

// Two metronomes: the server lists each stream by its tempo and measure, as of its last start.
TEST_P(Heard, EachStreamIsNamedByWhatItPlays) {
    const auto names = [] { // sorted
        std::string text(256, '\0');
        std::FILE* list = ::popen(
            R"(pactl list sink-inputs | sed -n 's/.*media.name = \("[0-9]\)/\1/p' | sort)", "r");
        text.resize(list != nullptr ? std::fread(text.data(), 1, text.size(), list) : 0);
        if (list != nullptr)
            ::pclose(list);
        return text;
    };
    ServedMetronome first(folder, 120, 2);
    ServedMetronome second(folder, 90, 3);
    ASSERT_NE(first.device, nullptr) << "no output on the private server";
    ASSERT_NE(second.device, nullptr) << "no output on the private server";
    first.press(vk::Enter);
    second.press(vk::Enter);
    const std::string started = "\"120 per minute, 2 beats\"\n\"90 per minute, 3 beats\"\n";
    test::waitFor([&] { return names() == started; }, 5);
    EXPECT_EQ(names(), started);

    first.press(vk::Enter);
    first.press(vk::Digit1); // one beat a measure
    first.press(vk::Enter);
    const std::string restarted = "\"120 per minute, 1 beat\"\n\"90 per minute, 3 beats\"\n";
    test::waitFor([&] { return names() == restarted; }, 5);
    EXPECT_EQ(names(), restarted);
}

// The server goes away and comes back: the clicks resume on the swing's grid. Every wait is on a
// condition with a generous deadline, so a busy machine only makes it slower.
TEST_P(Heard, ClicksResumeOnTheGridAfterTheSoundServerRestarts) {
    constexpr double kBeat = 0.5; // seconds at tempo 120, three beats a measure
    ServedMetronome m(folder, 120, 3);
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

    // Before and after, every beat sounds on one grid of whole beats (to 1 ms), the accents on
    // each measure's first beat; after, on the grid the swing went on with, as far as the two
    // recordings' dates tell, within a cycle of PipeWire's server (5.3 ms): the restarted
    // stream's first second of reports, and the new recording's dates, each place the
    // beginning of a cycle (PulseAudio: 0.1 ms).
    const auto first = before.onsets(0.1f);
    ASSERT_GE(first.size(), 5u) << "clicks before the server went";
    ASSERT_GE(after.onsets(0.1f).size(), 4u) << "clicks after it came back";
    const double start =
        before.secondsOf(first.back()) - static_cast<double>(first.size() - 1) * kBeat;
    for (const test::MonitorRecorder* recording : {&before, &after}) {
        const auto onsets = recording->onsets(0.1f);
        const double beats = (recording->secondsOf(onsets.front()) - start) / kBeat;
        const auto k = static_cast<std::size_t>(std::lround(beats));
        EXPECT_LT(std::abs(beats - static_cast<double>(k)) * kBeat, 0.006) << "beat " << k;
        std::vector<int> measures((onsets.back() - onsets.front() + 12000) / 24000 + 1);
        for (std::size_t i = 0; i < measures.size(); ++i)
            measures[i] = (k + i) % 3 == 0 ? 2 : 1;
        EXPECT_EQ(clicksHeard(*recording, onsets.front(), 24000, measures.size()), measures)
            << "from beat " << k;
    }
}

METRO_ON_EACH_SERVER(Heard);
