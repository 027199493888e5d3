// The click set-up: both clicks into slots 1 and 2, or a failure that stops at the first
// missing piece; the files are looked for beside the program, not in the working folder.

#include "engine/SoundInit.h"
#include "support/RecordingWindow.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

namespace metro {

// Accent and plain click there or not, a device or none; the outcome, the two slots, and the
// one line on standard error (a path in the program's folder, or "no sound device").
struct Case {
    bool accent, plain, device, ready;
    std::int16_t accentSlot, beatSlot;
    const char* said;
    bool fromWorkingFolder = false; // the clicks lie in the working folder, not the program's
};

TEST(SoundInit, LoadsBothClicksFromTheProgramFolderOrStopsAtTheFirstMissingPiece) {
    for (const Case& c : {Case{true, true, true, true, 1, 2, ""},
                          Case{false, true, true, false, -1, 0, "metro/1.wav: missing"},
                          Case{true, false, true, false, 1, -1, "metro/2.wav: missing"},
                          Case{true, true, false, false, 0, 0, "no sound device"},
                          Case{true, true, true, false, -1, 0, "metro/1.wav: missing", true}}) {
        test::TempFolder program, working;
        const test::TempFolder& clicksIn = c.fromWorkingFolder ? working : program;
        std::filesystem::create_directory(clicksIn.path() / "metro");
        for (const auto& [wanted, name] :
             {std::pair{c.accent, "metro/1.wav"}, {c.plain, "metro/2.wav"}})
            if (wanted) {
                ASSERT_TRUE(test::writePcm16(clicksIn.file(name), test::steadySound(3000, 480)));
            }
        const auto before = std::filesystem::current_path();
        std::filesystem::current_path(working.path());
        test::RecordingWindow window;
        window.folder = program.path().string();
        MetronomeState state;
        const auto output = c.device ? std::make_shared<OfflineAudioOutput>() : nullptr;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Sound_Init(state, window, [&] { return std::make_unique<Cls_DX7_JP>(output); }),
                  c.ready);
        const std::string said = ::testing::internal::GetCapturedStderr();
        std::filesystem::current_path(before);
        const std::string line =
            std::string(c.said).starts_with("metro/") ? program.file(c.said) : std::string(c.said);
        EXPECT_EQ(said, line.empty() ? "" : "metronome: " + line + "\n");
        // The message box is the window's to show.
        EXPECT_TRUE(window.messages.empty());
        EXPECT_EQ(state.AccentSlot, c.accentSlot);
        EXPECT_EQ(state.BeatSlot, c.beatSlot);
        ASSERT_NE(state.SoundDevice, nullptr);
        EXPECT_EQ(state.SoundDevice->FilePath(2), c.ready ? program.file("metro/2.wav") : "");
    }
}

} // namespace metro
