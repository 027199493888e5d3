// The metronome: one window; the program ends when it closes.

#include "app/CommandLine.h"
#include "app/PlatformOpening.h"
#include "ui/qt/MetronomeWindow.h"
#include "ui/qt/WindowAccessibility.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("Metronome"));
    QApplication::setApplicationVersion(metro::programVersion());

    // The command line before anything else: help, the version and a mistake need neither a
    // screen nor a sound device.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const metro::CommandLine commandLine = metro::parseCommandLine(arguments);
    switch (commandLine.outcome) {
    case metro::CommandLine::Outcome::Help:
    case metro::CommandLine::Outcome::Version:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
        return 0;
    case metro::CommandLine::Outcome::Mistake:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stderr);
        return 2;
    case metro::CommandLine::Outcome::Run:
        break;
    }

    // Qt's own event loop: cheaper beat frames, and timers to the microsecond.
    qputenv("QT_NO_GLIB", "1");
    // No display or no platform: one line and status 1, not Qt's advice and an abort.
    auto opening = std::make_unique<metro::PlatformOpening>(arguments);
    QApplication app(argc, argv);
    opening.reset();
    QApplication::setDesktopFileName(QStringLiteral("org.example.metronome"));

    metro::installWindowAccessibility();
    metro::MetronomeWindow window;
    window.form().Form_Load(); // the sound set-up's message, if any, comes before the window
    window.runHandler(
        [&](metro::Form1& form) { metro::applyStartOptions(form, commandLine.start); });
    window.show();
    return QApplication::exec();
}
