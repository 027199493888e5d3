// The click set-up's outcomes: both clicks, either one missing, no device; the files are
// found beside the program, not in the working folder.

#include "engine/SoundInit.h"
#include "sound/OfflineAudioOutput.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace metro {
namespace {

class FakeWindow : public WindowServices {
public:
    explicit FakeWindow(std::string folder) : folder_(std::move(folder)) {}
    std::int32_t windowHandle() const override { return 42; }
    std::string programFolder() const override { return folder_; }
    void messageBox(const std::string&) override { ++messages; }
    void setCapture(const Control*) override {}
    void releaseCapture() override {}
    void startSystemMove() override {}
    void hideWindow() override {}
    void unloadWindow() override {}
    void startBeatFrames() override {}
    void stopBeatFrames() override {}

    int messages = 0;

private:
    std::string folder_;
};

class SoundInitTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(program.path() / "metro"); }
    void writeClick(const std::string& name) {
        ASSERT_TRUE(test::writePcm16(program.file("metro/" + name), test::steadySound(3000, 480)));
    }

    test::TempFolder program;
    FakeWindow window{program.path().string()};
    MetronomeState state;
    SoundDeviceFactory offline = [] {
        return std::make_unique<Cls_DX7_JP>(std::make_shared<OfflineAudioOutput>());
    };
};

TEST_F(SoundInitTest, BothClicksLoadIntoSlotsOneAndTwoOnceAtFullLoudness) {
    writeClick("1.wav");
    writeClick("2.wav");
    EXPECT_TRUE(Sound_Init(state, window, offline));
    EXPECT_EQ(state.AccentSlot, 1);
    EXPECT_EQ(state.BeatSlot, 2);
    Cls_DX7_JP& sound = *state.SoundDevice;
    EXPECT_EQ(sound.FilePath(1), program.file("metro/1.wav"));
    EXPECT_EQ(sound.FilePath(2), program.file("metro/2.wav"));
    for (const std::int16_t slot : {state.AccentSlot, state.BeatSlot}) {
        EXPECT_FALSE(sound.LoopPlay(slot));
        EXPECT_EQ(sound.Volume(slot), 0);
    }
    EXPECT_EQ(window.messages, 0);
}

TEST_F(SoundInitTest, AMissingAccentStopsBeforeThePlainClick) {
    writeClick("2.wav");
    EXPECT_FALSE(Sound_Init(state, window, offline));
    EXPECT_EQ(state.AccentSlot, -1);
    EXPECT_EQ(state.BeatSlot, 0);
    ASSERT_NE(state.SoundDevice, nullptr);
    EXPECT_EQ(state.SoundDevice->FilePath(1), ""); // 2.wav was never loaded
    EXPECT_EQ(window.messages, 0);
}

TEST_F(SoundInitTest, AMissingPlainClickKeepsTheAccentLoaded) {
    writeClick("1.wav");
    EXPECT_FALSE(Sound_Init(state, window, offline));
    EXPECT_EQ(state.AccentSlot, 1);
    EXPECT_EQ(state.BeatSlot, -1);
    EXPECT_EQ(state.SoundDevice->FilePath(1), program.file("metro/1.wav"));
}

TEST_F(SoundInitTest, WithoutADeviceNothingIsLoaded) {
    writeClick("1.wav");
    writeClick("2.wav");
    const SoundDeviceFactory noDevice = [] { return std::make_unique<Cls_DX7_JP>(nullptr); };
    EXPECT_FALSE(Sound_Init(state, window, noDevice));
    EXPECT_EQ(state.AccentSlot, 0);
    EXPECT_EQ(state.BeatSlot, 0);
    ASSERT_NE(state.SoundDevice, nullptr);
    EXPECT_FALSE(state.SoundDevice->InitOK());
    EXPECT_EQ(window.messages, 0);
}

TEST_F(SoundInitTest, TheClicksComeFromTheProgramFolderNotTheWorkingFolder) {
    test::TempFolder working;
    std::filesystem::create_directory(working.path() / "metro");
    for (const char* name : {"metro/1.wav", "metro/2.wav"})
        ASSERT_TRUE(test::writePcm16(working.file(name), test::steadySound(3000, 480)));
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(working.path());
    const bool result = Sound_Init(state, window, offline);
    std::filesystem::current_path(before);
    EXPECT_FALSE(result);
    EXPECT_EQ(state.AccentSlot, -1);
}

} // namespace
} // namespace metro
