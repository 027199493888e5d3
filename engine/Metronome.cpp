#include "engine/Metronome.h"

#include "engine/SoundInit.h"
#include "engine/TempoMapping.h"
#include "model/Rounding.h"

#include <string>

namespace metro {

namespace {
constexpr Rgb kLightGrey = 0xC0C0C0;
constexpr Rgb kWhite = 0xFFFFFF;
} // namespace

std::unique_ptr<Cls_DX7_JP> makeDefaultSoundDevice() {
    return std::make_unique<Cls_DX7_JP>();
}

std::unique_ptr<BeatClock> clockForState(const MetronomeState& state) {
    if (state.SoundReady && state.SoundDevice && state.SoundDevice->SampleRate() > 0)
        return makeDeviceBeatClock(*state.SoundDevice);
    return makeSteadyBeatClock();
}

Metronome::Metronome(WindowLayout& form, WindowServices& window, MetronomeFactories factories)
    : form_(form), window_(window), factories_(std::move(factories)) {}

Metronome::~Metronome() = default;

void Metronome::Form_Load() {
    Line& rod = form_.Line_Rod;
    rod.X1 = 2085;
    rod.X2 = rod.X1;
    rod.Y1 = 720;
    rod.Y2 = 5205;
    form_.I_Rod.Move(2010, 3030);
    state.RodBottomY = toInt16(rod.Y2);
    state.RodTopY = toInt16(rod.Y1);
    state.BeatsPerMeasure = 2;
    state.RodLength = static_cast<std::int16_t>(state.RodBottomY - state.RodTopY);
    state.Tempo = 120;
    Beats_Show();
    Tempo_Show();
    state.SoundOff = false;
    Speaker_Show(true);
    state.ScaleShown = false;
    Scale_Show(false);
    state.SoundReady = Sound_Init(state, window_, factories_.makeSoundDevice);
    if (state.SoundDevice)
        state.SoundDevice->Device_Awake(false); // asleep while stopped: no CPU, no sound server
    if (!state.SoundReady)
        window_.messageBox("DirectSound Initialize Error!");
    form_.P_X.Move(3510, 30, 690, 330);
}

void Metronome::Form_Unload() {
    endRun();
    window_.hideWindow();
    state.SoundDevice.reset(); // stops and releases every click and the device
}

void Metronome::Beats_Show() {
    // Grey first, then one white: exactly one button is white whatever came before.
    for (Label& button : form_.L_Metro)
        button.ForeColor = kLightGrey;
    form_.L_Metro(state.BeatsPerMeasure).ForeColor = kWhite;
}

void Metronome::Tempo_Show() {
    form_.L_temo.Caption = std::to_string(state.Tempo);
}

void Metronome::Tempo_Change(std::int16_t CentreY) {
    state.Tempo = tempoAtCentre(form_, CentreY);
    Tempo_Show();
}

void Metronome::Speaker_Show(bool on) {
    form_.I_Speaker.Picture = on ? "s" : "sx";
}

void Metronome::Scale_Show(bool show) {
    form_.I_Scale.Picture = show ? "t" : "tx";
    for (Line& tick : form_.Line1)
        tick.Visible = show;
    for (Label& mark : form_.L_Tem1)
        mark.Visible = show;
    for (Label& help : form_.Label2)
        help.Visible = show;
}

} // namespace metro
