#pragma once
// What the metronome's logic needs from the window toolkit beyond the controls themselves.
// The Qt window implements it; tests use a recording fake. All calls come from the window's
// own thread.

#include <cstdint>
#include <string>

namespace metro {

struct Control;

class WindowServices {
public:
    virtual ~WindowServices() = default;

    // A non-zero number that names the window to the sound set-up.
    virtual std::int32_t windowHandle() const = 0;
    // The folder that holds the program file, without a trailing separator.
    virtual std::string programFolder() const = 0;
    // Modal, one OK button, the application's default title; returns when dismissed.
    virtual void messageBox(const std::string& text) = 0;

    // Pointer capture: from now on every pointer event goes to `target` (nullptr: the window
    // itself), in its coordinates, until released or captured elsewhere.
    virtual void setCapture(const Control* target) = 0;
    virtual void releaseCapture() = 0;
    // An interactive move of the window that follows the pointer while the left button is held.
    virtual void startSystemMove() = 0;

    virtual void hideWindow() = 0;
    // Closes the window; Form_Unload runs first. The program ends with its only window.
    virtual void unloadWindow() = 0;

    // The running metronome's frames: called about once per screen refresh between
    // start and stop, never while stopped.
    virtual void startBeatFrames() = 0;
    virtual void stopBeatFrames() = 0;
};

} // namespace metro
