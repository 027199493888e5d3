// The sound class on an offline output: the slot table's index rules, what each slot plays
// after others are cleared, loop and volume, the index limit, the failure values, bad files,
// clicks handed over from another thread while the callback renders. Beneath it, decoding and
// conversion to the device format: sample values, channel layout, the chunk walk, the full
// length of a resampled sound (a converter that loses the tail cuts clicks short), and the
// bound on what a slot may hold.

#include "sound/Cls_DX7_JP.h"
#include "sound/WaveDecoder.h"
#include "support/TempFolder.h"
#include "support/TestSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <utility>

namespace metro {

namespace {

using namespace test;

constexpr int kBlock = 64;

struct SoundClassTest : ::testing::Test {
    void SetUp() override {
        for (int n = 1; n <= 3; ++n)
            ASSERT_TRUE(writePcm16(path(n), steadySound(static_cast<std::int16_t>(n * 1000), 100)));
        sound.Initialize(1, 2);
        ASSERT_TRUE(sound.InitOK());
    }
    std::string path(int n) const { return folder.file("sound" + std::to_string(n) + ".wav"); }
    // Level of sound `n` as the mixer plays it: 16-bit value n * 1000 over full scale.
    static float levelOf(int n) { return static_cast<float>(n * 1000) / 32768.0f; }
    std::int16_t load(const std::string& file) {
        std::int16_t index = 0;
        EXPECT_TRUE(sound.Wave_LoadFile(file, index)) << file;
        return index;
    }
    // Wave_LoadFile's result and the index it gives back (which starts out as 7 here).
    using Loaded = std::pair<bool, std::int16_t>;
    static constexpr Loaded kRefused{false, -1};
    Loaded tryLoad(const std::string& file) {
        std::int16_t index = 7;
        const bool loaded = sound.Wave_LoadFile(file, index);
        return {loaded, index};
    }
    // Plays the slot alone and returns the first sample of the next block (0 = silent).
    float playedLevel(std::int16_t index) {
        renderFrames(*output, kBlock);
        EXPECT_TRUE(sound.Wave_Play(index));
        return renderFrames(*output, kBlock)[0];
    }

    test::TempFolder folder;
    std::shared_ptr<OfflineAudioOutput> output =
        std::make_shared<OfflineAudioOutput>(DeviceFormat{48000, 1, kBlock}, 3);
    Cls_DX7_JP sound{output};
};

TEST_F(SoundClassTest, IndexesFollowTheLoadOrderAndAreNeverHandedOutTwice) {
    // A path with spaces around it, a missing file (its index given back), the next file.
    EXPECT_EQ((std::tuple{load(path(1)), load("  " + path(2) + "   "),
                          tryLoad(folder.file("missing.wav")), load(path(3))}),
              (std::tuple{1, 2, kRefused, 3}));
    EXPECT_EQ(sound.FilePath(2), path(2)) << "trimmed";
    sound.LoopPlay(3, true);
    sound.Volume(3, -600);
    // Clear, play and clear of an inner position: the last position moves into the gap, and
    // keeps its path, loop and volume.
    EXPECT_EQ((std::tuple{sound.Wave_Clear(1), sound.Wave_Play(1), sound.Wave_Clear(1)}),
              (std::tuple{true, false, false}));
    EXPECT_FLOAT_EQ(playedLevel(2), levelOf(2));
    EXPECT_EQ((std::tuple{sound.FilePath(3), sound.LoopPlay(3), sound.Volume(3)}),
              (std::tuple{path(3), true, -600}));
    sound.Wave_Stop(2);
    EXPECT_FLOAT_EQ(playedLevel(3), levelOf(3) * std::pow(10.0f, -0.3f));
    EXPECT_NE(renderFrames(*output, 4 * kBlock).back(), 0.0f) << "looping";
    EXPECT_EQ(load(path(1)), 4);
    EXPECT_TRUE(sound.Wave_Clear(4)); // the last position: only dropped
    sound.Wave_Stop(3);
    EXPECT_EQ(load(path(1)), 5);
    EXPECT_FLOAT_EQ(playedLevel(5), levelOf(1));
}

TEST_F(SoundClassTest, OutOfRangeVolumesAndInvalidIndexesAreRefused) {
    const std::int16_t slot = load(path(2)); // volume: hundredths of a decibel
    for (const auto& [set, kept] :
         {std::pair{-600, -600}, {-10001, -600}, {1, -600}, {0, 0}, {-10000, -10000}}) {
        sound.Volume(slot, set);
        EXPECT_EQ(sound.Volume(slot), kept);
        EXPECT_NEAR(playedLevel(slot), levelOf(2) * std::pow(10.0f, kept / 2000.0f), 1e-6);
    }
    EXPECT_FALSE(sound.LoopPlay(slot));
    for (const std::int16_t index : {0, -1, 2}) {
        sound.LoopPlay(index, true);
        sound.Volume(index, -100);
        // Play, play at a frame, stop, clear, loop, volume, path: each one's failure value.
        EXPECT_EQ((std::tuple{sound.Wave_Play(index), sound.Wave_PlayAt(index, 0),
                              sound.Wave_Stop(index), sound.Wave_Clear(index),
                              sound.LoopPlay(index), sound.Volume(index), sound.FilePath(index)}),
                  (std::tuple{false, false, false, false, false, 0, std::string{}}))
            << index;
    }
}

// ClearAll frees every slot, sounding or not, and the indexes start again at 1.
TEST_F(SoundClassTest, TheLastIndexIs32767UntilClearAllSilencesEverySlot) {
    EXPECT_FALSE(sound.Wave_ClearAll()) << "nothing to clear";
    const std::string tiny = folder.file("tiny.wav");
    ASSERT_TRUE(writePcm16(tiny, steadySound(500, 1)));
    for (int n = 1; n <= 32767; ++n)
        ASSERT_EQ(tryLoad(tiny), (Loaded{true, static_cast<std::int16_t>(n)}));
    EXPECT_EQ(tryLoad(path(1)), kRefused);
    EXPECT_TRUE(sound.Wave_Clear(5));
    EXPECT_EQ(tryLoad(path(1)), kRefused) << "a freed index is not handed out again";
    sound.LoopPlay(6, true);
    sound.Wave_Play(6);
    sound.Wave_Play(7);
    EXPECT_NE(renderFrames(*output, kBlock)[0], 0.0f);
    EXPECT_TRUE(sound.Wave_ClearAll());
    EXPECT_EQ(firstSoundingFrame(renderFrames(*output, 4 * kBlock), 1), -1);
    EXPECT_FALSE(sound.Wave_Play(1));
    EXPECT_EQ(load(path(1)), 1);
}

// Two threads, as in the program: the window thread hands clicks to the mixer while a render
// thread plays the audio callback, a block about every 0.25 ms. What is promised is checked,
// not more: a click handed over for a frame at or after the write head as it reads once the
// click is queued starts exactly on its frame; one the renderer overtook (the window thread
// was preempted between reading the write head and handing the click over) starts as soon as
// it can, and never before its frame. No start is lost or refused. Loads, clears and volume
// changes run alongside. Meaningful under ThreadSanitizer too.
using HandOverStress = SoundClassTest;

TEST_F(HandOverStress, ClicksHandedOverAtTheWriteHeadStartOnTheirFrames) {
    using namespace std::chrono_literals;
    const std::string impulse = folder.file("impulse.wav");
    ASSERT_TRUE(writePcm16(impulse, {16384}));
    const std::int16_t click = load(impulse);

    // The render thread stands in for the callback, keeping the frames where the impulse
    // (not the other sounds, far quieter) sounds.
    std::atomic<bool> stop{false};
    std::vector<std::int64_t> onsets;
    std::thread callback([&] {
        for (std::int64_t blockStart = 0; !stop.load(); blockStart += kBlock) {
            const auto block = renderFrames(*output, kBlock);
            for (int i = 0; i < kBlock; ++i)
                if (block[static_cast<std::size_t>(i)] > 0.4f)
                    onsets.push_back(blockStart + i);
            std::this_thread::sleep_for(200us);
        }
    });
    struct HandOver {
        std::int64_t frame;    // asked for
        std::int64_t headThen; // the write head once it was queued
    };
    std::vector<HandOver> handed;
    for (int n = 0; n < 400; ++n) {
        const std::int64_t after = handed.empty() ? 0 : handed.back().frame + 1;
        const std::int64_t frame = std::max(after, sound.WriteHeadFrame()) + n % 7;
        EXPECT_TRUE(sound.Wave_PlayAt(click, frame)); // no ASSERT: the thread runs
        handed.push_back({frame, sound.WriteHeadFrame()});
        if (std::int16_t extra = 0; n % 10 == 0 && sound.Wave_LoadFile(path(1), extra)) {
            sound.Volume(extra, -1200);
            sound.Wave_Play(extra);
            sound.Wave_Clear(extra);
        }
        std::this_thread::sleep_for(50us);
    }
    const std::int64_t last = handed.back().headThen;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (sound.HeardFrame() <= last && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    stop.store(true);
    callback.join();
    ASSERT_GT(sound.HeardFrame(), last) << "the render thread stopped rendering";

    // Each click once: exactly on its frame when it was queued before the write head passed
    // it, else from its frame to that write head (where it may meet the next click).
    std::size_t exact = 0;
    std::size_t offFrame = 0;
    std::size_t next = 0;
    for (const HandOver& handOver : handed) {
        const bool promised = handOver.frame >= handOver.headThen;
        const std::int64_t latest = promised ? handOver.frame : handOver.headThen;
        exact += promised;
        if (next < onsets.size() && onsets[next] >= handOver.frame && onsets[next] <= latest)
            ++next;
        else if (next == 0 || onsets[next - 1] != handOver.frame)
            ++offFrame;
    }
    EXPECT_EQ(offFrame, 0u);
    EXPECT_EQ(next, onsets.size()) << "onsets without a click";
    EXPECT_GE(exact, handed.size() / 2) << "the renderer overtook most hand-overs";
    EXPECT_EQ(output->mixer().dropped(), Mixer::Dropped{});
}

// ---- Bad input: each load fails with -1, says why, and leaves the table as it was ----

using Bytes = std::vector<std::uint8_t>;

Bytes cut(std::size_t keep) { // the first `keep` bytes of a good file, 44 + 100 long
    Bytes bytes = pcm16WaveBytes(steadySound(1000, 50));
    bytes.resize(keep);
    return bytes;
}

// A file of the good one's format with `change` made to its header.
template <void (*change)(WaveFields&)> Bytes changed() {
    WaveFields fields;
    change(fields);
    return waveBytes(fields, Bytes(60000, 0x90));
}

struct BadFile {
    const char* name;
    LoadFailure why;
    std::string path;           // as it stands, or "" to write `bytes` into a file
    Bytes (*bytes)() = nullptr; // the file's bytes
};

using enum LoadFailure;
const BadFile kBadFiles[] = {
    {"SpacesOnly", Missing, "    "},
    {"Folder", NotRegular, "/tmp"},
    {"MissingFile", Missing, "/nonexistent/nothing.wav"},
    {"Device", NotRegular, "/dev/zero"},
    {"Fifo", NotRegular, "fifo"}, // opening it would wait for a writer for ever
    {"EmptyFile", NotWave, "", [] { return Bytes{}; }},
    {"TruncatedHeader", NotWave, "", [] { return cut(30); }},
    {"TruncatedData", NotWave, "", [] { return cut(134); }},
    {"HeaderClaims4GB", NotWave, "",
     changed<[](WaveFields& f) { f.riffSize = ~15u, f.dataSize = ~63u; }>},
    {"DataClaims4GBInsideTheRiffSize", NotWave, "",
     changed<[](WaveFields& f) { f.dataSize = ~63u; }>},
    {"ZeroChannels", NotWave, "", changed<[](WaveFields& f) { f.channels = 0; }>},
    {"SampleRateZero", NotWave, "", changed<[](WaveFields& f) { f.sampleRate = 0; }>},
    {"ZeroBlockAlign", NotWave, "", changed<[](WaveFields& f) { f.blockAlign = 0; }>},
    {"UnknownEncoding", Unsupported, "", changed<[](WaveFields& f) { f.formatTag = 0x1234; }>},
    {"NoData", NotWave, "", [] { return waveBytes(WaveFields{}, Bytes{}); }},
    // 60 kB that would decode to 0.2 GB at 48 kHz stereo
    {"TenMinutesOfClick", TooLong, "",
     changed<[](WaveFields& f) { f.sampleRate = 100, f.bitsPerSample = 8; }>},
};

void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.name;
}

struct BadFileTest : SoundClassTest, ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFileTest, LoadFailsSaysWhyAndChangesNothing) {
    ASSERT_EQ(load(path(1)), 1);
    std::string bad = GetParam().path;
    if (GetParam().bytes != nullptr)
        writeBytes(bad = folder.file("bad.wav"), GetParam().bytes());
    if (bad == "fifo") {
        bad = folder.file("fifo.wav");
        ASSERT_EQ(::mkfifo(bad.c_str(), 0600), 0);
    }
    EXPECT_EQ(tryLoad(bad), kRefused);
    EXPECT_EQ(sound.Wave_LoadFailure(), GetParam().why);
    EXPECT_FLOAT_EQ(playedLevel(1), levelOf(1));
    EXPECT_FALSE(sound.Wave_Play(2));
    EXPECT_EQ(load(path(2)), 2);
}

INSTANTIATE_TEST_SUITE_P(SoundClass, BadFileTest, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Decoding ----

TEST(WaveDecoder, Pcm16MonoBecomesEqualFloatChannelsAndOddSizedChunksAreWalked) {
    std::vector<std::uint8_t> bytes = pcm16WaveBytes(std::vector<std::int16_t>{16384, -32768, 0});
    // An odd-sized "LIST" chunk (with its pad byte) right after "WAVE".
    const std::vector<std::uint8_t> list{'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + 12, list.begin(), list.end());
    bytes[4] = static_cast<std::uint8_t>(bytes[4] + list.size()); // the RIFF size
    const auto decoded = decodeWave(bytes, {48000, 2, 512});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples, (std::vector<float>{0.5f, 0.5f, -1, -1, 0, 0}));
    EXPECT_EQ(decoded->format.channels, 1);
}

TEST(WaveDecoder, ResampledSoundsKeepTheirWholeLength) {
    // Ten seconds is long enough for a converter fed in one piece to lose its tail; a minute
    // is far longer than a click, and still loads.
    for (const auto& [fileRate, frames, deviceRate] : {std::tuple{44100, 441, 48000},
                                                       {44100, 441000, 48000},
                                                       {96000, 96000, 44100},
                                                       {44100, 2646000, 48000}}) {
        const std::vector<std::int16_t> level(static_cast<std::size_t>(frames), 10000);
        const auto decoded =
            decodeWave(pcm16WaveBytes(level, 1, fileRate), DeviceFormat{deviceRate, 1, 512});
        ASSERT_TRUE(decoded) << frames;
        EXPECT_NEAR(decoded->frames, static_cast<double>(frames) * deviceRate / fileRate, 1.0);
        // The last millisecond still carries the sound, not silence.
        EXPECT_GT(*std::max_element(decoded->samples.end() - 44, decoded->samples.end()), 0.05f)
            << frames;
    }
}

// A slot holds 32 MiB of sound in the device's format, judged from the header alone: the
// most file frames that fit load, one more is refused, whatever the file's rate and the
// device's rate and channels.
TEST(WaveDecoder, ASlotHoldsThirtyTwoMebibytesOnTheDeviceJudgedFromTheHeader) {
    // 16-bit mono files; 32 MiB is 2^22 frames of stereo float, 2^20 of 8 channels.
    for (const auto& [fileRate, device, most] :
         {std::tuple{48000u, DeviceFormat{48000, 2, 512}, std::uint32_t{1} << 22},
          {24000u, DeviceFormat{48000, 2, 512}, std::uint32_t{1} << 21},
          {48000u, DeviceFormat{48000, 8, 512}, std::uint32_t{1} << 20},
          // floor(n * 44100 / 96000) <= 2^22 up to n = 9130459
          {96000u, DeviceFormat{44100, 2, 512}, std::uint32_t{9130459}}}) {
        for (const std::uint32_t frames : {most, most + 1}) {
            WaveFields header;
            header.sampleRate = fileRate;
            header.dataSize = frames * 2;
            header.riffSize = 36 + frames * 2;
            const std::uint64_t fileSize = 44 + std::uint64_t{frames} * 2;
            EXPECT_EQ(refusedFromHead(waveBytes(header, {}), fileSize, device),
                      frames == most ? LoadFailure::None : LoadFailure::TooLong)
                << fileRate << " Hz, " << frames << " frames, " << device.channels
                << " channels at " << device.sampleRate << " Hz";
        }
    }
}

} // namespace
} // namespace metro
