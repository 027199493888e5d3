// Beat frames paced to the screen: the period for a refresh rate, where the next frame falls,
// and frames that come while running and stop when stopped, also from inside a frame.

#include "ui/qt/FramePacer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

using namespace metro;
using namespace std::chrono;
using Clock = FramePacer::Clock;

TEST(FramePacer, ThePeriodIsTheScreensWithinSixtyAndTwoHundredFiftyHertzWhereItSaysNone) {
    for (const auto& [hz, period] : {std::pair{60.0, 16'666'667},
                                     {144.0, 6'944'444},
                                     {59.94, 16'683'350},
                                     {0.0, 16'666'667},
                                     {1.0, 16'666'667},
                                     {-5.0, 16'666'667},
                                     {250.0, 4'000'000},
                                     {1000.0, 4'000'000}})
        EXPECT_EQ(FramePacer::periodFor(hz).count(), period) << hz;
}

// The frame after one due at 0 ms, for a timer that fires at `now`: due one period on, or one
// period from now where that has passed; the wait is to the nearest millisecond.
TEST(FramePacer, TheNextFrameKeepsTheGridAndMakesNoBurstAfterAHoldUp) {
    const Clock::time_point t0{};
    const nanoseconds period{16'666'667};
    // What, when the timer fires, when the frame is due and the wait until then.
    using Case = std::tuple<const char*, microseconds, nanoseconds, milliseconds>;
    const Case cases[] = {
        {"on time", 0us, period, 17ms},
        {"a little late: the grid holds", 5'000us, period, 12ms},
        {"rounded down below half a millisecond", 5'200us, period, 11ms},
        {"just before the next", 16'000us, period, 1ms},
        {"held up past it: one period from now", 20'000us, 20ms + period, 17ms},
        {"held up for seconds", 3'000'000us, 3s + period, 17ms},
    };
    for (const auto& [what, now, due, wait] : cases) {
        const FramePacer::Next next = FramePacer::next(t0, period, t0 + now);
        EXPECT_EQ(std::tuple(next.due - t0, next.wait), std::tuple(due, wait)) << what;
    }
}

// Frames come while running and none once stopped: before the first, from inside one, or
// from outside; and the pacer starts again.
TEST(FramePacer, FramesComeWhileRunningAndNoneOnceStopped) {
    int frames = 0;
    bool stopInFrame = true;
    FramePacer pacer([&] {
        ++frames;
        if (stopInFrame)
            pacer.stop();
    });
    pacer.start(60);
    pacer.stop();
    QTest::qWait(40);
    EXPECT_EQ(frames, 0) << "stopped before its first frame";
    pacer.start(250);
    EXPECT_EQ(pacer.period(), 4ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 1; }, 5000));
    QTest::qWait(40);
    EXPECT_EQ(frames, 1) << "a frame that stops the pacer is the last";
    stopInFrame = false;
    pacer.start(250);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 5; }, 5000)) << frames;
    pacer.stop();
    const int atStop = frames;
    QTest::qWait(40);
    EXPECT_EQ(frames, atStop);
}
