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
using test::SoundServer;
using test::steadySeconds;

namespace {

class OnTheServer : public testing::Test {
protected:
    explicit OnTheServer(SoundServer server) : server(folder.path() / "runtime", server) {}
    void SetUp() override {
        if (!test::PrivatePulseServer::installed(server.server()))
            GTEST_SKIP() << "not installed: "
                         << test::PrivatePulseServer::packages(server.server());
        ASSERT_TRUE(server.start()) << "the private server did not start";
    }

    test::TempFolder folder;
    test::PrivatePulseServer server;
};

class Heard : public OnTheServer, public testing::WithParamInterface<SoundServer> {
protected:
    Heard() : OnTheServer(GetParam()) {}
};

// What the server lists its playback streams as, in order.
std::vector<std::string> streamNames() {
    std::vector<std::string> names;
    std::FILE* listing = ::popen("pactl list sink-inputs 2>/dev/null", "r");
    char line[512];
    while (listing != nullptr && std::fgets(line, sizeof line, listing) != nullptr) {
        const std::string text = line;
        const auto at = text.find("media.name = \"");
        if (at != std::string::npos)
            names.push_back(text.substr(at + 14, text.rfind('"') - at - 14));
    }
    if (listing != nullptr)
        ::pclose(listing);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

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
struct LateKey {
    const char* name;
    int key;
    bool mutedAfterBeat4;      // Space after beat 4 was heard
    std::vector<int> expected; // beats 0 to 7: 0 silent, 1 plain, 2 accent
};

class ChangeBeforeAClick : public OnTheServer,
                           public testing::WithParamInterface<std::tuple<SoundServer, LateKey>> {
protected:
    ChangeBeforeAClick() : OnTheServer(std::get<0>(GetParam())) {}
};

TEST_P(ChangeBeforeAClick, ReachesThatClick) {
    const LateKey& change = std::get<1>(GetParam());
    // A machine so busy that the test's thread comes late for the key tries again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        ServedMetronome m(folder);
        ASSERT_NE(m.device, nullptr) << "no output on the private server";
        test::MonitorRecorder recording(server.server());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m.press(vk::Enter);
        const auto onsets = [&] { return recording.onsets(0.1f); };
        ASSERT_TRUE(m.runFramesUntil([&] { return !onsets().empty(); }, 5));
        const std::size_t first = onsets().front();
        // Dated once the next second's readings are in.
        ASSERT_TRUE(m.runFramesUntil([&] { return recording.samples().size() > first + 48000; }));
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
        if (lead < 0.0195)
            continue;
        EXPECT_EQ(test::clicksHeard(recording, first, 24000, 8), change.expected)
            << change.name << ", " << lead * 1000 << " ms before beat 5";
        return;
    }
    FAIL() << "the test never pressed the key in time: the machine is too busy";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ChangeBeforeAClick,
    testing::Combine(
        testing::Values(SoundServer::PulseAudio, SoundServer::PipeWire),
        testing::Values(LateKey{"mute", vk::Space, false, {2, 1, 1, 1, 2, 0, 0, 0}},
                        LateKey{"unmute", vk::Space, true, {2, 1, 1, 1, 2, 1, 1, 1}},
                        LateKey{"two beats", vk::Digit0 + 2, false, {2, 1, 1, 1, 2, 1, 2, 1}})),
    [](const auto& info) {
        std::string name =
            std::string(test::nameOf(std::get<0>(info.param))) + "_" + std::get<1>(info.param).name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

// Two metronomes: the server lists each stream by its tempo and measure, as of its last start.
TEST_P(Heard, EachStreamIsNamedByWhatItPlays) {
    ServedMetronome first(folder, 120, 2), second(folder, 90, 3);
    ASSERT_NE(first.device, nullptr) << "no output on the private server";
    ASSERT_NE(second.device, nullptr) << "no output on the private server";
    first.press(vk::Enter);
    second.press(vk::Enter);
    const std::vector<std::string> started{"120 per minute, 2 beats", "90 per minute, 3 beats"};
    test::waitFor([&] { return streamNames() == started; }, 5);
    EXPECT_EQ(streamNames(), started);

    first.press(vk::Enter);
    first.press(vk::Digit1); // one beat a measure
    first.press(vk::Enter);
    const std::vector<std::string> restarted{"120 per minute, 1 beat", "90 per minute, 3 beats"};
    test::waitFor([&] { return streamNames() == restarted; }, 5);
    EXPECT_EQ(streamNames(), restarted);
}

INSTANTIATE_TEST_SUITE_P(Servers, Heard,
                         testing::Values(SoundServer::PulseAudio, SoundServer::PipeWire),
                         [](const auto& info) { return test::nameOf(info.param); });
