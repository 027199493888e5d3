#include "sound/PulseAudioOutput.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace metro {

namespace {

using namespace std::chrono_literals;

constexpr pa_sample_spec kSpec{PA_SAMPLE_FLOAT32NE, 48000, 2};
// The mixer's largest block, and how far past the frames rendered a click handed over now
// can be placed (the write head): 5 ms, which is all a start adds to the first click.
constexpr std::int32_t kBlockFrames = 240;
// How long opening waits for a server to answer and give a ready stream. A server that is
// not running fails at once; one that hangs must not hold up the window's start.
constexpr auto kAnswerWithin = 1000ms;
// Connecting again after a lost server: first after a quarter of a second (a restarting
// server is back within a second or two), then ever less often, at most every 2 s.
constexpr auto kFirstRetry = 250ms;
constexpr auto kLongestRetry = 2000ms;
// A gap in the stream shorter than this (1 ms) is within what the server's timing reports
// can tell apart from none.
constexpr std::int64_t kSmallestStall = kSpec.rate / 1000;
// The frame a clock stamped at `stamp` and running in real time reaches at steady time `now`.
// Time past a minute counts as a minute, which keeps the product below 2^63 (the beat clock
// has counted the device as lost long before).
std::int64_t runOn(const FrameTimeStamp::Value& stamp, std::int64_t now) {
    const std::int64_t elapsed =
        std::clamp<std::int64_t>(now - stamp.nanoseconds, 0, 60'000'000'000);
    return stamp.frame + elapsed * kSpec.rate / 1'000'000'000;
}
// How many of the server's reports after a stall are compared with the clock kept through it.
constexpr int kSettlingReports = 3;

pa_time_event* wakeAfter(pa_threaded_mainloop* loop, std::chrono::microseconds after,
                         pa_time_event_cb_t callback, void* userdata) {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    timeval when{}; // the wall clock: only ever a short wait
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(after.count()));
    return api->time_new(api, &when, callback, userdata);
}

void freeEvent(pa_threaded_mainloop* loop, pa_time_event*& event) {
    if (event != nullptr) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        api->time_free(event);
        event = nullptr;
    }
}

void done(pa_operation* operation) {
    if (operation != nullptr)
        pa_operation_unref(operation);
}

} // namespace

PulseAudioOutput::PulseAudioOutput(Buffering buffering)
    : mixer_(DeviceFormat{static_cast<std::int32_t>(kSpec.rate), kSpec.channels, kBlockFrames}),
      buffering_(buffering), retryIn_(kFirstRetry) {}

std::shared_ptr<PulseAudioOutput> PulseAudioOutput::openDefault() {
    return openDefault(Buffering{});
}

std::shared_ptr<PulseAudioOutput> PulseAudioOutput::openDefault(Buffering buffering) {
    std::shared_ptr<PulseAudioOutput> output(new PulseAudioOutput(buffering));
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (loop == nullptr)
        return nullptr;
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_free(loop);
        return nullptr;
    }
    output->loop_ = loop;

    pa_threaded_mainloop_lock(loop);
    output->connect();
    // Woken by every state change, and once when the time is up.
    struct Deadline {
        pa_threaded_mainloop* loop;
        bool passed = false;
    } deadline{loop};
    pa_time_event* timer = wakeAfter(
        loop, kAnswerWithin,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
            auto& passing = *static_cast<Deadline*>(userdata);
            passing.passed = true;
            pa_threaded_mainloop_signal(passing.loop, 0);
        },
        &deadline);
    while ((!output->streamReady_.load() || !output->sinksKnown_) &&
           output->retryEvent_ == nullptr && !deadline.passed)
        pa_threaded_mainloop_wait(loop);
    freeEvent(loop, timer);
    const bool ready = output->streamReady_.load();
    pa_threaded_mainloop_unlock(loop);
    if (!ready)
        return nullptr; // no server: the destructor lets the loop go
    return output;
}

PulseAudioOutput::~PulseAudioOutput() {
    if (loop_ == nullptr)
        return;
    pa_threaded_mainloop_lock(loop_);
    quit_ = true;
    freeEvent(loop_, retryEvent_);
    disconnect(); // tells the server, without waiting for an answer
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_); // the loop thread only ever waits in poll()
    pa_threaded_mainloop_free(loop_);
}

// ---- Connection (loop thread, or any thread holding the loop lock) ----

void PulseAudioOutput::connect() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    context_ = pa_context_new(api, "Metronome");
    if (context_ == nullptr) {
        lost();
        return;
    }
    sinksKnown_ = false;
    pa_context_set_state_callback(context_, &PulseAudioOutput::onContextState, this);
    // Never starts a server of its own: where none runs, the SDL output takes over.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        lost();
}

void PulseAudioOutput::disconnect() {
    streamReady_.store(false);
    if (stream_ != nullptr) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
        if (pa_stream_get_state(stream_) == PA_STREAM_READY)
            pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
}

void PulseAudioOutput::createStream() {
    stream_ = pa_stream_new(context_, streamName_.c_str(), &kSpec, nullptr);
    if (stream_ == nullptr) {
        lost();
        return;
    }
    pa_stream_set_state_callback(stream_, &PulseAudioOutput::onStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseAudioOutput::onWrite, this);
    pa_stream_set_latency_update_callback(stream_, &PulseAudioOutput::onLatency, this);
    pa_stream_set_underflow_callback(stream_, &PulseAudioOutput::onUnderflow, this);

    const auto bytesOf = [](std::chrono::milliseconds time) {
        return static_cast<std::uint32_t>(pa_usec_to_bytes(
            static_cast<pa_usec_t>(std::chrono::microseconds(time).count()), &kSpec));
    };
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = bytesOf(buffering_.target);
    // Starts as soon as one block has arrived. Without any, a started (or flushed) stream
    // would play silence of its own while the first frames are on their way, and the
    // server then drops the part of them that fell behind: the first click with them.
    // A stream that runs short waits the same way; the clock follows it.
    attributes.prebuf = static_cast<std::uint32_t>(pa_frame_size(&kSpec) * kBlockFrames);
    attributes.minreq = bytesOf(buffering_.request);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    corked_ = !wantAwake_.load();
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY |
        (corked_ ? PA_STREAM_START_CORKED : 0));
    if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0)
        lost();
}

void PulseAudioOutput::onContextState(pa_context* context, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        done(pa_context_get_sink_info_list(
            context,
            [](pa_context*, const pa_sink_info* info, int last, void* userdata) {
                auto& out = *static_cast<PulseAudioOutput*>(userdata);
                if (last == 0 && info != nullptr) {
                    ++out.sinksCounted_;
                    return;
                }
                out.sinks_.store(out.sinksCounted_);
                out.sinksCounted_ = 0;
                out.sinksKnown_ = true;
                pa_threaded_mainloop_signal(out.loop_, 0);
            },
            self));
        if (output.stream_ == nullptr)
            output.createStream();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        output.lost();
        break;
    default:
        break;
    }
    pa_threaded_mainloop_signal(output.loop_, 0);
}

void PulseAudioOutput::onStreamState(pa_stream* stream, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        output.streamReady_.store(true);
        output.retryIn_ = kFirstRetry;
        output.applyWish(); // the wish may have changed while connecting
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        output.lost();
        break;
    default:
        break;
    }
    pa_threaded_mainloop_signal(output.loop_, 0);
}

// The stream or its server went: the clock stands still, and the output connects again
// after a pause. Objects are torn down on the retry, outside their own callbacks.
void PulseAudioOutput::lost() {
    if (quit_)
        return;
    if (streamReady_.exchange(false))
        devicesLost_.fetch_add(1);
    if (!corked_)
        freeze();
    corked_ = true;
    if (retryEvent_ != nullptr)
        return;
    retryEvent_ = wakeAfter(
        loop_, retryIn_,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto& output = *static_cast<PulseAudioOutput*>(self);
            freeEvent(output.loop_, output.retryEvent_);
            output.retryIn_ =
                std::min(output.retryIn_ * 2, std::chrono::milliseconds(kLongestRetry));
            output.disconnect();
            output.connect();
        },
        this);
}

// ---- Awake and asleep ----

void PulseAudioOutput::setAwake(bool awake) {
    // Only this thread writes the wish: unchanged, there is nothing to do (every click
    // lands here).
    if (wantAwake_.load() == awake)
        return;
    pa_threaded_mainloop_lock(loop_);
    wantAwake_.store(awake);
    applyWish();
    pa_threaded_mainloop_unlock(loop_);
}

void PulseAudioOutput::applyWish() {
    if (stream_ == nullptr || !streamReady_.load())
        return; // the stream is made corked or not as the wish stands then
    const bool cork = !wantAwake_.load();
    if (cork == corked_)
        return;
    corked_ = cork;
    if (cork) {
        freeze();
        done(pa_stream_cork(stream_, 1, nullptr, nullptr));
        // What was queued is dropped, so a start plays the mixer's write head at once.
        done(pa_stream_flush(stream_, nullptr, nullptr));
    } else {
        // Filled once the server has started the stream: the first frames written are
        // then the first heard, and the click handed over for the write head is in them.
        done(pa_stream_cork(stream_, 0, &PulseAudioOutput::onUncorked, this));
    }
}

void PulseAudioOutput::setStreamName(const std::string& name) {
    pa_threaded_mainloop_lock(loop_);
    if (name != streamName_) {
        streamName_ = name; // a stream made later takes it as its name
        if (stream_ != nullptr && streamReady_.load()) {
            pa_proplist* properties = pa_proplist_new();
            pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name.c_str());
            done(pa_stream_proplist_update(stream_, PA_UPDATE_REPLACE, properties, nullptr,
                                           nullptr));
            pa_proplist_free(properties);
        }
    }
    pa_threaded_mainloop_unlock(loop_);
}

void PulseAudioOutput::onUncorked(pa_stream* stream, int success, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    if (success != 0 && !output.corked_ && stream == output.stream_)
        output.fill(pa_stream_writable_size(stream));
}

// ---- Rendering and the clock ----

void PulseAudioOutput::onWrite(pa_stream* stream, std::size_t bytes, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    output.writeRequests_.fetch_add(1, std::memory_order_relaxed);
    if (!output.corked_ && stream == output.stream_)
        output.fill(bytes); // nothing is queued while corked
}

void PulseAudioOutput::onUnderflow(pa_stream* stream, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    output.underruns_.fetch_add(1, std::memory_order_relaxed);
    if (stream != output.stream_ || output.ranDry_)
        return;
    // The clock as it ran before the gap: the server's next reports date from inside it.
    output.ranDry_ = true;
    output.beforeStall_ = output.heard_.read();
    output.beforeStallAdvancing_ = output.heardAdvancing_.load();
}

// The stream ran dry (this thread was held up past the whole buffer): the server stopped
// playing it, and what comes next would be heard late by the length of the gap, the beat
// grid with it, for good. The mixer's clock moves on by the gap instead, so the frames
// written now are heard when real time says they should be; clicks due in the gap are
// dropped, never played late.
void PulseAudioOutput::catchUpAfterStall() {
    ranDry_ = false;
    const FrameTimeStamp::Value stamp = beforeStall_;
    if (!stamp.valid || !beforeStallAdvancing_ || !heardAdvancing_.load())
        return; // no playing clock to keep to (just started, or corked)
    const std::int64_t now = steadyNanoseconds();
    const std::int64_t heardNow = runOn(stamp, now);
    // The stream is empty: a frame written now is heard after the sink's latency, and
    // after whatever more a restarting stream has been seen to take.
    const std::int64_t gap = heardNow + sinkLatency_ + restartDelay_ - mixer_.framesRendered();
    if (gap < kSmallestStall)
        return; // within the timing's own precision: nothing was lost
    moveClockOn(gap, heardNow, now);
    afterStall_ = {heardNow, now, true};
    settlingReports_ = kSettlingReports;
}

// The mixer's clock moves on by `frames` unrendered, and the heard clock runs on from `heard`.
void PulseAudioOutput::moveClockOn(std::int64_t frames, std::int64_t heard, std::int64_t now) {
    mixer_.skip(frames);
    framesSkipped_.fetch_add(frames, std::memory_order_relaxed);
    heard_.write(heard, now);
}

// The first reports after a stall say where the restarted stream is really heard. Where that
// is later than the clock kept through the stall, the clock moves on once more, and later
// stalls allow for the difference from the start.
bool PulseAudioOutput::settleAfterStall(std::int64_t heardByServer, std::int64_t now) {
    if (settlingReports_ == 0)
        return false;
    --settlingReports_;
    const std::int64_t kept = runOn(afterStall_, now);
    const std::int64_t lag = kept - heardByServer;
    if (lag < kSmallestStall)
        return false;
    moveClockOn(lag, kept, now);
    restartDelay_ += lag;
    settlingReports_ = 0;
    return true;
}

void PulseAudioOutput::fill(std::size_t bytes) {
    if (ranDry_)
        catchUpAfterStall();
    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(kSpec.channels);
    while (bytes >= frameBytes) {
        void* data = nullptr;
        std::size_t size = bytes; // libpulse's own pool block, no allocation
        if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr)
            break;
        size = std::min(size, bytes) / frameBytes * frameBytes;
        if (size == 0) {
            pa_stream_cancel_write(stream_);
            break;
        }
        mixer_.render(static_cast<float*>(data), static_cast<int>(size / frameBytes));
        if (pa_stream_write(stream_, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            break;
        bytes -= size;
    }
}

void PulseAudioOutput::onLatency(pa_stream* stream, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    if (!output.corked_ && stream == output.stream_)
        output.stamp();
}

// The frame heard now, from the server's latest timing report: the stream's read index, the
// time the report took to arrive, and the sink's own latency give the stream position
// heard; every frame the mixer rendered has been written, up to the write index. The
// report's own figures are used, not libpulse's smoothed time, which takes seconds to
// settle after a start.
void PulseAudioOutput::stamp() {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (timing == nullptr || timing->write_index_corrupt != 0 || timing->read_index_corrupt != 0)
        return; // no timing yet, or a flush not yet reported on
    const std::int64_t frameBytes = static_cast<std::int64_t>(pa_frame_size(&kSpec));
    const auto framesOf = [](pa_usec_t usec) {
        return static_cast<std::int64_t>(usec * kSpec.rate / 1'000'000);
    };
    const std::int64_t queued = (timing->write_index - timing->read_index) / frameBytes;
    sinkLatency_ = framesOf(timing->sink_usec);
    const std::int64_t heard = mixer_.framesRendered() - queued + framesOf(timing->transport_usec) -
                               framesOf(timing->sink_usec);
    const std::int64_t now = steadyNanoseconds();
    if (!settleAfterStall(heard, now))
        heard_.write(heard, now);
    heardAdvancing_.store(timing->playing != 0);
}

// The clock stands where it is now until the stream plays again.
void PulseAudioOutput::freeze() {
    const std::int64_t now = heardFrame();
    heardAdvancing_.store(false);
    heard_.write(now, steadyNanoseconds());
}

std::int64_t PulseAudioOutput::heardFrame() const {
    const FrameTimeStamp::Value stamp = heard_.read();
    std::int64_t frame = stamp.frame;
    if (stamp.valid && heardAdvancing_.load()) {
        // Between the server's reports (up to 1.5 s apart) the stream plays on in real time,
        // but never past what was written: a server that stopped taking data stops the
        // clock.
        const std::int64_t advanced = runOn(stamp, steadyNanoseconds());
        frame = std::max(stamp.frame, std::min(advanced, mixer_.framesRendered()));
    }
    std::int64_t last = lastHeard_.load();
    while (frame > last && !lastHeard_.compare_exchange_weak(last, frame)) {
    }
    return std::max(frame, last);
}

void PulseAudioOutput::holdRendering() {
    pa_threaded_mainloop_lock(loop_); // the write callback runs only under this lock
}

void PulseAudioOutput::releaseRendering() {
    pa_threaded_mainloop_unlock(loop_);
}

} // namespace metro
