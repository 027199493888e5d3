#pragma once
// A window without a screen for the logic tests: it records what the logic asked of it.

#include "model/WindowServices.h"
#include "ui/form/PointerRouter.h"

#include <functional>
#include <string>
#include <vector>

namespace metro::test {

class RecordingWindow : public WindowServices {
public:
    std::string folder = "/nonexistent-metronome-folder";
    std::vector<std::string> messages;
    bool captured = false;
    const Control* captureTarget = nullptr;
    int systemMoves = 0;
    bool hidden = false;
    int unloads = 0;
    bool framesRunning = false;
    std::function<void()> onUnload;  // the real window runs Form_Unload, then closes
    PointerRouter* router = nullptr; // the real window tells its router of the capture

    std::int32_t windowHandle() const override { return 0x2A; }
    std::string programFolder() const override { return folder; }
    void messageBox(const std::string& text) override { messages.push_back(text); }
    void setCapture(const Control* target) override {
        captured = true;
        captureTarget = target;
        if (router)
            router->setCapture(target);
    }
    void releaseCapture() override {
        captured = false;
        captureTarget = nullptr;
        if (router)
            router->releaseCapture();
    }
    void startSystemMove() override { ++systemMoves; }
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
