// A sink with latency of its own for the tests' private PipeWire, as a network or Bluetooth
// sink has, which says so as such sinks do: "slow" plays what it is given into the sink "t"
// exactly that much later, and tells its clients (a stream's reported latency includes it).
// PipeWire's own modules either resample on the way (a tunnel) or delay without saying so
// (a loopback). Runs until it is ended:
//   slow_sink MILLISECONDS

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/latency-utils.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kChannels = 2;

struct Delay {
    pw_stream* sink = nullptr; // "slow", where clients play
    pw_stream* out = nullptr;  // into "t"
    std::vector<float> line;   // the delay line, interleaved
    std::size_t at = 0;
};

// Each graph cycle the sink's side takes a buffer and has the other side play, in the same
// cycle, what came in the delay's length earlier.
void onSink(void* data) {
    pw_stream_trigger_process(static_cast<Delay*>(data)->out);
}

void onOut(void* data) {
    auto& delay = *static_cast<Delay*>(data);
    pw_buffer* in = pw_stream_dequeue_buffer(delay.sink);
    pw_buffer* out = pw_stream_dequeue_buffer(delay.out);
    if (in != nullptr && out != nullptr) {
        const spa_data& from = in->buffer->datas[0];
        spa_data& to = out->buffer->datas[0];
        const std::uint32_t bytes = std::min(from.chunk->size, to.maxsize);
        const auto* source =
            static_cast<const float*>(SPA_PTROFF(from.data, from.chunk->offset, void));
        auto* target = static_cast<float*>(to.data);
        for (std::uint32_t i = 0; i < bytes / sizeof(float); ++i) {
            target[i] = delay.line[delay.at];
            delay.line[delay.at] = source[i];
            delay.at = (delay.at + 1) % delay.line.size();
        }
        to.chunk->offset = 0;
        to.chunk->stride = sizeof(float) * kChannels;
        to.chunk->size = bytes;
    }
    if (in != nullptr)
        pw_stream_queue_buffer(delay.sink, in);
    if (out != nullptr)
        pw_stream_queue_buffer(delay.out, out);
}

pw_stream_events eventsFor(void (*process)(void*)) {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = process;
    return events;
}
const pw_stream_events kSinkEvents = eventsFor(onSink);
const pw_stream_events kOutEvents = eventsFor(onOut);

} // namespace

int main(int argc, char** argv) {
    const int milliseconds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (milliseconds <= 0)
        return 2;
    pw_init(&argc, &argv);
    pw_main_loop* loop = pw_main_loop_new(nullptr);
    pw_loop* events = pw_main_loop_get_loop(loop);
    const auto quit = [](void* main, int) { pw_main_loop_quit(static_cast<pw_main_loop*>(main)); };
    pw_loop_add_signal(events, SIGTERM, quit, loop);
    pw_loop_add_signal(events, SIGINT, quit, loop);

    Delay delay;
    delay.line.assign(
        std::size_t{kRate} * kChannels * static_cast<std::size_t>(milliseconds) / 1000, 0.0f);
    delay.sink = pw_stream_new_simple(
        events, "slow",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CLASS, "Audio/Sink",
                          PW_KEY_NODE_NAME, "slow", PW_KEY_NODE_DESCRIPTION, "slow", nullptr),
        &kSinkEvents, &delay);
    delay.out = pw_stream_new_simple(events, "slow into t",
                                     pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_NODE_NAME,
                                                       "slow-out", PW_KEY_TARGET_OBJECT, "t",
                                                       "node.dont-reconnect", "true", nullptr),
                                     &kOutEvents, &delay);

    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.rate = kRate;
    format.channels = kChannels;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* outParams[] = {
        spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    // The latency it adds, as the sink's own (the null sink "t" adds none).
    spa_latency_info latency = SPA_LATENCY_INFO(SPA_DIRECTION_INPUT);
    latency.min_ns = latency.max_ns = static_cast<std::uint64_t>(milliseconds) * SPA_NSEC_PER_MSEC;
    const spa_pod* sinkParams[] = {outParams[0],
                                   spa_latency_build(&builder, SPA_PARAM_Latency, &latency)};
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    // The side that is triggered is connected first, so that it is ready when triggered.
    pw_stream_connect(delay.out, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      static_cast<pw_stream_flags>(flags | PW_STREAM_FLAG_TRIGGER), outParams, 1);
    pw_stream_connect(delay.sink, PW_DIRECTION_INPUT, PW_ID_ANY, flags, sinkParams, 2);
    pw_main_loop_run(loop);

    pw_stream_destroy(delay.sink);
    pw_stream_destroy(delay.out);
    pw_main_loop_destroy(loop);
    pw_deinit();
    return 0;
}
