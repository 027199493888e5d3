#pragma once
// The desktop's sound server (PulseAudio, or PipeWire's PulseAudio server) through libpulse:
// one asynchronous playback stream, float32 stereo at 48 kHz, on libpulse's threaded main
// loop, rendering through a Mixer from the stream's write callback.
//
// Clock: the mixer counts the frames written to the stream. The frame heard now is the
// frames written minus the latency the server reports for the stream (its buffer and the
// sink's own), interpolated between the server's timing reports; neither the buffer size
// nor the sink's latency moves it off what the listener hears.
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
// - Window thread: setAwake(), holdRendering()/releaseRendering() (they take libpulse's
//   main loop lock, which the loop holds only while it dispatches), heardFrame() and the
//   other readers (lock-free); setStreamName() at each start, under the same lock.
// - libpulse's loop thread: every callback; the write callback renders the mixer.

#include "sound/AudioOutput.h"
#include "sound/FrameTimeStamp.h"
#include "sound/Mixer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;

namespace metro {

class PulseAudioOutput final : public AudioOutput {
public:
    // The stream's buffer: how far ahead the mixer renders (target) and the size of the
    // server's requests. Clicks are placed on their frames ahead of time, so the buffer
    // costs no timing; it only has to ride out a busy scheduler.
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
    // Uncorks (true) or corks and flushes (false) the stream; never waits for the server.
    void setAwake(bool awake) override;
    bool awake() const override { return wantAwake_.load(); }
    // The stream's media.name, at once if it is connected, else when it is made.
    void setStreamName(const std::string& name) override;
    void holdRendering() override;
    void releaseRendering() override;

    // Any thread: the stream is connected and ready now.
    bool deviceOpen() const { return streamReady_.load(); }
    // Any thread: frames the clock moved on past stalls, so that the clicks stayed on
    // their grid.
    std::int64_t framesSkipped() const { return framesSkipped_.load(); }
    // Any thread: how often a ready stream was lost since the output was made.
    std::int32_t devicesLost() const { return devicesLost_.load(); }
    // Any thread: how often the server asked for data (the write callback ran), and how
    // often the stream ran short (the server had nothing left to play).
    std::int64_t writeRequests() const { return writeRequests_.load(); }
    std::int64_t underruns() const { return underruns_.load(); }

private:
    explicit PulseAudioOutput(Buffering buffering);
    // Loop thread (or the opening thread with the loop locked).
    void connect();
    void disconnect();
    void createStream();
    void applyWish();
    void lost();
    void fill(std::size_t bytes);
    void catchUpAfterStall();
    bool settleAfterStall(std::int64_t heardByServer, std::int64_t now);
    void moveClockOn(std::int64_t frames, std::int64_t heard, std::int64_t now);
    void stamp();
    void freeze();
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
    std::chrono::milliseconds retryIn_{};
    bool corked_ = true;
    bool quit_ = false;
    bool sinksKnown_ = false;
    std::string streamName_ = "Metronome";
    std::int32_t sinksCounted_ = 0;
    bool ranDry_ = false;               // the server ran out of data since the last write
    FrameTimeStamp::Value beforeStall_; // the heard clock when it did
    bool beforeStallAdvancing_ = false;
    FrameTimeStamp::Value afterStall_; // the clock kept through the last stall
    int settlingReports_ = 0;          // reports still to compare with it
    std::int64_t restartDelay_ = 0;    // frames a restarting stream took beyond the sink's
    std::int64_t sinkLatency_ = 0;     // frames from a write into an empty stream to the ear

    FrameTimeStamp heard_;                    // heard frame at a steady time
    std::atomic<bool> heardAdvancing_{false}; // the stream plays: heard_ moves with time
    mutable std::atomic<std::int64_t> lastHeard_{0};

    std::atomic<std::int64_t> framesSkipped_{0};
    std::atomic<bool> wantAwake_{true};
    std::atomic<bool> streamReady_{false};
    std::atomic<std::int32_t> devicesLost_{0};
    std::atomic<std::int32_t> sinks_{0};
    std::atomic<std::int64_t> writeRequests_{0};
    std::atomic<std::int64_t> underruns_{0};
};

} // namespace metro
