// The sound class on an offline output: states, the slot table's index rules, what each slot
// plays after others are cleared, loop and volume, the index limit, and bad files.

#include "sound/Cls_DX7_JP.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sys/stat.h>

namespace metro {
namespace {

using test::firstSoundingFrame;
using test::renderFrames;
using test::steadySound;
using test::writePcm16;

constexpr int kBlock = 64;

// Level of sound `n` as the mixer plays it: 16-bit value n * 1000 over full scale.
float levelOf(int n) {
    return static_cast<float>(n * 1000) / 32768.0f;
}

class SoundClassTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= 3; ++n)
            ASSERT_TRUE(writePcm16(path(n), steadySound(static_cast<std::int16_t>(n * 1000), 100)));
        sound.Initialize(1, kPriority);
        ASSERT_TRUE(sound.InitOK());
    }
    std::string path(int n) const { return folder.file("sound" + std::to_string(n) + ".wav"); }

    std::int16_t load(const std::string& file) {
        std::int16_t index = 0;
        EXPECT_TRUE(sound.Wave_LoadFile(file, index)) << file;
        return index;
    }
    // Plays the slot alone and returns the first sample of the next block (0 = silent).
    float playedLevel(std::int16_t index) {
        renderFrames(*output, kBlock);
        EXPECT_TRUE(sound.Wave_Play(index));
        return renderFrames(*output, kBlock)[0];
    }

    const std::int32_t kPriority = 2;
    test::TempFolder folder;
    std::shared_ptr<OfflineAudioOutput> output =
        std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, kBlock}, 3);
    Cls_DX7_JP sound{output};
};

TEST_F(SoundClassTest, IndexesFollowTheLoadOrderAndPathsAreTrimmed) {
    EXPECT_EQ(load(path(1)), 1);
    EXPECT_EQ(load("  " + path(2) + "   "), 2);
    EXPECT_EQ(load(path(3)), 3);
    EXPECT_EQ(sound.FilePath(2), path(2));
    EXPECT_FALSE(sound.LoopPlay(2));
    EXPECT_EQ(sound.Volume(2), 0);
    EXPECT_FLOAT_EQ(playedLevel(1), levelOf(1));
    EXPECT_FLOAT_EQ(playedLevel(2), levelOf(2));
    EXPECT_FLOAT_EQ(playedLevel(3), levelOf(3));
}

TEST_F(SoundClassTest, ClearOfTheFirstSlotKeepsTheOthersWithTheirSoundsLoopAndVolume) {
    load(path(1));
    load(path(2));
    load(path(3));
    sound.LoopPlay(3, true);
    sound.Volume(3, -600);
    EXPECT_TRUE(sound.Wave_Clear(1));

    EXPECT_FALSE(sound.Wave_Play(1));
    EXPECT_EQ(sound.FilePath(1), "");
    EXPECT_FALSE(sound.Wave_Clear(1));
    EXPECT_FLOAT_EQ(playedLevel(2), levelOf(2));
    EXPECT_EQ(sound.FilePath(3), path(3));
    EXPECT_TRUE(sound.LoopPlay(3));
    EXPECT_EQ(sound.Volume(3), -600);
    sound.Wave_Stop(2);
    EXPECT_FLOAT_EQ(playedLevel(3), levelOf(3) * std::pow(10.0f, -0.3f));
    // Looping: the 100-frame sound still sounds long after its end.
    EXPECT_NE(renderFrames(*output, 4 * kBlock).back(), 0.0f);
    EXPECT_EQ(load(path(1)), 4);
}

TEST_F(SoundClassTest, ClearOfTheLastPositionOnlyDropsIt) {
    load(path(1));
    load(path(2));
    EXPECT_TRUE(sound.Wave_Clear(2));
    EXPECT_FALSE(sound.Wave_Play(2));
    EXPECT_FLOAT_EQ(playedLevel(1), levelOf(1));
    EXPECT_EQ(load(path(2)), 3);
}

TEST_F(SoundClassTest, AFailedLoadGivesItsIndexBack) {
    EXPECT_EQ(load(path(1)), 1);
    std::int16_t index = 7;
    EXPECT_FALSE(sound.Wave_LoadFile(folder.file("missing.wav"), index));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(load(path(2)), 2);
}

TEST_F(SoundClassTest, ClearAllSilencesEverySlotAndRestartsTheIndexes) {
    EXPECT_FALSE(sound.Wave_ClearAll());
    EXPECT_EQ(load(path(1)), 1);
    EXPECT_EQ(load(path(2)), 2);
    sound.LoopPlay(1, true);
    sound.Wave_Play(1);
    sound.Wave_Play(2);
    EXPECT_NE(renderFrames(*output, kBlock)[0], 0.0f);
    EXPECT_TRUE(sound.Wave_ClearAll());
    EXPECT_EQ(firstSoundingFrame(renderFrames(*output, 4 * kBlock), 1), -1);
    EXPECT_FALSE(sound.Wave_Play(1));
    EXPECT_EQ(load(path(3)), 1);
    EXPECT_FLOAT_EQ(playedLevel(1), levelOf(3));
}

TEST_F(SoundClassTest, PlayRestartsASoundingSlotAndStopSilencesIt) {
    const std::int16_t slot = load(path(1));
    const std::int16_t other = load(path(2));
    EXPECT_FLOAT_EQ(playedLevel(slot), levelOf(1)); // frames 64..99 of the sound still to come
    sound.Wave_Play(slot);
    const std::vector<float> restarted = renderFrames(*output, 2 * kBlock);
    EXPECT_FLOAT_EQ(restarted[99], levelOf(1));
    EXPECT_EQ(restarted[100], 0.0f);

    sound.Wave_Play(other);
    EXPECT_TRUE(sound.Wave_Stop(other));
    EXPECT_TRUE(sound.Wave_Stop(other)); // a silent slot only records the stop
    EXPECT_EQ(firstSoundingFrame(renderFrames(*output, kBlock), 1), -1);
}

TEST_F(SoundClassTest, PlayAtStartsOnItsFrameAndStopCancelsIt) {
    const std::int16_t slot = load(path(1));
    EXPECT_EQ(sound.SampleRate(), 48000);
    const std::int64_t start = sound.WriteHeadFrame() + 17;
    EXPECT_TRUE(sound.Wave_PlayAt(slot, start));
    EXPECT_EQ(firstSoundingFrame(renderFrames(*output, 3 * kBlock), 1), start);
    EXPECT_EQ(sound.HeardFrame(), sound.WriteHeadFrame() - kBlock);

    sound.Wave_PlayAt(slot, sound.WriteHeadFrame() + 5);
    sound.Wave_Stop(slot);
    EXPECT_EQ(firstSoundingFrame(renderFrames(*output, 4 * kBlock), 1), -1);
    EXPECT_FALSE(sound.Wave_PlayAt(2, start));
}

TEST_F(SoundClassTest, VolumeIsHundredthsOfADecibelAndOutOfRangeValuesAreRefused) {
    const std::int16_t slot = load(path(2));
    sound.Volume(slot, -600);
    EXPECT_EQ(sound.Volume(slot), -600);
    EXPECT_FLOAT_EQ(playedLevel(slot), levelOf(2) * std::pow(10.0f, -0.3f));
    sound.Volume(slot, -10001);
    sound.Volume(slot, 1);
    EXPECT_EQ(sound.Volume(slot), -600);
    EXPECT_FLOAT_EQ(playedLevel(slot), levelOf(2) * std::pow(10.0f, -0.3f));
    sound.Volume(slot, 0);
    EXPECT_EQ(sound.Volume(slot), 0);
    EXPECT_FLOAT_EQ(playedLevel(slot), levelOf(2));
    sound.Volume(slot, -10000);
    EXPECT_EQ(sound.Volume(slot), -10000);
}

TEST_F(SoundClassTest, InvalidIndexesGiveTheFailureValues) {
    load(path(1));
    for (const std::int16_t index : {std::int16_t{0}, std::int16_t{-1}, std::int16_t{2}}) {
        EXPECT_FALSE(sound.Wave_Play(index));
        EXPECT_FALSE(sound.Wave_Stop(index));
        EXPECT_FALSE(sound.Wave_Clear(index));
        EXPECT_EQ(sound.FilePath(index), "");
        sound.LoopPlay(index, true);
        EXPECT_FALSE(sound.LoopPlay(index));
        sound.Volume(index, -100);
        EXPECT_EQ(sound.Volume(index), 0);
    }
    EXPECT_FALSE(sound.LoopPlay(1));
}

TEST_F(SoundClassTest, TheLastIndexIs32767UntilClearAll) {
    const std::string tiny = folder.file("tiny.wav");
    ASSERT_TRUE(writePcm16(tiny, steadySound(500, 1)));
    std::int16_t index = 0;
    for (int n = 1; n <= 32767; ++n)
        ASSERT_TRUE(sound.Wave_LoadFile(tiny, index) && index == n) << n;
    EXPECT_FALSE(sound.Wave_LoadFile(path(1), index));
    EXPECT_EQ(index, -1);
    EXPECT_TRUE(sound.Wave_Clear(5)); // a freed index is not handed out again
    EXPECT_FALSE(sound.Wave_LoadFile(path(1), index));
    EXPECT_EQ(sound.FilePath(32767), tiny);
    EXPECT_TRUE(sound.Wave_ClearAll());
    EXPECT_EQ(load(path(1)), 1);
}

TEST(SoundClassStates, SilentAndOpenedInstancesReportFailure) {
    test::TempFolder folder;
    const std::string file = folder.file("a.wav");
    ASSERT_TRUE(writePcm16(file, steadySound(1000, 10)));
    const std::int32_t priority = 2;
    std::int16_t index = 0;

    Cls_DX7_JP silent(nullptr);
    silent.Initialize(1, priority);
    EXPECT_FALSE(silent.InitOK());
    EXPECT_FALSE(silent.Wave_LoadFile(file, index));
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(silent.Wave_Play(1));
    EXPECT_EQ(silent.DeviceCount(), 0);
    EXPECT_EQ(silent.rDirectSound(), nullptr);
    EXPECT_EQ(silent.SampleRate(), 0);
    EXPECT_FALSE(silent.Wave_ClearAll());

    auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{}, 3);
    Cls_DX7_JP opened(output);
    EXPECT_EQ(opened.DeviceCount(), 0);
    EXPECT_EQ(opened.rDirectSound(), nullptr);
    EXPECT_EQ(opened.WriteHeadFrame(), 0);
    index = 0;
    EXPECT_FALSE(opened.Wave_LoadFile(file, index));
    EXPECT_EQ(index, -1);
    opened.Initialize(0, priority);
    EXPECT_FALSE(opened.InitOK());
    opened.Initialize(12345, priority);
    EXPECT_TRUE(opened.InitOK());
    EXPECT_EQ(opened.DeviceCount(), 3);
    EXPECT_EQ(opened.rDirectSound(), output);
    EXPECT_TRUE(opened.Wave_LoadFile(file, index));
    EXPECT_EQ(index, 1);
}

TEST(SoundClassStates, TeardownStopsEverySound) {
    test::TempFolder folder;
    const std::string file = folder.file("a.wav");
    ASSERT_TRUE(writePcm16(file, steadySound(1000, 10)));
    auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, kBlock});
    {
        Cls_DX7_JP sound(output);
        sound.Initialize(1, 2);
        std::int16_t index = 0;
        ASSERT_TRUE(sound.Wave_LoadFile(file, index));
        sound.LoopPlay(index, true);
        sound.Wave_Play(index);
        EXPECT_NE(renderFrames(*output, kBlock)[0], 0.0f);
    }
    EXPECT_EQ(firstSoundingFrame(renderFrames(*output, kBlock), 1), -1);
}

// ---- Bad input: each load fails with -1 and leaves the table as it was ----

struct BadFile {
    const char* name;
    // Writes the case's file into `folder` and returns the path to load.
    std::string (*make)(const test::TempFolder& folder);
    LoadFailure why;
};

void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.name;
}

std::string withBytes(const test::TempFolder& folder, const std::vector<std::uint8_t>& bytes) {
    const std::string path = folder.file("bad.wav");
    writeBytes(path, bytes);
    return path;
}

std::vector<std::uint8_t> goodBytes() {
    return pcm16WaveBytes(steadySound(1000, 50));
}

std::vector<std::uint8_t> withFields(void (*change)(WaveFields&)) {
    WaveFields fields;
    change(fields);
    const std::vector<std::uint8_t> data(100, 0x10);
    return waveBytes(fields, data);
}

const BadFile kBadFiles[] = {
    {"EmptyPath", [](const test::TempFolder&) { return std::string(); }, LoadFailure::Missing},
    {"SpacesOnly", [](const test::TempFolder&) { return std::string("    "); },
     LoadFailure::Missing},
    {"Folder", [](const test::TempFolder& folder) { return folder.path().string(); },
     LoadFailure::NotRegular},
    {"MissingFile", [](const test::TempFolder& folder) { return folder.file("nothing.wav"); },
     LoadFailure::Missing},
    {"EmptyFile", [](const test::TempFolder& folder) { return withBytes(folder, {}); },
     LoadFailure::NotWave},
    {"TextFile",
     [](const test::TempFolder& folder) {
         const std::string text = "RIFF? no, just a few words of text\n";
         return withBytes(folder, std::vector<std::uint8_t>(text.begin(), text.end()));
     },
     LoadFailure::NotWave},
    {"TruncatedHeader",
     [](const test::TempFolder& folder) {
         std::vector<std::uint8_t> bytes = goodBytes();
         bytes.resize(30);
         return withBytes(folder, bytes);
     },
     LoadFailure::NotWave},
    {"TruncatedData",
     [](const test::TempFolder& folder) {
         std::vector<std::uint8_t> bytes = goodBytes();
         bytes.resize(bytes.size() - 10);
         return withBytes(folder, bytes);
     },
     LoadFailure::NotWave},
    {"HeaderClaims4GB",
     [](const test::TempFolder& folder) {
         return withBytes(folder, withFields([](WaveFields& fields) {
                              fields.riffSize = 0xFFFFFFF0u;
                              fields.dataSize = 0xFFFFFFC0u;
                          }));
     },
     LoadFailure::NotWave},
    {"DataClaims4GBInsideTheRightRiffSize",
     [](const test::TempFolder& folder) {
         return withBytes(folder,
                          withFields([](WaveFields& fields) { fields.dataSize = 0xFFFFFFC0u; }));
     },
     LoadFailure::NotWave},
    {"ZeroChannels",
     [](const test::TempFolder& folder) {
         return withBytes(folder, withFields([](WaveFields& fields) { fields.channels = 0; }));
     },
     LoadFailure::NotWave},
    {"SampleRateZero",
     [](const test::TempFolder& folder) {
         return withBytes(folder, withFields([](WaveFields& fields) { fields.sampleRate = 0; }));
     },
     LoadFailure::NotWave},
    {"ZeroBlockAlign",
     [](const test::TempFolder& folder) {
         return withBytes(folder, withFields([](WaveFields& fields) { fields.blockAlign = 0; }));
     },
     LoadFailure::NotWave},
    {"UnknownEncoding",
     [](const test::TempFolder& folder) {
         return withBytes(folder,
                          withFields([](WaveFields& fields) { fields.formatTag = 0x1234; }));
     },
     LoadFailure::Unsupported},
    {"NoData",
     [](const test::TempFolder& folder) {
         return withBytes(folder, waveBytes(WaveFields{}, std::vector<std::uint8_t>{}));
     },
     LoadFailure::NotWave},
    {"Fifo",
     [](const test::TempFolder& folder) {
         const std::string path = folder.file("fifo.wav");
         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
         return path; // opening it would wait for a writer for ever
     },
     LoadFailure::NotRegular},
    {"Device", [](const test::TempFolder&) { return std::string("/dev/zero"); },
     LoadFailure::NotRegular},
    {"TenMinutesOfClick", // 60 kB that would decode to 0.2 GB at 48 kHz stereo float
     [](const test::TempFolder& folder) {
         WaveFields fields;
         fields.sampleRate = 100;
         fields.bitsPerSample = 8;
         return withBytes(folder, waveBytes(fields, std::vector<std::uint8_t>(60000, 0x90)));
     },
     LoadFailure::TooLong},
};

class BadFileTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFileTest, LoadFailsAndChangesNothing) {
    test::TempFolder folder;
    const std::string good = folder.file("good.wav");
    ASSERT_TRUE(writePcm16(good, steadySound(1000, 50)));
    auto output = std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, kBlock});
    Cls_DX7_JP sound(output);
    sound.Initialize(1, 2);
    std::int16_t index = 0;
    ASSERT_TRUE(sound.Wave_LoadFile(good, index));

    index = 0;
    EXPECT_FALSE(sound.Wave_LoadFile(GetParam().make(folder), index));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(sound.Wave_LoadFailure(), GetParam().why) << describe(sound.Wave_LoadFailure());
    EXPECT_FALSE(sound.Wave_Play(2));
    EXPECT_TRUE(sound.Wave_Play(1));
    EXPECT_FLOAT_EQ(renderFrames(*output, kBlock)[0], levelOf(1));
    ASSERT_TRUE(sound.Wave_LoadFile(good, index));
    EXPECT_EQ(index, 2);
}

INSTANTIATE_TEST_SUITE_P(SoundClass, BadFileTest, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace metro
