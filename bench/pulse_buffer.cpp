// What the sound server output's buffer has to ride out: for each buffer size, the output
// plays for a while on the sound server that PULSE_SERVER / the session names, with the
// machine made busy by as many spinning threads as it has cores (same priority), and the
// program prints how often the stream ran short, how often the server asked for data, and
// the CPU time this process spent (the spinning threads left out).
// Usage: bench_pulse_buffer [seconds per size]

#include "sound/PulseAudioOutput.h"

#include <sys/resource.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace metro;
using namespace std::chrono_literals;

namespace {

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const std::vector<PulseAudioOutput::Buffering> sizes{
        {20ms, 5ms}, {40ms, 10ms}, {60ms, 15ms}, {100ms, 25ms}};
    std::printf("target  request  | busy: runs short  requests/s  CPU %%  | idle: runs short  "
                "requests/s  CPU %%\n");
    for (const auto& size : sizes) {
        std::printf("%4lld ms  %4lld ms  |", static_cast<long long>(size.target.count()),
                    static_cast<long long>(size.request.count()));
        for (const bool busy : {true, false}) {
            auto output = PulseAudioOutput::openDefault(size);
            if (!output) {
                std::printf(" no sound server\n");
                return 1;
            }
            std::this_thread::sleep_for(500ms); // past the start
            std::atomic<bool> stop{false};
            std::atomic<double> spinCpu{0};
            std::vector<std::thread> spinners;
            const unsigned cores = busy ? std::max(1u, std::thread::hardware_concurrency()) : 0;
            for (unsigned i = 0; i < cores; ++i)
                spinners.emplace_back([&] {
                    volatile unsigned long n = 0;
                    while (!stop.load(std::memory_order_relaxed))
                        n = n + 1;
                    double before = spinCpu.load();
                    while (!spinCpu.compare_exchange_weak(before, before + threadCpuSeconds())) {
                    }
                });
            const auto underruns = output->underruns();
            const auto requests = output->writeRequests();
            const double cpu = processCpuSeconds();
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
            stop = true;
            for (auto& spinner : spinners)
                spinner.join();
            const double used = processCpuSeconds() - cpu - spinCpu.load();
            std::printf("  %12lld  %10.1f  %5.2f  |",
                        static_cast<long long>(output->underruns() - underruns),
                        static_cast<double>(output->writeRequests() - requests) / seconds,
                        used / seconds * 100);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
    return 0;
}
