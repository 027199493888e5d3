// The real device path on SDL's dummy driver (set for every test): opening, the clock that
// the callback advances in real time, playing through the callback, and no device at all.

#include "sound/Cls_DX7_JP.h"
#include "sound/SdlAudioOutput.h"
#include "support/DummyAudioDriver.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace metro {
namespace {

using namespace std::chrono_literals;

class SdlAudioOutputTest : public ::testing::Test {
protected:
    void SetUp() override { test::useDummyAudioDriver(); }
};

// Waits (up to two seconds) until `done` holds.
template <typename Condition> bool waitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST_F(SdlAudioOutputTest, TheDummyDeviceOpensWithTheAskedFormatAndItsClockRuns) {
    Cls_DX7_JP sound;
    EXPECT_EQ(sound.SampleRate(), 0); // not Ready yet
    sound.Initialize(1, 2);
    ASSERT_TRUE(sound.InitOK());
    ASSERT_NE(sound.rDirectSound(), nullptr);
    const DeviceFormat format = sound.rDirectSound()->format();
    EXPECT_EQ(sound.SampleRate(), format.sampleRate);
    EXPECT_EQ(format.blockFrames, 1024);
    EXPECT_GE(sound.DeviceCount(), 0);

    const std::int64_t start = sound.WriteHeadFrame();
    EXPECT_GE(start, format.blockFrames);
    ASSERT_TRUE(waitFor([&] { return sound.WriteHeadFrame() >= start + 4 * format.blockFrames; }));
    const std::int64_t heard = sound.HeardFrame();
    EXPECT_GE(heard, 0);
    EXPECT_LE(heard, sound.WriteHeadFrame() - format.blockFrames);
    EXPECT_TRUE(waitFor([&] { return sound.HeardFrame() > heard; }));
}

TEST_F(SdlAudioOutputTest, AsleepTheClockStandsStillAndAPlayWakesItWithItsSounds) {
    test::TempFolder folder;
    const std::string file = folder.file("click.wav");
    ASSERT_TRUE(test::writePcm16(file, test::steadySound(8000, 480)));
    Cls_DX7_JP sound;
    sound.Initialize(1, 2);
    std::int16_t index = 0;
    ASSERT_TRUE(sound.Wave_LoadFile(file, index));
    auto output = sound.rDirectSound();
    ASSERT_TRUE(waitFor([&] { return sound.WriteHeadFrame() > 4096; }));

    sound.Device_Awake(false);
    EXPECT_FALSE(output->awake());
    // The keeper thread closes the device; the window thread does not wait for it.
    const auto device = std::dynamic_pointer_cast<SdlAudioOutput>(output);
    ASSERT_TRUE(waitFor([&] { return !device->deviceOpen(); }));
    const std::int64_t asleepAt = sound.WriteHeadFrame();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sound.WriteHeadFrame(), asleepAt) << "no frames pass while asleep";

    // A play wakes the device; the clock carries on from where it stood.
    EXPECT_TRUE(sound.Wave_PlayAt(index, sound.WriteHeadFrame()));
    EXPECT_TRUE(output->awake());
    ASSERT_TRUE(waitFor([&] { return sound.WriteHeadFrame() > asleepAt + 4096; }));
    EXPECT_TRUE(device->deviceOpen());
    EXPECT_EQ(device->devicesLost(), 0);
    EXPECT_EQ(sound.FilePath(index), file) << "the slot survived the sleep";

    sound.Device_Awake(false);
    sound.Device_Awake(true);
    EXPECT_TRUE(output->awake());
}

TEST_F(SdlAudioOutputTest, ClicksPlayThroughTheCallbackAndTeardownWhileSoundingIsClean) {
    test::TempFolder folder;
    const std::string file = folder.file("click.wav");
    ASSERT_TRUE(test::writePcm16(file, test::steadySound(8000, 4800)));
    auto sound = std::make_unique<Cls_DX7_JP>();
    sound->Initialize(1, 2);
    std::int16_t index = 0;
    ASSERT_TRUE(sound->Wave_LoadFile(file, index));
    sound->LoopPlay(index, true);
    sound->Volume(index, -300);
    EXPECT_TRUE(sound->Wave_Play(index));
    EXPECT_TRUE(sound->Wave_PlayAt(index, sound->WriteHeadFrame() + 100));
    const std::int64_t later = sound->WriteHeadFrame() + 2048;
    ASSERT_TRUE(waitFor([&] { return sound->WriteHeadFrame() > later; }));
    EXPECT_TRUE(sound->Wave_Stop(index));
    EXPECT_TRUE(sound->Wave_Clear(index));
    ASSERT_TRUE(sound->Wave_LoadFile(file, index));
    sound->Wave_Play(index);
    sound.reset(); // closes the device while the click sounds
}

TEST_F(SdlAudioOutputTest, ClicksReachTheDeviceExactlyTheirFramesApart) {
    // The disk driver writes every block the device plays, in order, to a file. Before the
    // first callback the device may already have played a block of silence of its own, so
    // the file is checked for the clicks' distance, not their place.
    test::TempFolder folder;
    const std::string file = folder.file("click.wav");
    const std::string written = folder.file("device.raw");
    ASSERT_TRUE(test::writePcm16(file, test::steadySound(8000, 64)));
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", written.c_str(), 1);
    constexpr std::int64_t kApart = 1000 + 7;
    int channels = 0;
    {
        Cls_DX7_JP sound;
        sound.Initialize(1, 2);
        ASSERT_TRUE(sound.InitOK());
        channels = sound.rDirectSound()->format().channels;
        std::int16_t index = 0;
        ASSERT_TRUE(sound.Wave_LoadFile(file, index));
        // 50 ms ahead, as the metronome hands clicks over.
        const std::int64_t first = sound.WriteHeadFrame() + 2400 + 300;
        sound.Wave_PlayAt(index, first);
        sound.Wave_PlayAt(index, first + kApart);
        ASSERT_TRUE(waitFor([&] { return sound.HeardFrame() > first + kApart + 1024; }));
    }
    std::ifstream in(written, std::ios::binary);
    std::vector<float> samples;
    float sample = 0.0f;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample))
        samples.push_back(sample);
    const int onset = test::firstSoundingFrame(samples, channels);
    ASSERT_GE(onset, 0);
    const std::size_t firstEnd = static_cast<std::size_t>((onset + 64) * channels);
    ASSERT_LT(firstEnd, samples.size());
    const std::vector<float> rest(samples.begin() + static_cast<std::ptrdiff_t>(firstEnd),
                                  samples.end());
    EXPECT_EQ(onset + 64 + test::firstSoundingFrame(rest, channels), onset + kApart);
}

TEST_F(SdlAudioOutputTest, AFailingDeviceIsReopenedWhileAwakeAndLeftAloneAsleep) {
    // The disk driver gives up its device at the first write that fails, as a driver does
    // when its hardware or sound server goes away; /dev/full fails every write.
    test::TempFolder folder;
    const std::string file = folder.file("click.wav");
    ASSERT_TRUE(test::writePcm16(file, test::steadySound(8000, 64)));
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);
    Cls_DX7_JP sound;
    sound.Initialize(1, 2);
    ASSERT_TRUE(sound.InitOK());
    std::int16_t index = 0;
    ASSERT_TRUE(sound.Wave_LoadFile(file, index));
    const auto device = std::dynamic_pointer_cast<SdlAudioOutput>(sound.rDirectSound());
    ASSERT_NE(device, nullptr);

    // Awake, each lost device is noticed and the default device opened again.
    EXPECT_TRUE(sound.Wave_Play(index));
    ASSERT_TRUE(waitFor([&] { return device->devicesLost() >= 3; }));

    // Asleep, nothing is opened any more; the slots are still there.
    sound.Device_Awake(false);
    ASSERT_TRUE(waitFor([&] { return !device->deviceOpen(); }));
    std::this_thread::sleep_for(300ms); // a reopen already under way has ended by now
    const std::int32_t lost = device->devicesLost();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(device->devicesLost(), lost);
    EXPECT_FALSE(device->deviceOpen());
    EXPECT_EQ(sound.FilePath(index), file);
}

TEST_F(SdlAudioOutputTest, WithoutASoundSystemTheInstanceIsSilent) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        EXPECT_EQ(SdlAudioOutput::openDefault(), nullptr);
        Cls_DX7_JP sound;
        sound.Initialize(1, 2);
        EXPECT_FALSE(sound.InitOK());
        EXPECT_EQ(sound.DeviceCount(), 0);
        EXPECT_EQ(sound.rDirectSound(), nullptr);
        EXPECT_EQ(sound.HeardFrame(), 0);
    }
}

} // namespace
} // namespace metro
