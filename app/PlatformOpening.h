#pragma once
// Opening the window system, the one step before the window that fails for want of a screen.
// Qt then prints its advice on platform plugins and aborts the process. While a
// PlatformOpening lives (around the application object's construction), Qt's messages are
// held back; should the platform fail, one line names the display or platform that could not
// be opened and the program ends with status 1, as other desktop programs do. Once it is gone,
// the messages held back are passed on as Qt would have printed them.

#include <QString>
#include <QStringList>

#include <string>

namespace metro {

class PlatformOpening {
public:
    // `arguments` as main() gets them: -platform and -display are read from them.
    explicit PlatformOpening(const QStringList& arguments);
    ~PlatformOpening();
    PlatformOpening(const PlatformOpening&) = delete;
    PlatformOpening& operator=(const PlatformOpening&) = delete;
};

// What the user asked for, from the arguments and the environment.
struct PlatformRequest {
    QString platform;       // "xcb", "wayland", ...; empty: Qt's default (xcb here)
    QString display;        // the X display (-display, else DISPLAY); may be empty
    QString waylandDisplay; // WAYLAND_DISPLAY; may be empty
};
PlatformRequest platformRequest(const QStringList& arguments);

// The one line, ending in a line break, for `failed`: the platform Qt named as the one it
// could not load (empty: the one requested).
std::string platformFailureLine(const PlatformRequest& request, const QString& failed);

} // namespace metro
