#pragma once
// The desktop's sound server (PulseAudio, or PipeWire's PulseAudio server) through libpulse:
// one asynchronous playback stream, float32 stereo at 48 kHz, on libpulse's threaded main
// loop, rendering through a Mixer from the stream's write callback.
//
// Clock: the mixer counts the frames written to the stream. The server's timing reports say
// which of them it hears (what it has taken from the stream, less its sink's latency); the
// HeardClock lays a line at the stream's rate over the recent reports, so neither the buffer
// size, nor the sink's latency, nor a server that reports in whole graph cycles moves the
// clock off what the listener hears.
//
// Taking back: the stream keeps about 60 ms queued, which the server has not played yet.
// takeBack() goes back in the mixer to a frame not yet heard and writes the stream again from
// there, with a negative seek that replaces what the server holds beyond it. How far ahead
// of the heard frame that can be is what the server has been seen to take ahead of it (its
// sink's latency, a graph cycle) and a small margin for the write's way there.
//
// Asleep, the stream is corked and flushed: the server drops what was queued, nothing is
// written while corked, so neither this program nor the server does any work, and the sink
// may suspend. Waking uncorks it and, as soon as the server has answered, fills the empty
// stream from the mixer's write head: the first click sounds at once, whatever the buffer
// size. The mixer's clock carries on through every cork and flush.
//
// A server that goes away leaves the clock standing still; the output connects again, with
// a growing pause between tries, and carries on with the same mixer, sounds and clock.
//
// Threads
// - Window thread: setAwake(), holdRendering()/releaseRendering(), takeBack() and
//   setStreamName() (they take libpulse's main loop lock, which the loop holds only while it
//   dispatches), heardFrame(), changeableFrame() and the other readers (lock-free).
// - libpulse's loop thread: every callback; the write callback renders the mixer, and so
//   does the write of what was taken back.

#include "sound/AudioOutput.h"
#include "sound/FrameTimeStamp.h"
#include "sound/HeardClock.h"
#include "sound/Mixer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;
struct pa_defer_event;

namespace metro {

class PulseAudioOutput final : public AudioOutput {
public:
    // The stream's buffer: how far ahead the mixer renders (target) and the size of the
    // server's requests. Clicks are placed on their frames ahead of time, and what is queued
    // can be taken back, so the buffer costs no timing; it only has to ride out a busy
    // scheduler.
    struct Buffering {
        std::chrono::milliseconds target{60};
        std::chrono::milliseconds request{15};
    };

    // nullptr when no sound server answers within a short time (none runs, or it hangs).
    static std::shared_ptr<PulseAudioOutput> openDefault();
    static std::shared_ptr<PulseAudioOutput> openDefault(Buffering buffering);
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    bool isOpen() const override { return true; }
    DeviceFormat format() const override { return mixer_.format(); }
    std::int32_t deviceCount() const override { return sinks_.load(); }
    Mixer& mixer() override { return mixer_; }
    // The mixer frame heard now, never negative, never going back.
    std::int64_t heardFrame() const override;
    std::int64_t changeableFrame() override;
    void takeBack(std::int64_t frame, const RenderingHold& hold) override;
    // Uncorks (true) or corks and flushes (false) the stream; never waits for the server.
    void setAwake(bool awake) override;
    // The stream's media.name, at once if it is connected, else when it is made.
    void setStreamName(const std::string& name) override;
    void holdRendering() override;
    void releaseRendering() override;
    // Any thread: how often the stream ran short (the server had nothing left to play).
    std::int64_t underruns() const override { return underruns_.load(); }

    // Any thread: frames the clock moved on past stalls, so that the clicks stayed on their
    // grid (less the frames of silence it was held back by when a restart proved quicker).
    std::int64_t framesSkipped() const { return framesSkipped_.load(); }
    // Any thread: how often the server asked for data (the write callback ran), and the
    // frames written again over what the server held (takeBack()).
    std::int64_t writeRequests() const { return writeRequests_.load(); }
    std::int64_t framesTakenBack() const { return framesTakenBack_.load(); }

private:
    explicit PulseAudioOutput(Buffering buffering);
    // Loop thread (or the opening thread with the loop locked).
    void connect();
    void disconnect();
    void createStream();
    void applyWish();
    void lost();
    void fill(std::size_t bytes);
    // Renders `frames` frames and writes them, the first after a seek of `seekFrames`.
    void write(std::int64_t frames, std::int64_t seekFrames);
    void writeSilence(std::int64_t frames);
    void moveClock(std::int64_t frames);
    void requestTiming();
    void stamp();
    void publish();
    void freeze();
    // The first frame a change can still reach, from the clock as it stands (loop locked).
    std::int64_t changeableNow(std::int64_t now) const;
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onLatency(pa_stream* stream, void* self);
    static void onUnderflow(pa_stream* stream, void* self);
    static void onUncorked(pa_stream* stream, int success, void* self);

    Mixer mixer_;
    const Buffering buffering_;
    pa_threaded_mainloop* loop_ = nullptr;
    // Loop thread, or any thread holding the loop lock.
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_time_event* retryEvent_ = nullptr;
    pa_defer_event* rewriteEvent_ = nullptr; // writes what takeBack() took back
    RetryBackOff retry_;
    bool corked_ = true;
    bool quit_ = false;
    bool sinksKnown_ = false;
    std::string streamName_ = "Metronome";
    std::int32_t sinksCounted_ = 0;
    HeardClock clock_;
    std::int64_t rewrite_ = 0;             // frames taken back, to be written again
    pa_time_event* timingEvent_ = nullptr; // asks for the next timing report
    std::minstd_rand timingDice_;          // when

    // Written on the loop thread, or under the loop lock; read by any thread.
    FrameTimeStamp heard_;                   // clock_.line()
    std::atomic<std::int64_t> committed_{0}; // clock_.committedFrames()
    mutable std::atomic<std::int64_t> lastHeard_{0};

    std::atomic<std::int64_t> framesSkipped_{0};
    std::atomic<std::int64_t> framesTakenBack_{0};
    std::atomic<std::int32_t> sinks_{0};
    std::atomic<std::int64_t> writeRequests_{0};
    std::atomic<std::int64_t> underruns_{0};
};

} // namespace metro
