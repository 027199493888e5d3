// SDL's output, the fallback where no sound server runs: clicks reach the device on their
// frames, it sleeps and wakes with its sounds, reopens a device that fails, and without any
// sound system the instance is silent.

#include "sound/Cls_DX7_JP.h"
#include "sound/SdlAudioOutput.h"
#include "support/PrivatePulse.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

namespace metro {
namespace {

using namespace std::chrono_literals;

struct SdlOutput : ::testing::Test {
    // The device on SDL's `driver`, a 64-frame click loaded into `index`.
    void open(const char* driver, const std::string& diskFile = "") {
        ::setenv("SDL_AUDIODRIVER", driver, 1);
        ::setenv("SDL_DISKAUDIOFILE", diskFile.c_str(), 1);
        ASSERT_TRUE(test::writePcm16(file, test::steadySound(8000, 64)));
        sound = std::make_unique<Cls_DX7_JP>();
        sound->Initialize(1, 2);
        device = std::dynamic_pointer_cast<SdlAudioOutput>(sound->rDirectSound());
        ASSERT_NE(device, nullptr) << "not SDL's output";
        ASSERT_TRUE(sound->Wave_LoadFile(file, index));
    }
    test::TempFolder folder;
    const std::string file = folder.file("click.wav");
    std::unique_ptr<Cls_DX7_JP> sound;
    std::int16_t index = 0;
    std::shared_ptr<SdlAudioOutput> device;
};

// The disk driver writes every block the device plays to a file, maybe after a block of
// silence of its own: the clicks are checked for their distance, not their place.
TEST_F(SdlOutput, ClicksReachTheDeviceExactlyTheirFramesApart) {
    const std::string written = folder.file("device.raw");
    constexpr std::int64_t kApart = 1007;
    open("disk", written);
    const int channels = device->format().channels;
    const std::int64_t first = sound->WriteHeadFrame() + 2700; // ahead, as the metronome plays
    sound->Wave_PlayAt(index, first);
    sound->Wave_PlayAt(index, first + kApart);
    ASSERT_TRUE(test::waitFor([&] { return sound->HeardFrame() > first + kApart + 1024; }, 5));
    device.reset();
    sound.reset(); // closes the device, and the file is complete
    std::ifstream in(written, std::ios::binary);
    std::vector<float> samples;
    for (float sample = 0; in.read(reinterpret_cast<char*>(&sample), sizeof sample);)
        samples.push_back(sample);
    const int onset = test::firstSoundingFrame(samples, channels);
    ASSERT_GE(onset, 0);
    samples.erase(samples.begin(), samples.begin() + (onset + 64) * channels);
    EXPECT_EQ(onset + 64 + test::firstSoundingFrame(samples, channels), onset + kApart);
}

TEST_F(SdlOutput, AsleepTheClockStandsStillAndAPlayWakesItWithItsSounds) {
    open("dummy");
    ASSERT_TRUE(test::waitFor([&] { return sound->HeardFrame() > 4096; }, 5)) << "the clock runs";
    sound->Device_Awake(false);
    ASSERT_TRUE(test::waitFor([&] { return !device->deviceOpen(); }, 5));
    const std::int64_t asleepAt = sound->WriteHeadFrame();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sound->WriteHeadFrame(), asleepAt) << "no frames pass while asleep";
    EXPECT_TRUE(sound->Wave_PlayAt(index, asleepAt));
    ASSERT_TRUE(test::waitFor([&] { return sound->WriteHeadFrame() > asleepAt + 4096; }, 5));
    EXPECT_EQ(device->devicesLost(), 0);
    EXPECT_EQ(sound->FilePath(index), file) << "sounds kept";
}

// The disk driver gives up its device at the first write that fails, as a driver does when
// its hardware goes away; /dev/full fails every write.
TEST_F(SdlOutput, AFailingDeviceIsReopenedWhileAwakeAndLeftAloneAsleep) {
    open("disk", "/dev/full");
    EXPECT_TRUE(sound->Wave_Play(index));
    ASSERT_TRUE(test::waitFor([&] { return device->devicesLost() >= 3; }, 5));
    sound->Device_Awake(false);
    ASSERT_TRUE(test::waitFor([&] { return !device->deviceOpen(); }, 5));
    std::this_thread::sleep_for(300ms); // a reopen already under way has ended by now
    const std::int32_t lost = device->devicesLost();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(device->devicesLost(), lost);
    EXPECT_FALSE(device->deviceOpen());
    EXPECT_EQ(sound->FilePath(index), file);
}

TEST(SdlOutputMissing, WithoutASoundSystemTheInstanceIsSilent) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(SdlAudioOutput::openDefault(), nullptr);
    Cls_DX7_JP sound;
    sound.Initialize(1, 2);
    EXPECT_FALSE(sound.InitOK());
    EXPECT_EQ(sound.rDirectSound(), nullptr);
    EXPECT_EQ(sound.HeardFrame(), 0);
}

} // namespace
} // namespace metro
