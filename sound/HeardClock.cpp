#include "sound/HeardClock.h"

#include <algorithm>
#include <bit>
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

HeardClock::HeardClock(std::int32_t rate)
    : rate_(rate), notBefore_(std::numeric_limits<std::int64_t>::min()) {}

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

void HeardClock::forgetReports(bool starting) {
    entryCount_ = 0;
    nextEntry_ = 0;
    starting_ = starting;
    draining_ = false;
    seenCycle_ = cycle_; // moves that share a multiple of it by chance tell nothing new
    seenMoves_ = 0;
    seenWhole_ = true;
}

void HeardClock::newStream(bool tied) {
    cycle_ = 0;
    forgetReports(true);
    awaitingStart_ = tied;
    committed_ = 0;
    sinkLatency_ = 0;
    restartDelay_ = 0;
    dry_ = false;
    settling_ = false;
    notBefore_ = std::numeric_limits<std::int64_t>::min();
}

void HeardClock::resume() {
    forgetReports(true);
    dry_ = false;
    settling_ = false;
}

void HeardClock::freeze(std::int64_t at, std::int64_t written) {
    line_ = {heardAt(line_, at, written, rate_), at, line_.valid, false};
    forgetReports(true);
    awaitingStart_ = false;
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
    // A stream that starts playing is taken in a burst at first (PipeWire's server's first
    // reports run up to two cycles ahead of the later ones): once later reports are in, the
    // first ones are let go.
    const std::int64_t from = starting_ && latest - entry(0).at > kStartNanoseconds
                                  ? entry(0).at + kStartNanoseconds
                                  : std::numeric_limits<std::int64_t>::min();
    const auto counts = [&](std::size_t i) {
        return entry(i).at >= from && latest - entry(i).at <= kFitNanoseconds;
    };
    // What the server's read position moved by from entry i - 1 to entry i (0: not counted).
    const auto move = [&](std::size_t i) {
        return i > 0 && counts(i - 1) && counts(i)
                   ? std::abs(entry(i).readIndex - entry(i - 1).readIndex)
                   : 0;
    };
    // Each report run on to the latest one's moment at the stream's rate; the highest of the
    // recent ones too.
    std::array<std::int64_t, kFitReports> projected{};
    std::size_t count = 0;
    std::int64_t recentTop = std::numeric_limits<std::int64_t>::min();
    std::size_t recent = 0;
    // The cycle is what the server's read position moves by, in whole multiples, from report
    // to report; a few moves tell it from chance (four moves of any size share a divisor of
    // 8 once in 4096).
    std::int64_t cycle = 0;
    int moves = 0;
    for (std::size_t i = 0; i < entryCount_; ++i) {
        if (!counts(i))
            continue;
        projected[count] = entry(i).heard + framesIn(latest - entry(i).at);
        if (latest - entry(i).at <= kRecentNanoseconds) {
            recentTop = std::max(recentTop, projected[count]);
            ++recent;
        }
        ++count;
        if (const std::int64_t moved = move(i)) {
            cycle = std::gcd(cycle, moved);
            ++moves;
        }
    }
    // A cycle seen before (before the server shortened it, or before a cork) is kept in the
    // reckoning: a few moves alone may share a multiple of it by chance.
    cycle = std::gcd(cycle, cycle_);
    // Where the server counts in cycles (PipeWire's), what it says is heard moves with its
    // read position, in whole cycles. Where it does not (PulseAudio, whose sink's latency
    // takes up what its read position moves by), it moves with time, by any number of frames.
    bool whole = moves >= kCycleMoves;
    for (std::size_t i = 1; i < entryCount_ && whole; ++i)
        whole = move(i) == 0 || (entry(i).heard - entry(i - 1).heard) % cycle == 0;
    if (whole) {
        // The server lengthened its cycle: the latest moves share a longer one, what is heard
        // moving in whole cycles of it, more of them than chance gives (k moves share a cycle 2^b
        // times as long by chance once in 2^(k b); once in 2^24 is taken for a change: 24 moves for
        // twice the cycle, 8 for eight times). The reports before them go.
        std::int64_t longer = 0;
        int newMoves = 0;
        for (std::size_t i = entryCount_ - 1; i > 0 && counts(i - 1); --i) {
            if (move(i) == 0)
                continue;
            longer = std::gcd(longer, move(i));
            if (longer <= cycle || (entry(i).heard - entry(i - 1).heard) % longer != 0)
                break;
            ++newMoves;
            if (newMoves * (std::bit_width(static_cast<std::uint64_t>(longer / cycle)) - 1) >= 24) {
                entryCount_ -= i; // the report before the first of them too: it may straddle
                starting_ = false;
                cycle_ = longer;
                fit();
                return;
            }
        }
        cycle_ = cycle;
    } else if (moves >= kCycleMoves) {
        cycle_ = 0; // it does not count in cycles
    }
    // The highest report is the one sent soonest after its cycle began, a cycle ahead of the
    // truth where the server counts in cycles: the line lies one cycle below it. Where it
    // does not, the highest is the truth. Until a few moves tell, a cycle seen before is
    // taken (after a change of cycle, or a cork).
    std::sort(projected.begin(), projected.begin() + static_cast<std::ptrdiff_t>(count));
    const std::int64_t top = projected[count - 1];
    const std::int64_t below = moves >= kCycleMoves ? (whole ? cycle : 0) : cycle_;
    // The server changed its ways (what it keeps in flight, or a cycle in a way the moves do
    // not tell): the recent reports all lie below what older ones said, by more than half a
    // cycle and half a millisecond (12 recent reports at random points of the cycle come that
    // close to the top but for one chance in 4000, 20 of them for one in a million). The
    // older ones go, and the line is laid over the recent ones; gone by chance, they cost
    // the line a fraction of a cycle for a moment.
    if (recent >= kRecentReports && recent < entryCount_ &&
        recentTop + below / 2 + framesIn(500'000) < top) {
        entryCount_ = recent;
        starting_ = false;
        fit();
        return;
    }
    const std::int64_t frame = top - below;
    // What the server had taken at each report, against the line at that moment.
    std::int64_t readAhead = 0;
    for (std::size_t i = 0; i < entryCount_; ++i) {
        if (!counts(i))
            continue;
        const std::int64_t lineThen = frame - framesIn(latest - entry(i).at);
        readAhead = std::max(readAhead, entry(i).heard + entry(i).readAhead - lineThen);
    }
    line_ = {frame, latest, true, true};
    committed_ = readAhead + framesIn(kReachMarginNanoseconds);
}

std::int64_t HeardClock::report(const Report& report, std::int64_t at, std::int64_t now) {
    if (at < notBefore_)
        return 0;
    if (dry_) {
        // From inside the gap: the line runs on as it did before it. A stream the server
        // stopped playing says how much of what was written it still holds.
        if (!report.playing) {
            dryTaken_ = report.heard + report.readAhead;
            dryTakenKnown_ = true;
        }
        return 0;
    }
    sinkLatency_ = report.readAhead;
    if (!report.playing) {
        // Waiting to start, or run short: the server's frame stands still (a restart after
        // a stall is no start: its reports come in no burst).
        forgetReports(!settling_);
        if (!settling_ && !awaitingStart_)
            line_ = {report.heard, at, true, false};
        return 0;
    }
    if (draining_) {
        // Until its read position moves again, the server plays what it took in its old cycle.
        if (report.readIndex == drainIndex_)
            return 0;
        draining_ = false;
    } else if (entryCount_ > 0) {
        const Entry& last = entries_[(nextEntry_ + entries_.size() - 1) % entries_.size()];
        if (const std::int64_t move = std::abs(report.readIndex - last.readIndex)) {
            if (seenMoves_ >= kCycleMoves && seenWhole_ && move % seenCycle_ != 0) {
                // The server shortened its cycle: the reports so far ran up to the old cycle
                // ahead of what is heard, and so does this one, which straddles the change.
                cycle_ = std::gcd(seenCycle_, move);
                forgetReports(false);
                draining_ = true;
                drainIndex_ = report.readIndex;
                return 0;
            }
            seenCycle_ = std::gcd(seenCycle_, move);
            ++seenMoves_;
            seenWhole_ = seenWhole_ && (report.heard - last.heard) % seenCycle_ == 0;
        }
    }
    entries_[nextEntry_] = {at, report.heard, report.readAhead, report.readIndex};
    nextEntry_ = (nextEntry_ + 1) % entries_.size();
    entryCount_ = std::min(entryCount_ + 1, entries_.size());
    if (awaitingStart_) {
        // A new stream's first reports are let go before the line follows it at all: the
        // clock stands where the last stream left it until it can be trusted, so that a
        // beat clock that ties itself to the first move ties itself to the truth.
        const std::size_t first = (nextEntry_ + entries_.size() - entryCount_) % entries_.size();
        int after = 0;
        for (std::size_t i = 0; i < entryCount_; ++i)
            after +=
                entries_[(first + i) % entries_.size()].at - entries_[first].at > kStartNanoseconds
                    ? 1
                    : 0;
        if (after < kTrustedReports)
            return 0;
        awaitingStart_ = false;
    }
    if (!settling_) {
        fit();
        return 0;
    }
    if (entryCount_ < static_cast<std::size_t>(cycle_ > 0 ? kTrustedReports : kSettlingReports))
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
    // A restart may prove quicker than the sink's latency and what the server said it held
    // (PulseAudio says a stream ran dry with some of it still queued), never quicker than
    // nothing.
    restartDelay_ = std::max(restartDelay_ + lag, -(sinkLatency_ + held_));
    notBefore_ = now;
    return lag;
}

void HeardClock::ranDry() {
    if (dry_)
        return;
    dry_ = true;
    dryTakenKnown_ = false;
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
    // A frame written now is heard after what the server still holds (PipeWire's server
    // stops a stream short of empty), the sink's latency, and whatever more a restarting
    // stream has been seen to take.
    held_ = dryTakenKnown_ ? std::max<std::int64_t>(written - dryTaken_, 0) : 0;
    const std::int64_t gap = heardNow + held_ + sinkLatency_ + restartDelay_ - written;
    if (gap < smallestStall(rate_))
        return 0; // within the timing's own precision: nothing was lost
    line_ = {heardNow, at, true, true};
    forgetReports(false);
    notBefore_ = at;
    settling_ = true;
    return gap;
}

} // namespace metro
