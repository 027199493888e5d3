// How close before a click a change can still reach it on the sound server that
// PULSE_SERVER / the session names, two ways:
// - taking back what the stream holds (the output's takeBack, a negative seek): a click is
//   placed 100 ms ahead with a quieter marker 50 ms after it, and cancelled when the heard
//   clock is `lead` ms before it; the sink's monitor, recorded with parec, tells whether it
//   sounded. Printed per lead: how many of the clicks still sounded, and how far ahead of
//   the heard frame the output says a change can reach (ChangeableFrame).
// - a shorter queue and no taking back: for each stream buffer, how far ahead of the heard
//   frame the write head runs (a change reaches only what is not rendered yet), and how
//   often the stream ran short in that time.
// Usage: bench_take_back [trials per lead] [busy]   (busy: as many spinning threads as cores)

#include "sound/PulseAudioOutput.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace metro;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kMs = 48; // frames

// The default sink's monitor, one channel, as parec gives it.
class Recorder {
public:
    Recorder() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execlp("parec", "parec", "-d", "@DEFAULT_MONITOR@", "--format=float32le",
                     "--rate=48000", "--channels=1", "--latency-msec=10", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        reader_ = std::thread([this, fd = fds[0]] {
            float buffer[1024];
            for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
                samples_.insert(samples_.end(), buffer,
                                buffer + static_cast<std::size_t>(got) / sizeof(float));
            ::close(fd);
        });
    }
    // The levels of the sounds that start in the recording, in order.
    std::vector<float> finish() {
        if (pid_ <= 0)
            return {};
        ::kill(pid_, SIGINT);
        ::waitpid(pid_, nullptr, 0);
        reader_.join();
        std::vector<float> levels;
        std::size_t quiet = 0;
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            if (std::abs(samples_[i]) < 0.05f) {
                ++quiet;
                continue;
            }
            if (quiet >= 100 && i + 20 < samples_.size())
                levels.push_back(std::abs(samples_[i + 20]));
            quiet = 0;
        }
        return levels;
    }

private:
    pid_t pid_ = 0;
    std::thread reader_;
    std::vector<float> samples_;
};

VoiceId addSound(PulseAudioOutput& output, float level) {
    const RenderingHold hold(output);
    return output.mixer().addVoice(std::vector<float>(std::size_t{2 * 400}, level), hold);
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::nth_element(values.begin(),
                     values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

void waitUntilHeard(PulseAudioOutput& output, std::int64_t frame) {
    for (const auto end = std::chrono::steady_clock::now() + 2s;
         output.heardFrame() < frame && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(100us);
}

} // namespace

int main(int argc, char** argv) {
    const int trials = argc > 1 ? std::atoi(argv[1]) : 10;
    const bool busy = argc > 2 && std::strcmp(argv[2], "busy") == 0;
    std::atomic<bool> stop{false};
    std::vector<std::thread> spinners;
    for (unsigned i = 0; busy && i < std::max(1u, std::thread::hardware_concurrency()); ++i)
        spinners.emplace_back([&] {
            volatile unsigned long n = 0;
            while (!stop.load(std::memory_order_relaxed))
                n = n + 1;
        });

    std::printf("Taking back (60 ms stream buffer)%s:\n  lead  sounded  reach claimed "
                "(median, max)\n",
                busy ? ", cores kept busy" : "");
    for (const int lead : {40, 30, 20, 15, 10, 5}) {
        auto output = PulseAudioOutput::openDefault();
        if (!output) {
            std::printf("no sound server\n");
            return 1;
        }
        const VoiceId click = addSound(*output, 0.5f);
        const VoiceId marker = addSound(*output, 0.25f);
        std::this_thread::sleep_for(300ms);
        Recorder recording;
        std::this_thread::sleep_for(300ms);
        std::vector<double> reach;
        for (int trial = 0; trial < trials; ++trial) {
            const std::int64_t frame = output->mixer().writeHeadFrame() + 100 * kMs;
            output->mixer().play(click, frame, false);
            output->mixer().play(marker, frame + 50 * kMs, false);
            waitUntilHeard(*output, frame - lead * kMs);
            {
                const RenderingHold hold(*output);
                reach.push_back(
                    static_cast<double>(output->changeableFrame() - output->heardFrame()) / kMs);
                output->takeBack(frame, hold);
                output->mixer().cancelFrom(click, frame);
            }
            waitUntilHeard(*output, frame + 150 * kMs);
        }
        std::this_thread::sleep_for(200ms);
        const std::vector<float> levels = recording.finish();
        int sounded = 0;
        int markers = 0;
        bool clickSince = false;
        for (const float level : levels) {
            if (level > 0.375f) {
                clickSince = true;
            } else if (level > 0.15f) {
                ++markers;
                sounded += clickSince ? 1 : 0;
                clickSince = false;
            }
        }
        std::printf("  %2d ms  %2d of %2d  %5.1f ms, %5.1f ms%s\n", lead, sounded, trials,
                    median(reach), *std::max_element(reach.begin(), reach.end()),
                    markers == trials ? "" : "  (markers missing: a stall?)");
        std::fflush(stdout);
    }

    std::printf("A shorter queue, nothing taken back:\n  buffer  write head ahead of heard "
                "(median, max)  ran short\n");
    for (const auto& buffering :
         {PulseAudioOutput::Buffering{60ms, 15ms}, {30ms, 8ms}, {20ms, 5ms}, {10ms, 3ms}}) {
        auto output = PulseAudioOutput::openDefault(buffering);
        if (!output)
            return 1;
        std::this_thread::sleep_for(500ms);
        const std::int64_t underruns = output->underruns();
        std::vector<double> ahead;
        for (const auto end = std::chrono::steady_clock::now() + 3s;
             std::chrono::steady_clock::now() < end;) {
            ahead.push_back(
                static_cast<double>(output->mixer().writeHeadFrame() - output->heardFrame()) / kMs);
            std::this_thread::sleep_for(1ms);
        }
        std::printf("  %3lld ms  %5.1f ms, %5.1f ms  %lld\n",
                    static_cast<long long>(buffering.target.count()), median(ahead),
                    *std::max_element(ahead.begin(), ahead.end()),
                    static_cast<long long>(output->underruns() - underruns));
        std::fflush(stdout);
    }
    stop = true;
    for (auto& spinner : spinners)
        spinner.join();
    return 0;
}
