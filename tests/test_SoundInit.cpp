// The click set-up: both clicks into slots 1 and 2, or a failure that stops at the first
// missing piece; the files are looked for beside the program, not in the working folder.

#include "engine/SoundInit.h"
#include "sound/OfflineAudioOutput.h"
#include "support/RecordingWindow.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace metro {
namespace {

// Sets up the clicks of a program in `program` whose folder `clicksIn` holds what is asked.
bool init(MetronomeState& state, const test::TempFolder& program, const test::TempFolder& clicksIn,
          bool accent, bool plain, bool device) {
    std::filesystem::create_directory(clicksIn.path() / "metro");
    for (const auto& [wanted, name] : {std::pair{accent, "metro/1.wav"}, {plain, "metro/2.wav"}})
        EXPECT_TRUE(!wanted || test::writePcm16(clicksIn.file(name), test::steadySound(3000, 480)));
    test::RecordingWindow window;
    window.folder = program.path().string();
    const bool ready = Sound_Init(state, window, [device] {
        return std::make_unique<Cls_DX7_JP>(device ? std::make_shared<OfflineAudioOutput>()
                                                   : nullptr);
    });
    EXPECT_TRUE(window.messages.empty()) << "the message box is the window's to show";
    return ready;
}

TEST(SoundInit, LoadsBothClicksOrStopsAtTheFirstMissingPiece) {
    // accent, plain click, device there -> ready, accent slot, plain slot
    const struct {
        bool accent, plain, device, ready;
        std::int16_t accentSlot, beatSlot;
    } cases[] = {
        {true, true, true, true, 1, 2},
        {false, true, true, false, -1, 0},
        {true, false, true, false, 1, -1},
        {true, true, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        test::TempFolder program;
        MetronomeState state;
        EXPECT_EQ(init(state, program, program, c.accent, c.plain, c.device), c.ready);
        EXPECT_EQ(state.AccentSlot, c.accentSlot);
        EXPECT_EQ(state.BeatSlot, c.beatSlot);
        ASSERT_NE(state.SoundDevice, nullptr);
        EXPECT_EQ(state.SoundDevice->FilePath(2), c.ready ? program.file("metro/2.wav") : "");
    }
}

TEST(SoundInit, TheClicksComeFromTheProgramFolderNotTheWorkingFolder) {
    test::TempFolder program, working;
    MetronomeState state;
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(working.path());
    EXPECT_FALSE(init(state, program, working, true, true, true));
    std::filesystem::current_path(before);
    EXPECT_EQ(state.AccentSlot, -1);
}

} // namespace
} // namespace metro
