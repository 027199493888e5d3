#include "sound/HeardClock.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <numeric>

namespace metro {

namespace {

// A gap or a difference smaller than this (1 ms) is within what the server's timing reports
// can tell apart from none.
std::int64_t smallestStall(std::int32_t rate) {
    return rate / 1000;
}

// Time past a minute counts as a minute, which keeps the product below 2^63 (the beat clock
// has counted the device as lost long before).
std::int64_t framesOver(std::int64_t nanoseconds, std::int32_t rate) {
    return std::clamp<std::int64_t>(nanoseconds, 0, 60'000'000'000) * rate / 1'000'000'000;
}

} // namespace

HeardClock::HeardClock(std::int32_t rate) : rate_(rate) {}

std::int64_t HeardClock::heardAt(const Line& line, std::int64_t at, std::int64_t written,
                                 std::int32_t rate) {
    if (!line.valid || !line.advancing)
        return line.frame;
    const std::int64_t advanced = line.frame + framesOver(at - line.nanoseconds, rate);
    return std::max(line.frame, std::min(advanced, written));
}

std::int64_t HeardClock::framesIn(std::int64_t nanoseconds) const {
    return framesOver(nanoseconds, rate_);
}

void HeardClock::forgetReports() {
    entryCount_ = 0;
    nextEntry_ = 0;
}

void HeardClock::newStream() {
    forgetReports();
    committed_ = 0;
    sinkLatency_ = 0;
    restartDelay_ = 0;
    dry_ = false;
    settling_ = false;
}

void HeardClock::resume() {
    forgetReports();
    dry_ = false;
    settling_ = false;
}

void HeardClock::freeze(std::int64_t at, std::int64_t written) {
    line_ = {heardAt(line_, at, written, rate_), at, line_.valid, false};
    forgetReports();
    dry_ = false;
    settling_ = false;
}

void HeardClock::fit() {
    // The entries in the order they came, the latest last.
    const std::size_t first = (nextEntry_ + entries_.size() - entryCount_) % entries_.size();
    const auto entry = [&](std::size_t i) -> const Entry& {
        return entries_[(first + i) % entries_.size()];
    };
    const std::int64_t latest = entry(entryCount_ - 1).at;
    // Each report run on to the latest one's moment at the stream's rate: the highest is
    // the report sent soonest after its cycle, a cycle ahead of the truth. The cycle is what
    // the server's read position moves by, in whole multiples, from report to report.
    // A few moves tell the cycle from chance (four moves of any size share a divisor of 8
    // once in 4096).
    std::int64_t top = std::numeric_limits<std::int64_t>::min();
    std::int64_t cycle = 0;
    int moves = 0;
    for (std::size_t i = 0; i < entryCount_; ++i) {
        if (latest - entry(i).at > kFitNanoseconds)
            continue;
        top = std::max(top, entry(i).heard + framesIn(latest - entry(i).at));
        if (i == 0 || latest - entry(i - 1).at > kFitNanoseconds)
            continue;
        if (const std::int64_t move = std::abs(entry(i).readIndex - entry(i - 1).readIndex)) {
            cycle = std::gcd(cycle, move);
            ++moves;
        }
    }
    const std::int64_t frame = top - (moves >= 4 ? cycle : 0);
    // What the server had taken at each report, against the line at that moment.
    std::int64_t readAhead = 0;
    for (std::size_t i = 0; i < entryCount_; ++i) {
        if (latest - entry(i).at > kFitNanoseconds)
            continue;
        const std::int64_t lineThen = frame - framesIn(latest - entry(i).at);
        readAhead = std::max(readAhead, entry(i).heard + entry(i).readAhead - lineThen);
    }
    line_ = {frame, latest, true, true};
    committed_ = readAhead + framesIn(kReachMarginNanoseconds);
}

std::int64_t HeardClock::report(const Report& report, std::int64_t at) {
    if (dry_)
        return 0; // from inside the gap: the line runs on as it did before it
    sinkLatency_ = report.readAhead;
    if (!report.playing) {
        // Waiting to start, or run short: the server's frame stands still.
        forgetReports();
        if (!settling_)
            line_ = {report.heard, at, true, false};
        return 0;
    }
    entries_[nextEntry_] = {at, report.heard, report.readAhead, report.readIndex};
    nextEntry_ = (nextEntry_ + 1) % entries_.size();
    entryCount_ = std::min(entryCount_ + 1, entries_.size());
    if (!settling_) {
        fit();
        return 0;
    }
    if (entryCount_ < static_cast<std::size_t>(kSettlingReports))
        return 0;
    // Where the restarted stream is really heard, against the line kept through the stall.
    settling_ = false;
    const Line kept = line_;
    fit();
    const std::int64_t lag =
        heardAt(kept, line_.nanoseconds, std::numeric_limits<std::int64_t>::max(), rate_) -
        line_.frame;
    if (std::abs(lag) < smallestStall(rate_) || std::abs(lag) > rate_ / 5)
        return 0; // on time, or a difference no restart explains: the reports are followed
    // The writer moves the mixer's clock by `lag`, and every report from now on with it.
    for (std::size_t i = 0; i < entryCount_; ++i)
        entries_[i].heard += lag;
    line_.frame += lag;
    restartDelay_ = std::max(restartDelay_ + lag, -sinkLatency_);
    return lag;
}

void HeardClock::ranDry() {
    if (dry_)
        return;
    dry_ = true;
    beforeStall_ = line_;
}

std::int64_t HeardClock::catchUp(std::int64_t written, std::int64_t at) {
    if (!dry_)
        return 0;
    dry_ = false;
    if (!beforeStall_.valid || !beforeStall_.advancing)
        return 0; // no playing clock to keep to (just started)
    const std::int64_t heardNow =
        heardAt(beforeStall_, at, std::numeric_limits<std::int64_t>::max(), rate_);
    // The stream is empty: a frame written now is heard after the sink's latency, and after
    // whatever more a restarting stream has been seen to take.
    const std::int64_t gap = heardNow + sinkLatency_ + restartDelay_ - written;
    if (gap < smallestStall(rate_))
        return 0; // within the timing's own precision: nothing was lost
    line_ = {heardNow, at, true, true};
    forgetReports();
    settling_ = true;
    return gap;
}

} // namespace metro
