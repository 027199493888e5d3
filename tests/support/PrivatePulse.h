#pragma once
// A sound server of the test's own that speaks the PulseAudio protocol, either PulseAudio
// itself or PipeWire as current desktops run it (sound_server.sh), in its own runtime folder
// with one null sink "t" at 48 kHz as the default sink; a recorder of that sink's monitor that
// tells when each recorded sample was heard, on the steady clock; and a fixture that runs a
// test on each server. The server can be stopped and started again, as a user's server
// restarts.

#include "TempFolder.h"

#include <gtest/gtest.h>
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
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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

enum class SoundServer { PulseAudio, PipeWire };

inline void PrintTo(SoundServer server, std::ostream* out) {
    *out << (server == SoundServer::PulseAudio ? "PulseAudio" : "PipeWire");
}

// Started by sound_server.sh, which the build puts beside the test programs.
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

    // Whether this machine has the server's programs (./metro.sh test installs them).
    static bool installed(SoundServer server) { return std::system(script(server).c_str()) == 0; }

    // True once the null sink "t" is the default sink.
    bool start() {
        const std::filesystem::path ready = folder_ / "ready";
        std::filesystem::remove(ready);
        const std::string line = "exec " + script(server_) + " " + folder_.string();
        pid_ = ::fork(); // nothing but exec between fork and exec
        if (pid_ == 0) {
            ::execl("/bin/sh", "sh", "-c", line.c_str(), nullptr);
            ::_exit(127);
        }
        bool ended = pid_ < 0;
        waitFor(
            [&] {
                ended = ended || ::waitpid(pid_, nullptr, WNOHANG) != 0;
                return ended || std::filesystem::exists(ready);
            },
            60);
        if (ended) {
            pid_ = 0; // nothing left to stop
            std::cerr << std::ifstream(folder_ / "server.log").rdbuf();
        }
        return !ended && std::filesystem::exists(ready);
    }
    // Ends every process of the server.
    void stop() {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0)
            ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    // The process that serves the protocol (SIGSTOP to it: a server that hangs).
    pid_t pid() const {
        pid_t pid = 0;
        std::ifstream(folder_ / "server.pid") >> pid;
        return pid;
    }

private:
    static std::string script(SoundServer server) {
        return "bash " +
               (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "sound_server.sh")
                   .string() +
               (server == SoundServer::PulseAudio ? " pulseaudio" : " pipewire");
    }

    SoundServer server_;
    std::filesystem::path folder_;
    pid_t pid_ = 0;
};

// Each test on each server: skipped where the server is not installed, failed where it does
// not start.
class OnEachServer : public testing::TestWithParam<SoundServer> {
protected:
    void SetUp() override {
        if (!PrivatePulseServer::installed(GetParam()))
            GTEST_SKIP() << testing::PrintToString(GetParam()) << " is not installed";
        ASSERT_TRUE(server.start())
            << "the private " << testing::PrintToString(GetParam()) << " did not start";
    }

    TempFolder folder;
    PrivatePulseServer server{folder.path() / "runtime", GetParam()};
};
#define METRO_ON_EACH_SERVER(suite)                                                                \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Servers, suite,                                                                            \
        testing::Values(metro::test::SoundServer::PulseAudio, metro::test::SoundServer::PipeWire), \
        [](const auto& info) { return ::testing::PrintToString(info.param); })

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
            pa_stream_unref(std::exchange(stream_, nullptr));
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(std::exchange(context_, nullptr));
        }
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
        const std::lock_guard lock(recorder.mutex_);
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const auto* first = static_cast<const float*>(data);
            if (first == nullptr) // a hole: silence keeps sample n at stream position n
                recorder.samples_.resize(recorder.samples_.size() + bytes / sizeof(float));
            else
                recorder.samples_.insert(recorder.samples_.end(), first,
                                         first + bytes / sizeof(float));
            pa_stream_drop(stream);
        }
        const double now = steadySeconds();
        const std::size_t frames = recorder.samples_.size();
        pa_usec_t played = 0;
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
