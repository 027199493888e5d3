#pragma once
// A metronome whose clicks go to an offline sound device, and a listener that finds every
// click's first sample in what the device renders. The test clicks are steps of a known
// level (accent 0.5, plain 0.25), so an onset is exact to the frame and its kind is plain.
// The metronome's steady clock counts frames too and moves with the rendering, so a test can
// also let time pass while the device renders nothing, as a lost device does.

#include "ManualClock.h"
#include "RecordingWindow.h"
#include "TempFolder.h"
#include "TestSounds.h"
#include "ui/form/Form1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

namespace metro::test {

// Frame on the device clock; on the steady clock, which also counts the frames a lost device
// missed.
struct Click {
    std::int64_t frame;
    bool accent;
    std::int64_t realFrame;
};

class ClickedMetronome {
public:
    static constexpr int rate = 48000;

    // The clicks lie in the window's program folder, so start-up loads them.
    explicit ClickedMetronome(std::int64_t firstFrame = 0)
        : output(std::make_shared<OfflineAudioOutput>(DeviceFormat{rate, 1, 512}, 1, firstFrame)) {
        std::filesystem::create_directory(folder_.path() / "metro");
        window.folder = folder_.path();
        for (auto [name, level] : {std::pair{"1.wav", 16384}, {"2.wav", 8192}})
            EXPECT_TRUE(writePcm16(folder_.file("metro/") + name,
                                   steadySound(static_cast<std::int16_t>(level), 200)));
        form.Form_Load();
        EXPECT_TRUE(state().SoundReady);
        window.onUnload = [this] { form.Form_Unload(); };
        steady.ticksPerSecond = rate;
        steady.heard = firstFrame;
    }
    MetronomeState& state() { return form.state(); }
    std::int64_t now() const { return output->mixer().framesRendered(); }

    // Renders `frames` frames, noting every click that starts in them.
    void render(std::int64_t frames) {
        for (; frames > 0; frames -= 512) {
            const std::int64_t first = now();
            const auto block =
                renderFrames(*output, static_cast<int>(std::min<std::int64_t>(frames, 512)));
            for (std::size_t i = 0; i < block.size(); ++i, ++steady.heard) {
                if (previous_ == 0 && block[i] != 0)
                    clicks.push_back({first + static_cast<std::int64_t>(i),
                                      std::abs(block[i] - 0.5f) < 0.01f, steady.heard});
                previous_ = block[i];
            }
        }
    }
    // What each beat of the grid at `tempo` from the first click sounded, up to the last click,
    // on the device clock or the steady clock (`on`): 0 nothing, 1 a plain click, 2 an accent;
    // -1 a click more than half a frame off its beat, or a second one on it.
    std::vector<int> beatsHeard(int tempo, std::int64_t Click::*on = &Click::frame) const {
        std::vector<int> heard;
        for (const Click& click : clicks) {
            const double beat = (click.*on - clicks.front().*on) * tempo / (60.0 * rate);
            const auto k = static_cast<std::size_t>(std::llround(beat));
            heard.resize(std::max(heard.size(), k + 1));
            const bool onItsBeat = std::abs(beat - k) * 60 * rate / tempo <= 0.5;
            heard[k] = !onItsBeat || heard[k] != 0 ? -1 : click.accent ? 2 : 1;
        }
        return heard;
    }
    // Beat frames up to `frame`, the last one on it, `minGap` to `maxGap` frames apart.
    void playTo(std::int64_t frame, int minGap = rate / 100, int maxGap = rate / 100) {
        while (now() < frame) {
            const int gap = std::uniform_int_distribution<int>(minGap, maxGap)(random);
            render(std::min<std::int64_t>(gap, frame - now()));
            form.metronome.Beat_Frame();
        }
    }
    // Plays for `seconds` with beat frames 5 to 40 ms apart, as a busy window runs them.
    void playFor(double seconds) {
        playTo(now() + static_cast<std::int64_t>(seconds * rate), rate / 200, rate / 25);
    }
    // Up to 50 ms before the next beat at 120 from the first click: it has been handed over.
    void playToJustBeforeABeat() {
        const std::int64_t start = clicks.front().frame;
        playTo(start + ((now() - start) / (rate / 2) + 1) * (rate / 2) - rate / 20);
    }
    // The device renders nothing for `seconds` while beat frames run every 16 ms.
    void loseDeviceFor(double seconds) {
        for (const auto end = steady.heard + static_cast<std::int64_t>(seconds * rate);
             steady.heard < end;) {
            steady.heard = std::min(steady.heard + rate * 16 / 1000, end);
            form.metronome.Beat_Frame();
        }
    }

    RecordingWindow window;
    std::shared_ptr<OfflineAudioOutput> output;
    ManualClock steady; // frames of real time: the device's frames plus those it missed
    Form1 form{window,
               {.makeSoundDevice = [this] { return std::make_unique<Cls_DX7_JP>(output); },
                .clockForRun =
                    [this](const MetronomeState& state) {
                        return makeDeviceBeatClock(*state.SoundDevice, steady.forRun());
                    }}};
    std::vector<Click> clicks;
    std::mt19937 random{17};

private:
    TempFolder folder_;
    float previous_ = 0;
};

} // namespace metro::test
