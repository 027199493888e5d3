// Every test program runs without a screen and without a sound server: Qt's offscreen
// platform and SDL's dummy audio driver, unless the caller chose others.

#include <cstdlib>

namespace {
const bool environmentSet = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // A server that is never there: the default output falls back to SDL's dummy driver
    // instead of playing on the desktop's sound server.
    setenv("PULSE_SERVER", "unix:/nonexistent/metronome-tests/native", 0);
    return true;
}();
} // namespace
