// Closing the window, muting and changing the measure at every phase of a beat: fifty even
// phases across one beat interval, and the frames just before and after the next click is
// handed over to the sound device and just before and after it starts to sound.
//
// A click is handed over in the first beat frame whose device write head, plus the
// lookahead, lies past the click's frame; what the state says at that frame decides the
// click. The frames run here every 10 ms and once exactly at the phase, right before the
// event, so which clicks were handed over before the event is known to the frame.

#include "engine/BeatGrid.h"
#include "support/ClickRecorder.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <vector>

using namespace metro;
using test::ClickedMetronome;

namespace {

constexpr int tempo = 120;
constexpr std::int64_t interval = 60 * ClickedMetronome::rate / tempo; // frames per beat
constexpr std::int64_t frameStep = ClickedMetronome::rate / 100;       // 10 ms
constexpr std::int64_t measuredBeat = 5; // the phases lie between this beat and the next
constexpr int deviceBlock = 512;         // the offline device's buffer, frames

// How far ahead of the frame a beat frame runs at it hands clicks over: the device's write
// head is one buffer ahead of what was rendered, and the lookahead lies beyond it.
constexpr std::int64_t handOverLead =
    deviceBlock + static_cast<std::int64_t>(Metronome::lookaheadSeconds * ClickedMetronome::rate);

// A metronome started at a known frame and driven by beat frames at known frames.
struct PlayedRun {
    explicit PlayedRun(std::int16_t beatsPerMeasure) {
        EXPECT_EQ(m.output->format().blockFrames, deviceBlock);
        m.state().BeatsPerMeasure = beatsPerMeasure;
        m.render(777);
        start = m.output->mixer().writeHeadFrame(); // the first beat: as soon as possible
        m.form.I_Play_Click(0);
    }

    // Renders up to `frame`, with a beat frame every 10 ms and one exactly at `frame`.
    void frameAt(std::int64_t frame) {
        while (m.now() < frame) {
            m.render(std::min(frameStep, frame - m.now()));
            m.form.metronome.Beat_Frame();
        }
    }

    ClickedMetronome m;
    std::int64_t start = 0;

    BeatGrid beats() const { return BeatGrid(start, ClickedMetronome::rate, tempo); }
};

// Offsets from the measured beat's frame: fifty even phases of the interval, and the edges
// of the next beat's hand-over and onset.
std::vector<std::int64_t> phases() {
    std::vector<std::int64_t> at;
    for (int i = 0; i < 50; ++i)
        at.push_back(interval * i / 50);
    for (std::int64_t edge : {interval - handOverLead, interval - handOverLead + 1, interval - 1,
                              interval, interval + 1})
        at.push_back(edge);
    return at;
}

// What a run must have played: beat k sounds on its frame if sound was on when it was
// handed over, the accent when the measure counter stood at 0; the counter advances only
// with a click and falls back to 0 on reaching the beats per measure in force.
struct Expected {
    std::vector<test::Click> clicks;
    void play(const BeatGrid& grid, std::int64_t until, auto soundAndMeasureFor) {
        int counter = 0;
        for (std::int64_t k = 0; grid.tickOfBeat(k) < until; ++k) {
            const std::int64_t tick = grid.tickOfBeat(k);
            const auto [sound, beatsPerMeasure] = soundAndMeasureFor(tick);
            if (!sound)
                continue;
            clicks.push_back({tick, counter == 0});
            if (++counter >= beatsPerMeasure)
                counter = 0;
        }
    }
};

std::string describe(const std::vector<test::Click>& clicks) {
    std::ostringstream out;
    for (const test::Click& c : clicks)
        out << c.frame << (c.accent ? "A " : " ");
    return out.str();
}

void expectSame(const std::vector<test::Click>& heard, const std::vector<test::Click>& expected,
                const std::string& what) {
    bool same = heard.size() == expected.size();
    for (std::size_t i = 0; same && i < heard.size(); ++i)
        same = heard[i].frame == expected[i].frame && heard[i].accent == expected[i].accent;
    EXPECT_TRUE(same) << what << "\n heard:    " << describe(heard)
                      << "\n expected: " << describe(expected);
}

} // namespace

TEST(BeatPhases, ClosingAtAnyPhaseLeavesNoClickAndNoFrameBehind) {
    int closes = 0;
    for (std::int64_t offset : phases()) {
        PlayedRun r(4);
        const std::int64_t at = r.beats().tickOfBeat(measuredBeat) + offset;
        r.frameAt(at);
        // Alternately the close box and Esc.
        if (closes++ % 2 == 0) {
            r.m.form.P_X_Click();
        } else {
            r.m.form.Form_KeyDown(27, 0);
            r.m.form.Form_KeyUp(27, 0);
        }
        ASSERT_FALSE(r.m.state().Playing);
        ASSERT_EQ(r.m.state().SoundDevice, nullptr);
        const float rodX = r.m.form.controls.Line_Rod.X1;
        const float weightTop = r.m.form.controls.I_Rod.Top;
        // Frames that were already due still come; they must end the frames and touch nothing.
        r.m.form.metronome.Beat_Frame();
        r.m.form.metronome.Beat_Frame();
        EXPECT_FALSE(r.m.window.framesRunning);
        EXPECT_EQ(r.m.form.controls.Line_Rod.X1, rodX);
        EXPECT_EQ(r.m.form.controls.I_Rod.Top, weightTop);
        r.m.render(ClickedMetronome::rate); // a second on: the device must stay silent

        Expected e;
        e.play(r.beats(), at, [](std::int64_t) { return std::pair{true, 4}; });
        expectSame(r.m.clicks, e.clicks, "closed at phase offset " + std::to_string(offset));
    }
    std::cout << "[ phases   ] closed at " << closes << " phases\n";
}

TEST(BeatPhases, MutingAtAnyPhaseSilencesFromTheNextClickHandedOver) {
    for (std::int64_t offset : phases()) {
        PlayedRun r(3);
        const std::int64_t mutedAt = r.beats().tickOfBeat(measuredBeat) + offset;
        r.frameAt(mutedAt);
        r.m.form.I_Speaker_Click();
        const std::int64_t unmutedAt = mutedAt + 2 * ClickedMetronome::rate + 1234;
        r.frameAt(unmutedAt);
        r.m.form.I_Speaker_Click();
        r.frameAt(unmutedAt + 3 * ClickedMetronome::rate);

        // Muted from the first click handed over after the press to the last one handed over
        // before the second; the measure holds its place meanwhile.
        const std::int64_t from = mutedAt + handOverLead, to = unmutedAt + handOverLead;
        Expected e;
        e.play(r.beats(), r.m.now(), [&](std::int64_t tick) {
            return std::pair{tick < from || tick >= to, 3};
        });
        expectSame(r.m.clicks, e.clicks, "muted at phase offset " + std::to_string(offset));
        EXPECT_TRUE(r.m.state().Playing);
    }
}

TEST(BeatPhases, ANewMeasureAtAnyPhaseAppliesFromTheNextClickHandedOver) {
    // Fewer, more and one beat; from 8 the counter stands above the new count.
    const std::pair<std::int16_t, std::int16_t> changes[] = {{8, 3}, {2, 5}, {4, 1}};
    for (const auto& [before, after] : changes) {
        for (std::int64_t offset : phases()) {
            PlayedRun r(before);
            const std::int64_t changedAt = r.beats().tickOfBeat(measuredBeat) + offset;
            r.frameAt(changedAt);
            r.m.form.L_Metro_Click(after);
            r.frameAt(changedAt + 3 * ClickedMetronome::rate);

            const std::int64_t from = changedAt + handOverLead;
            Expected e;
            e.play(r.beats(), r.m.now(), [&](std::int64_t tick) {
                return std::pair{true, static_cast<int>(tick < from ? before : after)};
            });
            expectSame(r.m.clicks, e.clicks,
                       std::to_string(before) + " to " + std::to_string(after) +
                           " beats at phase offset " + std::to_string(offset));
        }
    }
}
