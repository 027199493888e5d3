// The real metronome (its window's logic, the sound class and the sound server's output)
// heard through a server of the test's own, PulseAudio and PipeWire alike, from the sink's
// monitor: the first click follows Enter at once, a key pressed 20 ms before a click is
// heard reaches that click, and each metronome's stream is listed under what it plays.
// Skipped only where the server is not installed.

#include "support/ServedMetronome.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace metro;
using test::ServedMetronome;
using test::steadySeconds;

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
            const auto onsets = [&] { return recording.onsets(0.1f); };
            ASSERT_TRUE(m.runFramesUntil([&] { return !onsets().empty(); }, 5));
            const std::size_t first = onsets().front();
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
                EXPECT_EQ(test::clicksHeard(recording, first, 24000, 8), change.expected)
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

METRO_ON_EACH_SERVER(Heard);
