// The metronome: one window; the program ends when it closes.

#include "ui/qt/MetronomeWindow.h"
#include "ui/qt/WindowAccessibility.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Qt's own event loop: cheaper beat frames, and timers to the microsecond.
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Metronome"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.metronome"));

    metro::installWindowAccessibility();
    metro::MetronomeWindow window;
    window.form().Form_Load(); // the sound set-up's message, if any, comes before the window
    window.show();
    return QApplication::exec();
}
