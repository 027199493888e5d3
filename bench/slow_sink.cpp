// A sink with latency of its own for a private PipeWire, as a network or Bluetooth sink has,
// which says so as such sinks do: it plays what it is given into the target sink exactly that
// much later, and its clients' streams report that latency. (PipeWire's own modules either
// resample on the way, as its tunnel does, or delay without saying so, as its loopback does.)
// bench/avsync.sh measures the drawn rod against the heard click through it. Runs until it is
// ended:
//   slow_sink MILLISECONDS [TARGET [NAME]]   (default: into "t", named "slow")

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/latency-utils.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

pw_stream* sink = nullptr;    // "slow", where clients play
pw_stream* output = nullptr;  // into "t"
std::vector<float> delayLine; // interleaved stereo
std::size_t next = 0;

// Each graph cycle the sink's side has the output's side play, in the same cycle, what came
// in the delay's length earlier.
void playDelayed(void*) {
    pw_buffer* in = pw_stream_dequeue_buffer(sink);
    pw_buffer* out = pw_stream_dequeue_buffer(output);
    if (in != nullptr && out != nullptr) {
        const spa_data& from = in->buffer->datas[0];
        spa_data& to = out->buffer->datas[0];
        const std::uint32_t bytes = std::min(from.chunk->size, to.maxsize);
        const auto* source =
            static_cast<const float*>(SPA_PTROFF(from.data, from.chunk->offset, void));
        auto* target = static_cast<float*>(to.data);
        for (std::uint32_t i = 0; i < bytes / sizeof(float);
             ++i, next = (next + 1) % delayLine.size())
            target[i] = std::exchange(delayLine[next], source[i]);
        *to.chunk = spa_chunk{0, bytes, 2 * sizeof(float), 0};
    }
    if (in != nullptr)
        pw_stream_queue_buffer(sink, in);
    if (out != nullptr)
        pw_stream_queue_buffer(output, out);
}

pw_stream_events eventsOf(void (*process)(void*)) {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = process;
    return events;
}
const pw_stream_events kTrigger = eventsOf([](void*) { pw_stream_trigger_process(output); });
const pw_stream_events kPlay = eventsOf(playDelayed);

} // namespace

int main(int argc, char** argv) {
    const int milliseconds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (milliseconds <= 0)
        return 2;
    const char* target = argc > 2 ? argv[2] : "t";
    const char* name = argc > 3 ? argv[3] : "slow";
    pw_init(&argc, &argv);
    pw_main_loop* running = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(running);
    const auto quit = [](void* data, int) { pw_main_loop_quit(static_cast<pw_main_loop*>(data)); };
    pw_loop_add_signal(loop, SIGTERM, quit, running);
    delayLine.assign(static_cast<std::size_t>(96 * milliseconds), 0.0f); // 48 kHz, 2 channels
    sink = pw_stream_new_simple(loop, name,
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CLASS,
                                                  "Audio/Sink", PW_KEY_NODE_NAME, name, nullptr),
                                &kTrigger, nullptr);
    output =
        pw_stream_new_simple(loop, name,
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_TARGET_OBJECT,
                                               target, "node.dont-reconnect", "true", nullptr),
                             &kPlay, nullptr);

    std::uint8_t pods[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(pods, sizeof(pods));
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.rate = 48000;
    format.channels = 2;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    // The sink's latency: the delay (a null target adds none).
    spa_latency_info latency = SPA_LATENCY_INFO(SPA_DIRECTION_INPUT);
    latency.min_ns = latency.max_ns = static_cast<std::uint64_t>(milliseconds) * SPA_NSEC_PER_MSEC;
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format),
                               spa_latency_build(&builder, SPA_PARAM_Latency, &latency)};
    const int flags =
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS;
    // The side that is triggered is connected first, so that it is ready when triggered.
    pw_stream_connect(output, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      static_cast<pw_stream_flags>(flags | PW_STREAM_FLAG_TRIGGER), params, 1);
    pw_stream_connect(sink, PW_DIRECTION_INPUT, PW_ID_ANY, static_cast<pw_stream_flags>(flags),
                      params, 2);
    pw_main_loop_run(running);
    pw_stream_destroy(sink);
    pw_stream_destroy(output);
    pw_main_loop_destroy(running);
    pw_deinit();
}
