#pragma once
// Beat frames paced to the screen's refresh rate. A single-shot precise timer is set for each
// frame to the moment one period after the last frame was due, so the rate is the screen's
// however whole milliseconds fall, and a frame held up is not made up with a burst. No timer
// runs while stopped.

#include <QTimer>

#include <chrono>
#include <functional>

namespace metro {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // `frame` runs once for each frame due; it may stop the pacer.
    explicit FramePacer(std::function<void()> frame);

    // The first frame comes one period from now. `refreshHz`: the screen's rate, or 0 where
    // it does not say.
    void start(qreal refreshHz);
    void stop();
    bool running() const { return running_; }
    std::chrono::nanoseconds period() const { return period_; }

    // The period for a screen's rate: 60 Hz where it does not say (1 Hz or less), 250 Hz at
    // most.
    static std::chrono::nanoseconds periodFor(qreal refreshHz);
    // The frame after one due at `due`: one period later, or one period from `now` where that
    // has passed already; and the timer's wait until then, to the nearest millisecond.
    struct Next {
        Clock::time_point due;
        std::chrono::milliseconds wait;
    };
    static Next next(Clock::time_point due, std::chrono::nanoseconds period, Clock::time_point now);

private:
    void schedule();

    std::function<void()> frame_;
    QTimer timer_; // single shot, set for each frame
    bool running_ = false;
    Clock::time_point due_;
    std::chrono::nanoseconds period_ = periodFor(0);
};

} // namespace metro
