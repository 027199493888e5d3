#pragma once
// A window without a screen for the logic tests: it records what the logic asked of it.

#include "model/WindowServices.h"

#include <functional>
#include <string>
#include <vector>

namespace metro::test {

class RecordingWindow : public WindowServices {
public:
    std::string folder = "/nonexistent-metronome-folder";
    std::vector<std::string> messages;
    bool grabbed = false, hidden = false, framesRunning = false; // grabbed: the platform's grab
    int systemMoves = 0, unloads = 0;
    std::function<void()> onUnload;     // the real window runs Form_Unload, then closes
    std::function<void()> onSystemMove; // the real window hands the pointer to its manager

    std::int32_t windowHandle() const override { return 0x2A; }
    std::string programFolder() const override { return folder; }
    void messageBox(const std::string& text) override { messages.push_back(text); }
    void setCapture() override { grabbed = true; }
    void releaseCapture() override { grabbed = false; }
    void startSystemMove() override {
        ++systemMoves;
        if (onSystemMove)
            onSystemMove();
    }
    void hideWindow() override { hidden = true; }
    void unloadWindow() override {
        ++unloads;
        if (onUnload)
            onUnload();
    }
    void startBeatFrames() override { framesRunning = true; }
    void stopBeatFrames() override { framesRunning = false; }
};

} // namespace metro::test
