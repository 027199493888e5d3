#pragma once
// A window's logic after start-up, without a screen: the recording window, Form1 with its
// controls and state, a clock the test moves by hand, and closing wired as the real window
// does it (Form_Unload, then the window goes). Start-up finds no clicks beside the test
// program, so the metronome is silent.

#include "ManualClock.h"
#include "RecordingWindow.h"
#include "sound/OfflineAudioOutput.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

namespace metro::test {

struct LoadedForm : ::testing::Test {
    RecordingWindow window;
    ManualClock clock;
    Form1 form{
        window,
        {.makeSoundDevice =
             [] { return std::make_unique<Cls_DX7_JP>(std::make_shared<OfflineAudioOutput>()); },
         .clockForRun = [this](const MetronomeState&) { return clock.forRun(); }}};
    WindowLayout& c = form.controls;
    MetronomeState& s = form.state();

    void SetUp() override {
        form.Form_Load();
        window.onUnload = [this] { form.Form_Unload(); };
    }
    // A key pressed and released.
    void stroke(std::int16_t key, std::int16_t shift = 0) {
        form.Form_KeyDown(key, shift);
        form.Form_KeyUp(key, shift);
    }
};

} // namespace metro::test
