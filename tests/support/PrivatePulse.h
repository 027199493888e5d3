#pragma once
// A sound server of the test's own that speaks the PulseAudio protocol, either PulseAudio
// itself or PipeWire as current desktops run it (pipewire, wireplumber and pipewire-pulse on
// a session bus of their own, WirePlumber's hardware monitors off), in its own runtime folder
// with one null sink "t" at 48 kHz as the default sink; and a recorder of that sink's monitor
// that tells when each recorded sample was heard, on the steady clock. The server can be
// stopped and started again, as a user's server restarts.
//
// Sections: processes; the servers; the recorder.

#include <fcntl.h>
#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A test program that includes this header (in one file) plays through libpulse, so it
// takes these. Under LeakSanitizer: libpulse leaves behind the device queries that it had
// in flight when its server went away.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:pa_xmalloc\n";
}
// Under ThreadSanitizer: libpulse hands its buffers between its own threads through shared
// memory rings, synchronised in ways the sanitizer cannot see (it is not built for it).
// Its mutexes stay visible: the sound server output's main loop lock is what orders the
// window thread's changes against the write callback.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulsecommon\nrace:libpulse.so\nrace:pa_xmalloc\n";
}

namespace metro::test {

// ---- Processes ----

inline double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits up to `seconds` until `done` holds; whether it does.
template <typename Condition> bool waitFor(Condition done, double seconds) {
    for (const double end = steadySeconds() + seconds; !done() && steadySeconds() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

// Runs `command` through the shell, which becomes the program (exec), with the test's
// environment. 0 on failure.
inline pid_t spawnProgram(const std::string& command) {
    const std::string line = "exec " + command; // nothing but exec between fork and exec
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", line.c_str(), nullptr);
        ::_exit(127);
    }
    return std::max(pid, pid_t{0});
}

inline void endProgram(pid_t& pid, int signal) {
    if (pid != 0 && ::kill(pid, signal) == 0)
        ::waitpid(pid, nullptr, 0);
    pid = 0;
}

inline bool shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// ---- The servers ----

enum class SoundServer { PulseAudio, PipeWire };

inline const char* nameOf(SoundServer server) {
    return server == SoundServer::PulseAudio ? "PulseAudio" : "PipeWire";
}

class PrivatePulseServer {
public:
    // Points this process's sound clients (the outputs, pactl, the recorder) at the folder's
    // server and keeps them from starting a server of their own.
    explicit PrivatePulseServer(const std::filesystem::path& folder,
                                SoundServer server = SoundServer::PulseAudio)
        : server_(server), folder_(folder) {
        std::filesystem::create_directories(folder / "home");
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        std::ofstream(folder / "client.conf") << "autospawn = no\n";
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        ::setenv("HOME", (folder / "home").c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
        ::unsetenv("PULSE_SERVER");
    }
    ~PrivatePulseServer() { stop(); }
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    // Whether this machine has the server's programs, and the Debian packages that bring them.
    static bool installed(SoundServer server) {
        return shell(server == SoundServer::PulseAudio
                         ? "command -v pulseaudio pactl"
                         : "command -v pipewire wireplumber pipewire-pulse dbus-daemon pactl");
    }
    static const char* packages(SoundServer server) {
        return server == SoundServer::PulseAudio
                   ? "pulseaudio, pulseaudio-utils"
                   : "pipewire, pipewire-pulse, wireplumber, dbus-daemon, pulseaudio-utils";
    }

    // True once the null sink "t" is the default sink (within 10 s each step: a busy machine
    // starts a server slowly).
    bool start() {
        const bool ready = server_ == SoundServer::PulseAudio ? startPulseAudio() : startPipeWire();
        if (!ready)
            stop();
        return ready;
    }
    // Ends every process of the server, the last started first.
    void stop() {
        while (!pids_.empty()) {
            endProgram(pids_.back(), SIGTERM);
            pids_.pop_back();
        }
    }
    // The process that serves the protocol (SIGSTOP to it: a server that hangs).
    pid_t pid() const { return pids_.empty() ? 0 : pids_.back(); }
    SoundServer server() const { return server_; }

private:
    bool launch(const std::string& command) {
        pids_.push_back(
            spawnProgram(command + " >>" + (folder_ / "server.log").string() + " 2>&1"));
        return pids_.back() != 0;
    }
    static bool answers() {
        return waitFor([] { return shell("pactl info"); }, 10);
    }

    // Never rewinds (a rewound stretch would be missing from the sink's monitor).
    bool startPulseAudio() {
        return launch("pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no "
                      "--load='module-null-sink sink_name=t rate=48000 norewinds=1' "
                      "--load=module-native-protocol-unix") &&
               answers();
    }

    // The servers' own folders are all under the runtime folder, so neither a user's settings
    // nor WirePlumber's saved state are read or written; no hardware is touched.
    bool startPipeWire() {
        const std::filesystem::path bus = folder_ / "bus", config = folder_ / "config";
        std::filesystem::create_directories(config / "wireplumber" / "main.lua.d");
        std::filesystem::create_directories(config / "wireplumber" / "bluetooth.lua.d");
        std::ofstream(config / "wireplumber" / "main.lua.d" / "51-private.lua")
            << "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
               "libcamera_monitor.enabled = false\n";
        std::ofstream(config / "wireplumber" / "bluetooth.lua.d" / "51-private.lua")
            << "bluez_monitor.enabled = false\n";
        std::ofstream(folder_ / "bus.conf")
            << "<busconfig><type>session</type><listen>unix:path=" << bus.string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
               "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
               "own=\"*\"/></policy></busconfig>\n";
        std::filesystem::remove(bus);
        std::filesystem::remove(folder_ / "pipewire-0");
        const std::string f = folder_.string();
        const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u PIPEWIRE_REMOTE "
                                "-u PULSE_SERVER -u PULSE_CLIENTCONFIG -u PULSE_LATENCY_MSEC "
                                "HOME=" +
                                f + "/home XDG_RUNTIME_DIR=" + f + " PIPEWIRE_RUNTIME_DIR=" + f +
                                " XDG_CONFIG_HOME=" + f + "/config XDG_STATE_HOME=" + f +
                                "/state XDG_DATA_HOME=" + f +
                                "/data DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus.string() + " ";
        const auto exists = [](std::filesystem::path path) {
            return waitFor([&] { return std::filesystem::exists(path); }, 10);
        };
        return launch("dbus-daemon --nofork --nopidfile --nosyslog --config-file=" + f +
                      "/bus.conf") &&
               exists(bus) && launch(env + "pipewire") && exists(folder_ / "pipewire-0") &&
               launch(env + "wireplumber") && launch(env + "pipewire-pulse") && answers() &&
               shell("pactl load-module module-null-sink sink_name=t format=float32le "
                     "rate=48000 channels=2") &&
               waitFor( // WirePlumber takes the default sink from what pactl asks for
                   [] {
                       return shell("pactl set-default-sink t") &&
                              shell("pactl info | grep -qx 'Default Sink: t'");
                   },
                   10);
    }

    SoundServer server_;
    std::filesystem::path folder_;
    std::vector<pid_t> pids_; // in the order started
};

// ---- The recorder ----

// Records the monitor of the sink "t" from its start until finish(), through libpulse in this
// process, and dates every sample: the steady time at which it was heard. PulseAudio's
// timing reports say which sample its sink plays now (to about 0.05 ms). PipeWire's monitor
// hands over each graph cycle's samples as the cycle ends, when all of them have been heard,
// and its reports step by whole cycles: there the fastest arrivals date the samples (to about
// 0.15 ms).
class MonitorRecorder {
public:
    static constexpr int rate = 48000;

    explicit MonitorRecorder(SoundServer server = SoundServer::PulseAudio)
        : byArrival_(server == SoundServer::PipeWire), loop_(pa_threaded_mainloop_new()) {
        pa_threaded_mainloop_start(loop_);
        pa_threaded_mainloop_lock(loop_);
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "monitor recorder");
        pa_context_set_state_callback(
            context_, [](pa_context*, void* loop) { signal(loop); }, loop_);
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
               pa_context_get_state(context_) != PA_CONTEXT_READY)
            pa_threaded_mainloop_wait(loop_);
        constexpr pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, rate, 1};
        stream_ = pa_stream_new(context_, "monitor", &spec, nullptr);
        if (stream_ != nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY) {
            pa_stream_set_state_callback(
                stream_, [](pa_stream*, void* loop) { signal(loop); }, loop_);
            pa_stream_set_read_callback(stream_, &MonitorRecorder::onRead, this);
            // 5 ms pieces: the null sink then plays at most that far ahead of the ear.
            const pa_buffer_attr attributes{~0u, ~0u, ~0u, ~0u, 5 * rate / 1000 * 4};
            pa_stream_connect_record(stream_, "t.monitor", &attributes,
                                     static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                                    PA_STREAM_INTERPOLATE_TIMING |
                                                                    PA_STREAM_AUTO_TIMING_UPDATE));
            while (pa_stream_get_state(stream_) == PA_STREAM_CREATING)
                pa_threaded_mainloop_wait(loop_);
        }
        pa_threaded_mainloop_unlock(loop_);
    }
    ~MonitorRecorder() {
        finish();
        pa_threaded_mainloop_free(loop_);
    }
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    // Ends the recording (it also ends by itself when its server goes).
    void finish() {
        pa_threaded_mainloop_stop(loop_);
        if (stream_ != nullptr)
            pa_stream_unref(stream_);
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        stream_ = nullptr;
        context_ = nullptr;
    }

    // The recording so far; the samples where a click (a step to above `level` after
    // silence) starts; the steady seconds at which sample `n` was heard.
    std::vector<float> samples() const {
        const std::lock_guard lock(mutex_);
        return samples_;
    }
    std::vector<std::size_t> onsets(float level) const {
        const std::lock_guard lock(mutex_);
        std::vector<std::size_t> found;
        for (std::size_t i = 1; i < samples_.size(); ++i)
            if (std::abs(samples_[i - 1]) < 0.05f && std::abs(samples_[i]) > level)
                found.push_back(i);
        return found;
    }
    double secondsOf(std::size_t n) const {
        const std::lock_guard lock(mutex_);
        // The readings of the next half second (the sink's clock drifts a little against the
        // steady clock); by arrival, the fastest of the next second.
        std::vector<double> near;
        for (const auto& [frames, heardFirst] : readings_)
            if (frames > n && frames <= n + (byArrival_ ? rate : rate / 2))
                near.push_back(heardFirst);
        if (near.empty())
            return readings_.empty() ? 0 : readings_.back().second + static_cast<double>(n) / rate;
        auto middle = byArrival_ ? near.begin() : near.begin() + near.size() / 2;
        std::nth_element(near.begin(), middle, near.end());
        return *middle + static_cast<double>(n) / rate;
    }

private:
    static void signal(void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }
    static void onRead(pa_stream* stream, std::size_t, void* self) {
        auto& recorder = *static_cast<MonitorRecorder*>(self);
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const auto* first = static_cast<const float*>(data);
            const std::lock_guard lock(recorder.mutex_);
            if (first == nullptr) // a hole: silence keeps sample n at stream position n
                recorder.samples_.resize(recorder.samples_.size() + bytes / sizeof(float));
            else
                recorder.samples_.insert(recorder.samples_.end(), first,
                                         first + bytes / sizeof(float));
            pa_stream_drop(stream);
        }
        const double now = steadySeconds();
        pa_usec_t played = 0;
        const std::lock_guard lock(recorder.mutex_);
        const std::size_t frames = recorder.samples_.size();
        if (recorder.byArrival_)
            recorder.readings_.emplace_back(frames, now - static_cast<double>(frames) / rate);
        else if (pa_stream_get_time(stream, &played) == 0)
            recorder.readings_.emplace_back(frames, now - static_cast<double>(played) / 1e6);
    }

    const bool byArrival_;
    pa_threaded_mainloop* loop_;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    // After each piece: the samples so far, the steady seconds at which sample 0 was heard.
    std::vector<std::pair<std::size_t, double>> readings_;
};

} // namespace metro::test
