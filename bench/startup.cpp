// Start-up: the time from the process's start to the window's first painted frame, and the
// program's peak memory after a few seconds of play (bench_startup [play-seconds], default 3).
// Runs the same window, set up as the program sets it up, on whatever Qt platform is set (an X
// server under DISPLAY, or QT_QPA_PLATFORM=offscreen). A desktop session has a D-Bus session
// bus, and Qt talks to it at start-up (accessibility, the platform theme): run it under
// dbus-run-session to count that; it says whether it found one.

#include "ui/qt/MetronomeWindow.h"
#include "ui/qt/WindowAccessibility.h"

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
    if (argc < 2 || std::string(argv[1]) != "--launched-at") {
        // Start ourselves again, so that the time counts from before the process exists.
        const std::string self = argv[0];
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%.9f", monotonicSeconds());
        const char* play = argc >= 2 ? argv[1] : "3";
        execl(self.c_str(), self.c_str(), "--launched-at", stamp, play,
              static_cast<char*>(nullptr));
        return 1;
    }
    if (argc < 4)
        return 1;
    launchedAt = std::stod(argv[2]);
    const int playSeconds = std::atoi(argv[3]);
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::printf("session bus: %s\n", bus && *bus ? "yes" : "none (run under dbus-run-session)");
    const double atMain = secondsSinceProcessStart();
    qputenv("QT_NO_GLIB", "1"); // as the program chooses
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Metronome"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.metronome"));
    metro::installWindowAccessibility();
    const double atApplication = secondsSinceProcessStart();
    metro::MetronomeWindow window;
    const double atWindow = secondsSinceProcessStart();
    window.showMessage = [](const QString& m) { std::printf("message: %s\n", qPrintable(m)); };
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.form().Form_Load();
    const double atLoad = secondsSinceProcessStart();
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (firstPaint.seconds == 0 && wait.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("start-up to first painted frame: %.1f ms\n", firstPaint.seconds * 1000);
    std::printf("  main() %.1f, application %.1f, window %.1f, Form_Load (sound) %.1f, first "
                "frame %.1f ms\n",
                atMain * 1000, (atApplication - atMain) * 1000, (atWindow - atApplication) * 1000,
                (atLoad - atWindow) * 1000, (firstPaint.seconds - atLoad) * 1000);
    std::printf("peak memory after start-up: %.1f MiB\n", peakMemoryMiB());

    window.form().I_Play_Click(0);
    QTimer::singleShot(playSeconds * 1000, [&] { QApplication::quit(); });
    QApplication::exec();
    window.form().I_Play_Click(1);
    std::printf("peak memory after %d s of play: %.1f MiB\n", playSeconds, peakMemoryMiB());
    return 0;
}
