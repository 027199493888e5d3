#include "ui/form/Form1.h"

#include "model/Rounding.h"

#include <cstdlib>

namespace metro {

void Form1::I_Play_Click(std::int16_t Index) {
    // The hidden one would start a running metronome again, taking the swing as its rest
    // pose, or put a stopped one back in the pose of an earlier start.
    const ControlArray<Image>& buttons = controls.I_Play;
    if (Index < buttons.first() || Index > buttons.last() || !buttons(Index).Visible)
        return;
    metronome.I_Play_Click(Index);
}

void Form1::I_Speaker_Click() {
    // SoundOff before the toggle is the new "sound audible" state.
    metronome.Speaker_Show(state().SoundOff);
    state().SoundOff = !state().SoundOff;
    metronome.Clicks_Renew();
}

void Form1::I_Scale_Click() {
    if (state().Playing)
        return;
    state().ScaleShown = !state().ScaleShown;
    metronome.Scale_Show(state().ScaleShown);
}

void Form1::L_Metro_Click(std::int16_t Index) {
    state().BeatsPerMeasure = Index;
    metronome.Beats_Show();
    metronome.Clicks_Renew();
}

void Form1::L_Tem1_Click(std::int16_t Index) {
    if (state().Playing)
        return;
    // The weight's centre onto the mark's tick; the tempo is the mark's own number.
    controls.I_Rod.Top = controls.Line1(Index).Y1 - controls.I_Rod.Height / 2;
    state().Tempo = toInt16(std::strtod(controls.L_Tem1(Index).Caption.c_str(), nullptr));
    metronome.Tempo_Show();
}

} // namespace metro
