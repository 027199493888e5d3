#pragma once
// A PulseAudio server of the test's own, in its own runtime folder, with one null sink "t"
// at 48 kHz that never rewinds (a rewound stretch would be missing from its monitor), and a
// recorder of that sink's monitor: what a user's sound server would play. The server can be
// stopped and started again, as a user's server restarts. The recorder notes when each piece
// of the recording arrived, so a sample's steady-clock time can be told (to within the
// capture latency) across two recordings.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

// Runs `command` through the shell, which becomes the program (exec), with the test's
// environment and stdout to `out` (-1: as the test's). 0 on failure.
inline pid_t spawnProgram(const std::string& command, int out = -1) {
    const std::string line = "exec " + command; // nothing but exec between fork and exec
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (out >= 0)
            ::dup2(out, STDOUT_FILENO);
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

struct PrivatePulseServer {
    // Points this process's sound clients (SDL, the recorder) at the folder's server and
    // keeps them from starting a server of their own.
    explicit PrivatePulseServer(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder / "home");
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        std::ofstream(folder / "client.conf") << "autospawn = no\n";
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        ::setenv("HOME", (folder / "home").c_str(), 1);
        ::setenv("PULSE_CLIENTCONFIG", (folder / "client.conf").c_str(), 1);
        ::unsetenv("PULSE_SERVER");
    }
    ~PrivatePulseServer() { stop(); }

    // True once the server answers (within 10 s: a busy machine starts it slowly).
    bool start() {
        pid = spawnProgram("pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no "
                           "--load='module-null-sink sink_name=t rate=48000 norewinds=1' "
                           "--load=module-native-protocol-unix >/dev/null 2>&1");
        const bool answers =
            pid != 0 && waitFor([] { return std::system("pactl info >/dev/null 2>&1") == 0; }, 10);
        if (!answers)
            stop();
        return answers;
    }
    void stop() { endProgram(pid, SIGTERM); }

    pid_t pid = 0; // SIGSTOP to it: a server that hangs
};

class MonitorRecorder {
public:
    static constexpr int rate = 48000;

    MonitorRecorder() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid_ = spawnProgram("parec -d t.monitor --format=float32le --rate=48000 --channels=1 "
                            "--latency-msec=10 2>/dev/null",
                            fds[1]);
        ::close(fds[1]);
        reader_ = std::thread([this, fd = fds[0]] {
            std::vector<char> bytes;
            char buffer[4096];
            for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
                bytes.insert(bytes.end(), buffer, buffer + got);
                pieces_.push_back({bytes.size() / sizeof(float), steadySeconds()});
            }
            ::close(fd);
            samples_.resize(bytes.size() / sizeof(float));
            std::memcpy(samples_.data(), bytes.data(), samples_.size() * sizeof(float));
        });
    }
    ~MonitorRecorder() { finish(); }

    // Ends the recording (the recorder also ends by itself when its server goes).
    void finish() {
        endProgram(pid_, SIGINT);
        if (reader_.joinable())
            reader_.join();
    }

    // After finish(): the recording; the samples where a click (a step to above `level` after
    // silence) starts; the steady time in seconds of sample `n`, the earliest any piece allows.
    const std::vector<float>& samples() const { return samples_; }
    std::vector<std::size_t> onsets(float level) const {
        std::vector<std::size_t> found;
        for (std::size_t i = 1; i < samples_.size(); ++i)
            if (std::abs(samples_[i - 1]) < 0.05f && std::abs(samples_[i]) > level)
                found.push_back(i);
        return found;
    }
    double secondsOf(std::size_t n) const {
        double best = 1e300;
        for (const auto& [end, arrived] : pieces_)
            if (end > n)
                best = std::min(best, arrived - static_cast<double>(end - n) / rate);
        return best;
    }

private:
    pid_t pid_ = 0;
    std::thread reader_;
    std::vector<std::pair<std::size_t, double>> pieces_; // samples so far, steady seconds when
    std::vector<float> samples_;                         // (the reader thread's until joined)
};

} // namespace metro::test
