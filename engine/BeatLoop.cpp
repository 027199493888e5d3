#include "engine/Metronome.h"

#include <cmath>
#include <numbers>

namespace metro {

namespace {
// Full swing to each side of the vertical, for the rod and the weight alike.
const double swingAmplitude = std::sin(std::numbers::pi / 7);
} // namespace

void Metronome::Beat_Loop() {
    // The device clock runs only while the device is awake, also through muted beats.
    if (state.SoundReady && state.SoundDevice)
        state.SoundDevice->Device_Awake(true);
    std::unique_ptr<BeatClock> clock = clockForRun(state);
    // The first click, the accent, sounds as soon as the device can play it; the beat grid
    // and the swing start from it.
    const std::int64_t start = clock->earliestStart();
    const BeatGrid grid(start, clock->ticksPerSecond(), state.Tempo > 0 ? state.Tempo : 1);
    run_.emplace(Run{std::move(clock), grid, state.RodLength * swingAmplitude,
                     state.WeightArm * swingAmplitude});
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

    handOverClicks(run);
    drawPendulum(swing);
}

void Metronome::handOverClicks(Run& run) {
    const std::int64_t rate = run.clock->ticksPerSecond();
    const std::int64_t earliest = run.clock->earliestStart();
    const auto lookahead = static_cast<std::int64_t>(lookaheadSeconds * static_cast<double>(rate));
    // A click whose moment has passed by more than this is dropped rather than played late.
    const std::int64_t lateLimit = rate / 50;

    for (std::int64_t tick = run.grid.tickOfBeat(run.nextClick); tick < earliest + lookahead;
         tick = run.grid.tickOfBeat(++run.nextClick)) {
        if (state.SoundOff || !state.SoundReady || !state.SoundDevice)
            continue; // the measure holds its place while there is no sound
        const std::int16_t slot = run.BeatCounter == 0 ? state.AccentSlot : state.BeatSlot;
        // While the device is lost the beats pass silently but still count the measure.
        if (tick >= earliest - lateLimit && !run.deviceLost)
            state.SoundDevice->Wave_PlayAt(slot, run.clock->deviceFrame(tick));
        if (++run.BeatCounter >= state.BeatsPerMeasure)
            run.BeatCounter = 0;
    }
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
