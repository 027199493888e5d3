#include "sound/PulseAudioOutput.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <ctime>
#include <utility>

namespace metro {

namespace {

using namespace std::chrono_literals;

constexpr pa_sample_spec kSpec{PA_SAMPLE_FLOAT32NE, 48000, 2};
constexpr std::int32_t kRate = static_cast<std::int32_t>(kSpec.rate);
// The mixer's largest block, and how far past the frames rendered a click handed over now
// can be placed (the write head): 5 ms, which is all a start adds to the first click.
constexpr std::int32_t kBlockFrames = 240;
// How long opening waits for a server to answer and give a ready stream. A server that is
// not running fails at once; one that hangs must not hold up the window's start.
constexpr auto kAnswerWithin = 1000ms;
// How often the stream asks the server for a timing report while it plays: every 15 to 35 ms,
// at random, so that the reports fall at every point of PipeWire's graph cycle (the write
// callback comes at one point of it), and the clock, laid over the reports of the last
// second, finds the cycle's beginning (libpulse's own requests thin out to one in 1.5 s).
constexpr int kTimingEveryMilliseconds = 15;
constexpr int kTimingSpreadMilliseconds = 20;

std::int64_t framesOf(pa_usec_t usec) {
    return static_cast<std::int64_t>(usec * kSpec.rate / 1'000'000);
}

std::int64_t wallNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

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
    : mixer_(DeviceFormat{kRate, kSpec.channels, kBlockFrames}), buffering_(buffering),
      clock_(kRate) {}

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
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    output->rewriteEvent_ = api->defer_new(
        api,
        [](pa_mainloop_api* loopApi, pa_defer_event* event, void* self) {
            loopApi->defer_enable(event, 0);
            auto& out = *static_cast<PulseAudioOutput*>(self);
            if (!out.corked_ && out.stream_ != nullptr && out.rewrite_ > 0)
                out.fill(0);
        },
        output.get());
    api->defer_enable(output->rewriteEvent_, 0);
    output->timingEvent_ = api->time_new(
        api, nullptr,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            static_cast<PulseAudioOutput*>(self)->requestTiming();
        },
        output.get());
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
    while ((!output->deviceOpen() || !output->sinksKnown_) && output->retryEvent_ == nullptr &&
           !deadline.passed)
        pa_threaded_mainloop_wait(loop);
    freeEvent(loop, timer);
    const bool ready = output->deviceOpen();
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
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    if (rewriteEvent_ != nullptr)
        api->defer_free(rewriteEvent_);
    freeEvent(loop_, timingEvent_);
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
    deviceClosed(false);
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
    rewrite_ = 0;

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
    // A new stream: what the clock learnt of the last one does not hold. Made playing after
    // the last was lost, the beat clock has bridged the gap and ties itself to its first move.
    clock_.newStream(!corked_ && devicesLost() > 0);
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
        output.deviceOpened();
        output.retry_.reset();
        output.applyWish();     // the wish may have changed while connecting
        output.requestTiming(); // made uncorked: it plays from here
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
    deviceClosed(true);
    if (!corked_)
        freeze();
    corked_ = true;
    rewrite_ = 0; // the mixer renders those frames again into the next stream
    if (retryEvent_ != nullptr)
        return;
    retryEvent_ = wakeAfter(
        loop_, retry_.next(),
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto& output = *static_cast<PulseAudioOutput*>(self);
            freeEvent(output.loop_, output.retryEvent_);
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
    if (stream_ == nullptr || !deviceOpen())
        return; // the stream is made corked or not as the wish stands then
    const bool cork = !wantAwake_.load();
    if (cork == corked_)
        return;
    corked_ = cork;
    if (cork) {
        freeze();
        rewrite_ = 0; // flushed with the rest
        done(pa_stream_cork(stream_, 1, nullptr, nullptr));
        // What was queued is dropped, so a start plays the mixer's write head at once.
        done(pa_stream_flush(stream_, nullptr, nullptr));
    } else {
        // Filled once the server has started the stream: the first frames written are
        // then the first heard, and the click handed over for the write head is in them.
        clock_.resume();
        done(pa_stream_cork(stream_, 0, &PulseAudioOutput::onUncorked, this));
    }
}

void PulseAudioOutput::setStreamName(const std::string& name) {
    pa_threaded_mainloop_lock(loop_);
    if (name != streamName_) {
        streamName_ = name; // a stream made later takes it as its name
        if (stream_ != nullptr && deviceOpen()) {
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
    if (success != 0 && !output.corked_ && stream == output.stream_) {
        output.fill(pa_stream_writable_size(stream));
        output.requestTiming();
    }
}

// ---- Rendering, taking back and the clock ----

void PulseAudioOutput::onWrite(pa_stream* stream, std::size_t bytes, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    output.writeRequests_.fetch_add(1, std::memory_order_relaxed);
    if (!output.corked_ && stream == output.stream_)
        output.fill(bytes); // nothing is queued while corked
}

void PulseAudioOutput::onUnderflow(pa_stream* stream, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    output.underruns_.fetch_add(1, std::memory_order_relaxed);
    if (stream == output.stream_)
        output.clock_.ranDry();
}

void PulseAudioOutput::fill(std::size_t bytes) {
    const auto frameBytes = static_cast<std::int64_t>(pa_frame_size(&kSpec));
    const std::int64_t now = steadyNanoseconds();
    // What was taken back goes first, over what the server holds; after a stall that part
    // has been played already, and the server drops it.
    if (rewrite_ > 0) {
        const std::int64_t frames = std::exchange(rewrite_, 0);
        write(frames, -frames);
        framesTakenBack_.fetch_add(frames, std::memory_order_relaxed);
    }
    // The stream ran dry (this thread was held up past the whole buffer): the server stopped
    // playing it, and what comes next would be heard late by the length of the gap, the beat
    // grid with it, for good. The mixer's clock moves on by the gap instead, so the frames
    // written now are heard when real time says they should be; clicks due in the gap are
    // dropped, never played late.
    if (const std::int64_t gap = clock_.catchUp(mixer_.framesRendered(), now); gap > 0) {
        moveClock(gap);
        publish();
    }
    write(static_cast<std::int64_t>(bytes) / frameBytes, 0);
}

void PulseAudioOutput::write(std::int64_t frames, std::int64_t seekFrames) {
    const std::size_t frameBytes = pa_frame_size(&kSpec);
    auto offset = static_cast<std::int64_t>(seekFrames * static_cast<std::int64_t>(frameBytes));
    auto bytes = static_cast<std::size_t>(frames) * frameBytes;
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
        if (pa_stream_write(stream_, data, size, nullptr, offset, PA_SEEK_RELATIVE) < 0)
            break;
        offset = 0;
        bytes -= size;
    }
}

void PulseAudioOutput::writeSilence(std::int64_t frames) {
    const std::size_t frameBytes = pa_frame_size(&kSpec);
    auto bytes = static_cast<std::size_t>(frames) * frameBytes;
    while (bytes >= frameBytes) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr)
            break;
        size = std::min(size, bytes) / frameBytes * frameBytes;
        std::fill_n(static_cast<char*>(data), size, 0);
        if (size == 0 || pa_stream_write(stream_, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            pa_stream_cancel_write(stream_);
            break;
        }
        bytes -= size;
    }
}

// The mixer's clock moves on by `frames` unrendered (a stall's gap), or, for negative
// `frames`, is held back by writing that much silence that is not the mixer's.
void PulseAudioOutput::moveClock(std::int64_t frames) {
    if (frames > 0)
        mixer_.skip(frames);
    else
        writeSilence(-frames);
    framesSkipped_.fetch_add(frames, std::memory_order_relaxed);
}

// Loop thread: asks for a report now and arms the timer for the next (stopped while corked).
void PulseAudioOutput::requestTiming() {
    if (corked_ || stream_ == nullptr || !deviceOpen())
        return;
    done(pa_stream_update_timing_info(stream_, nullptr, nullptr));
    const auto wait = std::chrono::milliseconds(
        kTimingEveryMilliseconds +
        static_cast<int>(timingDice_() % static_cast<unsigned>(kTimingSpreadMilliseconds)));
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(std::chrono::microseconds(wait).count()));
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    api->time_restart(timingEvent_, &when);
}

void PulseAudioOutput::onLatency(pa_stream* stream, void* self) {
    auto& output = *static_cast<PulseAudioOutput*>(self);
    if (!output.corked_ && stream == output.stream_)
        output.stamp();
}

// A timing report: the server has taken the stream up to its read index, and the sink's
// latency lies between that and what is heard. The report describes the moment the server
// sent it; libpulse's own smoothed time is not used (it takes seconds to settle after a start).
void PulseAudioOutput::stamp() {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (timing == nullptr || timing->write_index_corrupt != 0 || timing->read_index_corrupt != 0)
        return; // no timing yet, or a flush not yet reported on
    const auto frameBytes = static_cast<std::int64_t>(pa_frame_size(&kSpec));
    // Every frame the mixer rendered has been written, up to the write index, but for what
    // was taken back and not yet written again.
    const std::int64_t written = mixer_.framesRendered() + rewrite_;
    const std::int64_t taken = written - (timing->write_index - timing->read_index) / frameBytes;
    const std::int64_t readAhead = framesOf(timing->sink_usec);
    const std::int64_t now = steadyNanoseconds();
    // The report's moment: on a local server the clocks agree and the report says when it
    // was sent; else it took about the time its request took.
    std::int64_t age = static_cast<std::int64_t>(timing->transport_usec) * 1000;
    if (timing->synchronized_clocks != 0) {
        const std::int64_t sent =
            static_cast<std::int64_t>(timing->timestamp.tv_sec) * 1'000'000'000 +
            static_cast<std::int64_t>(timing->timestamp.tv_usec) * 1000;
        age = wallNanoseconds() - sent;
    }
    age = std::clamp<std::int64_t>(age, 0, 100'000'000);
    const HeardClock::Report report{taken - readAhead, readAhead, timing->read_index / frameBytes,
                                    timing->playing != 0};
    if (const std::int64_t move = clock_.report(report, now - age, now); move != 0)
        moveClock(move);
    publish();
}

void PulseAudioOutput::publish() {
    heard_.write(clock_.line());
    committed_.store(clock_.committedFrames());
}

// The clock stands where it is now until the stream plays again.
void PulseAudioOutput::freeze() {
    clock_.freeze(steadyNanoseconds(), mixer_.framesRendered() + rewrite_);
    publish();
}

std::int64_t PulseAudioOutput::heardFrame() const {
    const std::int64_t frame =
        HeardClock::heardAt(heard_.read(), steadyNanoseconds(), mixer_.framesRendered(), kRate);
    std::int64_t last = lastHeard_.load();
    while (frame > last && !lastHeard_.compare_exchange_weak(last, frame)) {
    }
    return std::max(frame, last);
}

std::int64_t PulseAudioOutput::changeableFrame() {
    const FrameTimeStamp::Value line = heard_.read();
    const std::int64_t rendered = mixer_.framesRendered();
    if (!line.valid || !line.advancing)
        return rendered; // not playing: what was written is the server's
    const std::int64_t heard = HeardClock::heardAt(line, steadyNanoseconds(), rendered, kRate);
    return std::min(rendered, heard + committed_.load());
}

std::int64_t PulseAudioOutput::changeableNow(std::int64_t now) const {
    const HeardClock::Line& line = clock_.line();
    const std::int64_t rendered = mixer_.framesRendered();
    if (corked_ || !line.valid || !line.advancing)
        return rendered;
    return std::min(rendered,
                    HeardClock::heardAt(line, now, rendered, kRate) + clock_.committedFrames());
}

void PulseAudioOutput::takeBack(std::int64_t frame, const RenderingHold& hold) {
    if (stream_ == nullptr || corked_ || !deviceOpen())
        return;
    const std::int64_t rendered = mixer_.framesRendered();
    const std::int64_t from = std::max(frame, changeableNow(steadyNanoseconds()));
    if (from >= rendered)
        return;
    const std::int64_t to = mixer_.rewind(from, hold);
    if (to >= rendered)
        return;
    rewrite_ += rendered - to;
    // The loop thread writes it once the hold ends, with what was handed over meanwhile.
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    api->defer_enable(rewriteEvent_, 1);
}

void PulseAudioOutput::holdRendering() {
    pa_threaded_mainloop_lock(loop_); // the write callback runs only under this lock
}

void PulseAudioOutput::releaseRendering() {
    pa_threaded_mainloop_unlock(loop_);
}

} // namespace metro
