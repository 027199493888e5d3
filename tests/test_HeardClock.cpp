// The heard clock on synthetic timing reports, against the frame really heard: steady play on
// reports as PulseAudio gives them (exact) and as PipeWire's PulseAudio server gives them
// (whole graph cycles), a stall, a restart slower or quicker than the sink's latency, and a
// new stream after the server went away.

#include "sound/HeardClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace metro {
namespace {

constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kMs = 1'000'000;            // nanoseconds
constexpr std::int64_t kStart = 5'000'000'000'000; // steady time the stream starts playing
constexpr std::int64_t kMargin = kRate * HeardClock::kReachMarginNanoseconds / 1'000'000'000;

// A server playing a stream whose mixer frame 0 is heard at kStart. Its reports come every 15
// to 35 ms at random; `cycle` > 0 makes it count what it plays in whole graph cycles, as
// PipeWire's PulseAudio server does (a cycle counts as played when the graph takes it);
// `block` > 0 makes its sink take the stream in blocks of that many frames, as PulseAudio's
// null sink does, and report its latency to match.
struct Server {
    std::int64_t cycle = 0;
    std::int64_t block = 0;
    std::int64_t readAhead = 720;     // the sink's latency: frames taken before they are heard
    std::int64_t lateBy = 0;          // frames the stream is heard later than it was written for
    std::int64_t indexOffset = 3'000; // the stream's own frames before mixer frame 0
    std::mt19937 dice{7};
    std::int64_t now = kStart;

    std::int64_t truth(std::int64_t at) const { return (at - kStart) * kRate / 1'000'000'000; }
    // What the server says at `at` of the mixer frame it hears, and what it has taken.
    HeardClock::Report report(std::int64_t at) const {
        std::int64_t heard = truth(at) - lateBy;
        if (cycle > 0)
            heard = (heard / cycle + 1) * cycle; // the cycle under way counts as played
        if (block > 0) {
            const std::int64_t taken = ((heard + readAhead) / block + 1) * block;
            return {heard, taken - heard, taken + indexOffset, true};
        }
        return {heard, readAhead, heard + readAhead + indexOffset, true};
    }
    std::int64_t worst = 0; // the clock's farthest from the truth, read every millisecond

    // Reports for `nanoseconds`, each handed to the clock; the moves it asked for.
    std::int64_t play(HeardClock& clock, std::int64_t nanoseconds) {
        std::int64_t moved = 0;
        for (const std::int64_t end = now + nanoseconds; now < end;) {
            const std::int64_t next =
                now + std::uniform_int_distribution<std::int64_t>(15 * kMs, 35 * kMs)(dice);
            for (; now < next; now += kMs) {
                const std::int64_t heard =
                    HeardClock::heardAt(clock.line(), now, truth(now) + kRate, kRate);
                worst = std::max(worst, std::abs(heard - (truth(now) - lateBy)));
            }
            now = next;
            const std::int64_t move = clock.report(report(now), now);
            moved += move;
            lateBy -= move; // the writer moves the mixer's clock: the frames heard move too
        }
        return moved;
    }
    // The clock's worst distance from the truth over `nanoseconds` of play that moves nothing.
    std::int64_t worstError(HeardClock& clock, std::int64_t nanoseconds) {
        worst = 0;
        EXPECT_EQ(play(clock, nanoseconds), 0) << "steady play moves nothing";
        return worst;
    }
};

// A clock fed by a server from the test's start.
struct Served : ::testing::Test {
    HeardClock clock{kRate};
    Server server;
};

struct SteadyCase {
    const char* name;
    std::int64_t cycle;
    std::int64_t block;
    std::int64_t worst; // frames the clock may be off the truth
    std::int64_t held;  // frames the server may hold beyond the sink's latency
    friend void PrintTo(const SteadyCase& steady, std::ostream* out) { *out << steady.name; }
};

struct SteadyPlay : Served, ::testing::WithParamInterface<SteadyCase> {};

// Exact reports give the truth to the frame; whole-cycle reports, up to 5.3 ms ahead each,
// give it within a quarter of a millisecond, and a change can reach the frame the server has
// taken at worst (the cycle and the sink's latency) and no more than a millisecond beyond.
TEST_P(SteadyPlay, TheClockFollowsWhatIsHeardAndKnowsWhatTheServerHolds) {
    const SteadyCase& steady = GetParam();
    server.cycle = steady.cycle;
    server.block = steady.block;
    server.play(clock, 2000 * kMs);
    EXPECT_LE(server.worstError(clock, 3000 * kMs), steady.worst);
    // With its margin, a change reaches past all the server has taken, but not much further.
    EXPECT_GE(clock.committedFrames(), server.readAhead + steady.held);
    EXPECT_LE(clock.committedFrames() - kMargin, server.readAhead + steady.held + kRate / 1000);
}

INSTANTIATE_TEST_SUITE_P(Servers, SteadyPlay,
                         ::testing::Values(SteadyCase{"PulseAudio", 0, 0, 3, 0},
                                           SteadyCase{"PulseAudioSinkBlocks480", 0, 480, 3, 480},
                                           SteadyCase{"PipeWireCycles256", 256, 0, 24, 256},
                                           SteadyCase{"PipeWireCycles512", 512, 0, 24, 512}),
                         [](const auto& info) { return std::string(info.param.name); });

// The line runs on in real time from its last report, but never past the frames written and
// never back before the report; a stream that waits to start stands still.
TEST_F(Served, TheClockStopsAtWhatWasWrittenAndStandsWhileTheStreamWaits) {
    clock.report({1000, 720, 5000, true}, kStart);
    EXPECT_EQ(HeardClock::heardAt(clock.line(), kStart + 10 * kMs, 100'000, kRate), 1480);
    EXPECT_EQ(HeardClock::heardAt(clock.line(), kStart + 10 * kMs, 1200, kRate), 1200);
    EXPECT_EQ(HeardClock::heardAt(clock.line(), kStart + 10 * kMs, 900, kRate), 1000);
    EXPECT_EQ(HeardClock::heardAt(clock.line(), kStart - 10 * kMs, 100'000, kRate), 1000);
    clock.report({2000, 720, 6000, false}, kStart + 50 * kMs);
    EXPECT_EQ(HeardClock::heardAt(clock.line(), kStart + 90 * kMs, 100'000, kRate), 2000);
    clock.freeze(kStart + 95 * kMs, 100'000);
    EXPECT_EQ(HeardClock::heardAt(clock.line(), kStart + 200 * kMs, 100'000, kRate), 2000);
}

// A stall: the stream runs dry, and the first write after it moves the mixer's clock on by the
// gap reckoned from the line before it, so the frames written then are heard on time: after
// what the server still holds (it stopped the stream short of empty, as PipeWire's server
// does) and the sink's latency. The reports from inside the gap move the line nowhere.
// Restarting took just that: nothing more to move, and the line keeps the truth.
TEST_F(Served, AStallMovesTheMixersClockOnByItsGap) {
    server.play(clock, 1000 * kMs);
    const std::int64_t written = server.truth(server.now) + 2880; // 60 ms queued
    constexpr std::int64_t kHeld = 1648;                          // still queued when it stopped
    clock.ranDry();
    clock.report({written + 9999, 720, 0, true}, server.now + 50 * kMs); // sent before the gap
    clock.report({written - kHeld - 720, 720, 0, false}, server.now + 100 * kMs);
    const std::int64_t resumed = server.now + 300 * kMs;
    const std::int64_t gap = clock.catchUp(written, resumed);
    EXPECT_NEAR(gap, server.truth(resumed) + kHeld + server.readAhead - written, 2);
    EXPECT_EQ(clock.catchUp(written + gap, resumed), 0) << "once per stall";
    // A report from before the catch-up, handed over after it, counts the frames with the
    // mixer's clock as it was: it is let go.
    const HeardClock::Report early{server.truth(resumed) + 960, 720, 0, true};
    EXPECT_EQ(clock.report(early, resumed - 2 * kMs, resumed + 1 * kMs), 0);
    server.now = resumed;
    EXPECT_EQ(server.play(clock, 1200 * kMs), 0);
    EXPECT_LE(server.worstError(clock, 500 * kMs), 1);
    EXPECT_EQ(clock.restartDelay(), 0);
}

struct RestartCase {
    const char* name;
    std::int64_t extra; // frames the restart took beyond the sink's latency
    friend void PrintTo(const RestartCase& restart, std::ostream* out) { *out << restart.name; }
};

struct Restart : Served, ::testing::WithParamInterface<RestartCase> {};

// A restart slower than the sink's latency is heard late by the difference, a quicker one
// early: the first reports after it tell, the writer moves the mixer's clock by it (on, or
// back with silence), the line stays on the truth, and the next stall allows for it from the
// start. A server that went away and came back: the line stands still while there is none
// and through the new stream's first reports (its start), then follows the new stream, whose
// stalls allow for the sink's latency alone.
TEST_P(Restart, TheReportsAfterAStallCorrectTheClockEitherWayUntilANewStream) {
    const std::int64_t extra = GetParam().extra;
    server.play(clock, 1000 * kMs);
    // A stall of 250 ms, after which 4000 frames short of the mixer frame heard then have been
    // written: how far beyond them the mixer's clock is moved on.
    const auto stall = [&] {
        clock.ranDry();
        server.now += 250 * kMs;
        const std::int64_t written = server.truth(server.now) - server.lateBy - 4000;
        return clock.catchUp(written, server.now) - 4000;
    };
    ASSERT_NEAR(stall(), server.readAhead, 2);
    server.lateBy = extra;
    EXPECT_NEAR(server.play(clock, 1200 * kMs), extra, 2);
    EXPECT_NEAR(clock.restartDelay(), extra, 2);
    EXPECT_LE(server.worstError(clock, 500 * kMs), 1);
    EXPECT_NEAR(stall(), server.readAhead + extra, 4);

    const auto heardNow = [&] {
        return HeardClock::heardAt(clock.line(), server.now, server.truth(server.now), kRate);
    };
    clock.freeze(server.now, server.truth(server.now) + kRate); // the server goes away
    const std::int64_t stood = heardNow();
    server.now += 2000 * kMs;
    EXPECT_EQ(heardNow(), stood);
    clock.newStream();
    EXPECT_EQ(clock.restartDelay(), 0);
    server.lateBy = 96'000; // the new stream plays the mixer's frames two seconds later
    clock.report({0, 720, 0, false}, server.now);
    server.play(clock, 100 * kMs);
    EXPECT_EQ(heardNow(), stood);
    server.play(clock, 1200 * kMs);
    EXPECT_LE(server.worstError(clock, 500 * kMs), 1);
    EXPECT_NEAR(stall(), server.readAhead, 2);
}

INSTANTIATE_TEST_SUITE_P(Stalls, Restart,
                         ::testing::Values(RestartCase{"TenMsSlower", 480},
                                           RestartCase{"FiveMsQuicker", -240}),
                         [](const auto& info) { return std::string(info.param.name); });

// Odd orders: a catch-up with no stall, a stall before any report, a stall ended by a cork.
TEST_F(Served, CatchUpsWithoutAPlayingStallMoveNothing) {
    EXPECT_EQ(clock.catchUp(0, kStart), 0) << "no stall";
    clock.ranDry();
    EXPECT_EQ(clock.catchUp(0, kStart + 500 * kMs), 0) << "no line before the stall";
    server.play(clock, 500 * kMs);
    clock.ranDry();
    clock.ranDry();
    clock.freeze(server.now, server.truth(server.now));
    EXPECT_EQ(clock.catchUp(0, server.now + 500 * kMs), 0) << "corked since";
}

} // namespace
} // namespace metro
