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

struct Case {
    const char* name;
    bool accent, plain, device; // what is there
    bool ready;
    std::int16_t accentSlot, beatSlot;
};

struct SoundInitTest : ::testing::TestWithParam<Case> {
    bool init(const Case& c, const test::TempFolder& clicksIn) {
        std::filesystem::create_directory(clicksIn.path() / "metro");
        for (const auto& [wanted, name] : {std::pair{c.accent, "1.wav"}, {c.plain, "2.wav"}})
            EXPECT_TRUE(!wanted || test::writePcm16(clicksIn.file(std::string("metro/") + name),
                                                    test::steadySound(3000, 480)));
        window.folder = program.path().string();
        return Sound_Init(state, window, [&c] {
            return std::make_unique<Cls_DX7_JP>(c.device ? std::make_shared<OfflineAudioOutput>()
                                                         : nullptr);
        });
    }
    test::TempFolder program;
    test::RecordingWindow window;
    MetronomeState state;
};

TEST_P(SoundInitTest, LoadsBothClicksOrStopsAtTheFirstMissingPiece) {
    const Case& c = GetParam();
    EXPECT_EQ(init(c, program), c.ready);
    EXPECT_EQ(state.AccentSlot, c.accentSlot);
    EXPECT_EQ(state.BeatSlot, c.beatSlot);
    ASSERT_NE(state.SoundDevice, nullptr);
    EXPECT_EQ(state.SoundDevice->FilePath(2), c.beatSlot == 2 ? program.file("metro/2.wav") : "");
    EXPECT_TRUE(window.messages.empty()) << "the message box is the window's to show";
}

INSTANTIATE_TEST_SUITE_P(Clicks, SoundInitTest,
                         ::testing::Values(Case{"Both", true, true, true, true, 1, 2},
                                           Case{"NoAccent", false, true, true, false, -1, 0},
                                           Case{"NoPlainClick", true, false, true, false, 1, -1},
                                           Case{"NoDevice", true, true, false, false, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundInitTest, TheClicksComeFromTheProgramFolderNotTheWorkingFolder) {
    test::TempFolder working;
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(working.path());
    const bool ready = init(Case{"Both", true, true, true, true, 1, 2}, working);
    std::filesystem::current_path(before);
    EXPECT_FALSE(ready);
    EXPECT_EQ(state.AccentSlot, -1);
}

} // namespace
} // namespace metro
