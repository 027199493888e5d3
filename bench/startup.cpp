// Start-up: the time from the process's start to the window's first painted frame, and the
// program's peak memory after a few seconds of play (bench_startup [stamp [play-seconds]]). Runs
// the same window as the program, on whatever Qt platform is set (an X server under DISPLAY, or
// QT_QPA_PLATFORM=offscreen).

#include "ui/qt/MetronomeWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double monotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The moment the parent started this process (passed on its command line).
double launchedAt = 0;
double secondsSinceProcessStart() {
    return monotonicSeconds() - launchedAt;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

class FirstPaint : public QObject {
public:
    bool painted = false;
    double seconds = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !painted) {
            painted = true;
            // Measured once the paint event has been handled.
            QTimer::singleShot(0, [this] { seconds = secondsSinceProcessStart(); });
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        // Start ourselves again, so that the time counts from before the process exists.
        const std::string self = argv[0];
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%.9f", monotonicSeconds());
        execl(self.c_str(), self.c_str(), stamp, static_cast<char*>(nullptr));
        return 1;
    }
    launchedAt = std::stod(argv[1]);
    QApplication app(argc, argv);
    metro::MetronomeWindow window;
    window.showMessage = [](const QString& m) { std::printf("message: %s\n", qPrintable(m)); };
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.form().Form_Load();
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (firstPaint.seconds == 0 && wait.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("start-up to first painted frame: %.1f ms\n", firstPaint.seconds * 1000);
    std::printf("peak memory after start-up: %.1f MiB\n", peakMemoryMiB());

    const int playSeconds = argc >= 3 ? std::atoi(argv[2]) : 3;
    window.form().I_Play_Click(0);
    QTimer::singleShot(playSeconds * 1000, [&] { QApplication::quit(); });
    QApplication::exec();
    window.form().I_Play_Click(1);
    std::printf("peak memory after %d s of play: %.1f MiB\n", playSeconds, peakMemoryMiB());
    return 0;
}
