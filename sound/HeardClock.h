#pragma once
// The mixer frame the listener hears now, from a sound server's timing reports. A plain
// class: it is handed each report and the steady time it describes, and never reads a clock.
//
// A report says which mixer frame the server hears at a moment, how far ahead of it the
// server has already taken frames from the stream (its sink's latency), and the server's
// read position in the stream. Reports are not exact, and they err in a known way.
// PipeWire's PulseAudio server counts a graph cycle (256 to 1024 frames) as played the
// moment the graph takes it, so a report is up to a cycle ahead of the frame really heard:
// a whole cycle when sent just after the cycle began, less the later it is sent. A report
// whose figures were held up before it was sent is further behind. So the clock is a line at
// the stream's rate laid over the recent reports from above, touching the highest, and one
// cycle below that; the cycle is what the read position moves by from report to report, in
// whole multiples. Rather than the last report followed, whole-cycle reports so give a
// clock as smooth as the stream, within a fraction of a millisecond of the truth.
// PulseAudio's reports are close to exact (its sink's latency takes up what its read
// position moves by, so what it says is heard moves by any number of frames, not in whole
// cycles): there the line runs along their top.
//
// The server changes its cycle when other streams come and go (the shortest latency asked
// for sets it). A move of the read position off the cycle tells at once that it shortened
// (the reports so far go); a run of moves that share a longer cycle, more than chance gives,
// that it lengthened (the reports before the run go).
//
// Stalls. When the stream runs dry (its writer was held up past the whole buffer), the server
// stops playing it; what is written next would be heard late by the gap, the beat grid with
// it. catchUp() tells the writer to move the mixer's clock on by the gap instead, reckoned
// from the line as it ran before the gap, so the frames written then are heard when real
// time says; the line runs on as kept. The first reports after that say how long the
// restart really took beyond the sink's latency: the mixer's clock is moved by the
// difference, either way (on, or held back by silence), and the next stall allows for it
// from the start. A new stream starts afresh.
//
// Not thread-safe: the output keeps it on its loop thread (or under that thread's lock) and
// publishes line() through a FrameTimeStamp for its readers.

#include "sound/FrameTimeStamp.h"

#include <array>
#include <cstdint>

namespace metro {

class HeardClock {
public:
    using Line = FrameTimeStamp::Value;

    struct Report {
        std::int64_t heard = 0;     // the mixer frame the server hears at the report's moment
        std::int64_t readAhead = 0; // frames the server has taken past it (the sink's latency)
        std::int64_t readIndex = 0; // the server's read position, frames of the stream
        bool playing = false;       // the stream plays: heard moves with time
    };

    // Reports taken into the line: the last kFitReports within kFitNanoseconds (the output
    // asks for about 40 a second). Two seconds of them find a cycle's beginning to within
    // 0.4 ms, while a sink's clock 100 ppm off the steady clock moves the line by 0.2 ms.
    static constexpr std::size_t kFitReports = 96;
    static constexpr std::int64_t kFitNanoseconds = 2'000'000'000;
    // How long a stream that starts playing is taken in a burst: reports from this first
    // part of it are let go once later ones are in.
    static constexpr std::int64_t kStartNanoseconds = 150'000'000;
    // The reports of the last kRecentNanoseconds, when there are at least kRecentReports,
    // tell whether the server has changed its ways since the older ones.
    static constexpr std::int64_t kRecentNanoseconds = 500'000'000;
    static constexpr std::size_t kRecentReports = 12;
    // Reports after a stall compared with the line kept through it, where the server's
    // reports are close to exact (PulseAudio's).
    static constexpr int kSettlingReports = 8;
    // Reports a line is laid over before it is trusted where the server counts in whole
    // cycles (after a stall), and after a new stream's start before a clock tied to its first
    // move follows it: about a second of them, so that the highest is one sent just after a
    // cycle began. (On PipeWire, eight put a stall's correction up to 1.5 ms off the truth, a
    // restarted stream up to 20 ms.)
    static constexpr int kTrustedReports = 40;
    // Moves of the server's read position that tell its cycle.
    static constexpr int kCycleMoves = 4;
    // What a change handed over now needs beyond the server's read-ahead to reach the server
    // before it takes the frames (a wake-up of the writer and a write): 3 ms.
    static constexpr std::int64_t kReachMarginNanoseconds = 3'000'000;

    explicit HeardClock(std::int32_t rate);

    // The frame heard at steady time `at` on `line`: run on in real time while advancing, but
    // never past `written` (a server that stopped taking frames stops the clock).
    static std::int64_t heardAt(const Line& line, std::int64_t at, std::int64_t written,
                                std::int32_t rate);

    // A new stream: nothing learnt of the last one holds. Where whoever reads the clock ties
    // itself to its first move (`tied`: it was lost meanwhile, as when the server went away
    // under a running metronome), the line stands still until the stream's first
    // kStartNanoseconds have passed and kTrustedReports more reports have told where it is.
    void newStream(bool tied = true);
    // The stream plays again after a flush: earlier reports describe frames never heard.
    void resume();
    // The stream stops (corked or lost): the line stands where it is at `at`, and the next
    // start follows the reports at once.
    void freeze(std::int64_t at, std::int64_t written);
    // A timing report describing steady time `at`, handed over at `now`. Returns frames by
    // which the writer must move the mixer's clock at once (on if > 0, held back by that much
    // silence if < 0); 0 but when settling after a stall. A report that describes a moment
    // before the mixer's clock was last moved (it was on its way meanwhile) reckons the
    // frames it counts with the wrong move, and is let go.
    std::int64_t report(const Report& report, std::int64_t at, std::int64_t now);
    std::int64_t report(const Report& report, std::int64_t at) {
        return this->report(report, at, at);
    }
    // The server said the stream ran out of frames.
    void ranDry();
    // The first write after the stream ran dry, with `written` frames written so far: the
    // frames the mixer's clock must move on before writing (0 when nothing was lost).
    std::int64_t catchUp(std::int64_t written, std::int64_t at);

    // The line as it stands now (valid after the first report).
    const Line& line() const { return line_; }
    // Frames past the heard frame that a change handed over now can no longer reach: the
    // most the server has been seen to take ahead of what is heard, and the margin.
    std::int64_t committedFrames() const { return committed_; }
    // Frames a restarting stream takes beyond the sink's latency, as learnt from stalls.
    std::int64_t restartDelay() const { return restartDelay_; }

private:
    struct Entry {
        std::int64_t at = 0;
        std::int64_t heard = 0;
        std::int64_t readAhead = 0;
        std::int64_t readIndex = 0;
    };

    std::int64_t framesIn(std::int64_t nanoseconds) const;
    // `starting`: the next reports are those of a stream that starts playing.
    void forgetReports(bool starting);
    // Lays the line over the reports kept, from above, at the latest report's time.
    void fit();

    const std::int32_t rate_;
    std::array<Entry, kFitReports> entries_{};
    std::size_t entryCount_ = 0;
    std::size_t nextEntry_ = 0;
    Line line_;
    std::int64_t committed_ = 0;
    std::int64_t sinkLatency_ = 0;  // the last report's read-ahead
    std::int64_t restartDelay_ = 0; // see restartDelay()
    bool dry_ = false;              // ran dry; no write since
    Line beforeStall_;              // the line when it did
    std::int64_t dryTaken_ = 0;     // what the server had taken of a stream it stopped
    bool dryTakenKnown_ = false;
    std::int64_t held_ = 0;       // what it still held then, as the last catch-up took it
    bool starting_ = true;        // the reports kept began with the stream's start
    bool awaitingStart_ = false;  // a new stream: the line waits for its start to pass
    bool settling_ = false;       // a stall was caught up; the reports since are compared
    std::int64_t notBefore_;      // reports describing earlier moments are let go
    std::int64_t cycle_ = 0;      // the server's cycle as last seen; 0: none, or not known
    std::int64_t seenCycle_ = 0;  // what the read position moved by since the reports began,
    int seenMoves_ = 0;           // in how many moves,
    bool seenWhole_ = true;       // and whether the frame heard moved in whole cycles of it
    bool draining_ = false;       // the cycle shortened; the server plays the old one out
    std::int64_t drainIndex_ = 0; // at this read position
};

} // namespace metro
