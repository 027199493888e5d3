#include "engine/Metronome.h"

#include <cmath>
#include <numbers>

namespace metro {

namespace {
// Full swing to each side of the vertical, for the rod and the weight alike.
const double kSwingAmplitude = std::sin(std::numbers::pi / 7);
} // namespace

void Metronome::Beat_Loop() {
    // The device clock runs only while the device is awake, also through muted beats.
    if (state.SoundReady && state.SoundDevice)
        state.SoundDevice->Device_Awake(true);
    std::unique_ptr<BeatClock> clock = factories_.clockForRun(state);
    clock->observe();
    // The first click, the accent, sounds as soon as the device can play it; the beat grid
    // and the swing start from it.
    const std::int64_t start = clock->earliestStart();
    const BeatGrid grid(start, clock->ticksPerSecond(), state.Tempo > 0 ? state.Tempo : 1);
    run_.emplace(Run{std::move(clock), grid, state.RodLength * kSwingAmplitude,
                     state.WeightArm * kSwingAmplitude});
    Beat_Frame();
    if (state.Playing)
        window_.startBeatFrames();
}

void Metronome::Beat_Frame() {
    if (!state.Playing || !run_) {
        // Play has ended (stop or close): touch no control and no sound.
        run_.reset();
        window_.stopBeatFrames();
        return;
    }
    Run& run = *run_;
    run.clock->observe();
    const std::int64_t heard = run.clock->heardNow();
    if (run.clock->deviceLost() != run.deviceLost) {
        run.deviceLost = !run.deviceLost;
        // Clicks handed over before the loss would sound at their old frames once the
        // device is back, off the grid the swing has gone on with: drop them.
        if (run.deviceLost && state.SoundReady && state.SoundDevice)
            cancelClicks();
    }

    // The swing for the moment the listener hears now: a sine through zero at every beat,
    // changing direction each beat, so the rod passes the vertical exactly when a click is
    // heard and the motion is continuous for as long as it runs.
    const BeatGrid::Position at = run.grid.positionAt(heard);
    double swing = 0;
    if (at.beat >= 0) {
        swing = std::sin(std::numbers::pi * at.fraction);
        if (at.beat % 2 != 0)
            swing = -swing;
    }

    const auto lateLimit = static_cast<std::int64_t>(
        kLateLimitSeconds * static_cast<double>(run.clock->ticksPerSecond()));
    handOverClicks(run, run.clock->earliestStart() - lateLimit, IfLate::StartAtOnce);
    drawPendulum(swing);
}

void Metronome::handOverClicks(Run& run, std::int64_t playableFrom, IfLate ifLate) {
    const std::int64_t rate = run.clock->ticksPerSecond();
    const std::int64_t earliest = run.clock->earliestStart();
    const auto lookahead = static_cast<std::int64_t>(kLookaheadSeconds * static_cast<double>(rate));

    for (std::int64_t tick = run.grid.tickOfBeat(run.nextClick); tick < earliest + lookahead;
         tick = run.grid.tickOfBeat(++run.nextClick)) {
        run.counterBefore[static_cast<std::size_t>(run.nextClick % Run::kBeatsKept)] =
            run.BeatCounter;
        if (state.SoundOff || !state.SoundReady || !state.SoundDevice)
            continue; // the measure holds its place while there is no sound
        const std::int16_t slot = run.BeatCounter == 0 ? state.AccentSlot : state.BeatSlot;
        // While the device is lost the beats pass silently but still count the measure. A
        // click before `playableFrom` is handed over to be skipped: the device drops it (and
        // counts it) unless it can still place it on its frame.
        if (!run.deviceLost)
            state.SoundDevice->Wave_PlayAt(slot, run.clock->deviceFrame(tick),
                                           tick >= playableFrom ? ifLate : IfLate::Skip);
        if (++run.BeatCounter >= state.BeatsPerMeasure)
            run.BeatCounter = 0;
    }
}

void Metronome::Clicks_Renew() {
    if (!state.Playing || !run_ || !state.SoundReady || !state.SoundDevice || run_->deviceLost)
        return;
    Run& run = *run_;
    const std::int64_t from = run.clock->firstChangeable();
    // Back to the first beat handed over that the device has not yet played or committed.
    std::int64_t beat = run.nextClick;
    while (beat > 0 && run.nextClick - (beat - 1) < Run::kBeatsKept &&
           run.grid.tickOfBeat(beat - 1) >= from)
        --beat;
    if (beat == run.nextClick)
        return;
    const std::int64_t frame = run.clock->deviceFrame(from);
    state.SoundDevice->Wave_CancelFrom(state.AccentSlot, frame);
    state.SoundDevice->Wave_CancelFrom(state.BeatSlot, frame);
    run.BeatCounter = run.counterBefore[static_cast<std::size_t>(beat % Run::kBeatsKept)];
    run.nextClick = beat;
    // The device may take a click of these before the new hand-over reaches it; it then
    // skips the new one instead of playing it twice.
    handOverClicks(run, from, IfLate::Skip);
}

void Metronome::drawPendulum(double swing) {
    const auto& rest = state.RestPose;
    const double rodLength = state.RodLength;
    const double arm = state.WeightArm;

    // Both points move on circles about the pivot.
    const double rodX = rest[0] + swing * run_->rodAmp;
    const double rodDx = rodX - rest[0];
    const double rodY = (rest[1] + rodLength) - std::sqrt(rodLength * rodLength - rodDx * rodDx);
    const double weightX = rest[2] + swing * run_->weightAmp;
    const double weightDx = weightX - rest[2];
    const double weightY = (rest[3] + arm) - std::sqrt(arm * arm - weightDx * weightDx);

    PictureBox& weight = form_.I_Rod;
    weight.Move(static_cast<float>(weightX - weight.Width / 2),
                static_cast<float>(weightY - weight.Height / 2));
    form_.Line_Rod.X1 = static_cast<float>(rodX);
    form_.Line_Rod.Y1 = static_cast<float>(rodY);
}

} // namespace metro
