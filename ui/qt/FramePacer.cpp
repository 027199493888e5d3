#include "ui/qt/FramePacer.h"

#include <algorithm>
#include <cmath>

namespace metro {

namespace {
constexpr qreal kUnknownRateHz = 60, kFastestRateHz = 250;
} // namespace

FramePacer::FramePacer(std::function<void()> frame) : frame_(std::move(frame)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (!running_)
            return;
        frame_();
        if (running_)
            schedule();
    });
}

std::chrono::nanoseconds FramePacer::periodFor(qreal refreshHz) {
    const qreal hz = refreshHz > 1 ? std::min(refreshHz, kFastestRateHz) : kUnknownRateHz;
    return std::chrono::nanoseconds(std::llround(1e9 / hz));
}

FramePacer::Next FramePacer::next(Clock::time_point due, std::chrono::nanoseconds period,
                                  Clock::time_point now) {
    using namespace std::chrono;
    due += period;
    if (due < now)
        due = now + period;
    return {due, duration_cast<milliseconds>(due - now + microseconds(500))};
}

void FramePacer::start(qreal refreshHz) {
    period_ = periodFor(refreshHz);
    running_ = true;
    due_ = Clock::now();
    schedule();
}

void FramePacer::stop() {
    running_ = false;
    timer_.stop();
}

void FramePacer::schedule() {
    const Next n = next(due_, period_, Clock::now());
    due_ = n.due;
    timer_.start(n.wait);
}

} // namespace metro
