#include "engine/Metronome.h"

#include "model/Rounding.h"

#include <string>

namespace metro {

void Metronome::I_Play_Click(std::int16_t Index) {
    Line& rod = form_.Line_Rod;
    PictureBox& weight = form_.I_Rod;
    if (Index == 0) {
        state.RestPose[0] = toInt16(rod.X1);
        state.RestPose[1] = toInt16(rod.Y1);
        state.RestPose[2] = toInt16(weight.Width / 2 + weight.Left);
        state.RestPose[3] = toInt16(weight.Height / 2 + weight.Top);
        state.Playing = true;
        state.WeightArm = toInt16(rod.Y2 - weight.Top - weight.Height / 2);
        form_.I_Play(0).Visible = false;
        form_.I_Play(1).Visible = true;
        state.ScaleWasShown = state.ScaleShown;
        if (state.ScaleWasShown)
            Scale_Show(false);
        if (state.SoundReady && state.SoundDevice) // how the desktop's mixer lists the stream
            state.SoundDevice->Device_Name(std::to_string(state.Tempo) + " per minute, " +
                                           std::to_string(state.BeatsPerMeasure) +
                                           (state.BeatsPerMeasure == 1 ? " beat" : " beats"));
        Beat_Loop();
        return;
    }

    // Stop puts back the pose of the last start, whatever the swing's phase.
    endRun();
    rod.X1 = state.RestPose[0];
    rod.Y1 = state.RestPose[1];
    weight.Left = state.RestPose[2] - weight.Width / 2;
    weight.Top = state.RestPose[3] - weight.Height / 2;
    if (state.SoundReady && state.SoundDevice) {
        cancelClicks();
        state.SoundDevice->Device_Awake(false);
    }
    form_.I_Play(0).Visible = true;
    form_.I_Play(1).Visible = false;
    if (state.ScaleWasShown)
        Scale_Show(true);
}

void Metronome::endRun() {
    state.Playing = false;
    run_.reset();
    window_.stopBeatFrames();
}

void Metronome::cancelClicks() {
    state.SoundDevice->Wave_Stop(state.AccentSlot);
    state.SoundDevice->Wave_Stop(state.BeatSlot);
}

} // namespace metro
