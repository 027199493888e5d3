#pragma once
// The metronome: its state, start-up and display routines, the tempo from the weight, start
// and stop, and the beat frames of the running metronome. It works on the window's controls
// and asks the window for the few services it needs; it knows nothing of the toolkit.
//
// Sections, one file each: start-up, display and the tempo from the weight (Metronome.cpp,
// with the mapping itself in TempoMapping.cpp), start and stop (StartStop.cpp), the beat
// frames (BeatLoop.cpp).

#include "engine/BeatClock.h"
#include "engine/BeatGrid.h"
#include "engine/MetronomeState.h"
#include "engine/SoundInit.h"
#include "model/WindowLayout.h"
#include "model/WindowServices.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace metro {

// Chooses the clock for a run when play starts.
using BeatClockFactory = std::function<std::unique_ptr<BeatClock>(const MetronomeState&)>;

// The program's own: a sound instance on the default output device, and for a run the
// device's clock while sound is ready, else the steady clock.
std::unique_ptr<Cls_DX7_JP> makeDefaultSoundDevice();
std::unique_ptr<BeatClock> clockForState(const MetronomeState& state);

// What the metronome makes for itself: its sound instance at start-up and its clock for each
// run. The logic tests hand it an offline output and a clock they move by hand.
struct MetronomeFactories {
    SoundDeviceFactory makeSoundDevice = makeDefaultSoundDevice;
    BeatClockFactory clockForRun = clockForState;
};

class Metronome {
public:
    Metronome(WindowLayout& form, WindowServices& window, MetronomeFactories factories = {});
    ~Metronome();

    MetronomeState state;

    // Start-up: stands the rod upright, puts the weight on the 120 mark, sets the defaults,
    // shows them and sets up the clicks.
    void Form_Load();
    // Shutdown, whenever the window unloads: ends the run (Playing false, no more beat
    // frames, the run's clock gone), hides the window, and then releases the sound instance.
    void Form_Unload();
    void Beats_Show();
    void Tempo_Show();
    void Speaker_Show(bool on);
    void Scale_Show(bool show);

    // Sets Tempo from the height of the weight's centre (twips, tempoAtCentre) and shows it.
    void Tempo_Change(std::int16_t CentreY);

    // Index 0 starts, any other index stops.
    void I_Play_Click(std::int16_t Index);

    // Starts the beat frames; Beat_Frame then runs about once per screen refresh until play
    // stops.
    void Beat_Loop();
    void Beat_Frame();
    // After a change of SoundOff or BeatsPerMeasure during play: the clicks handed over but
    // not yet rendered are taken back and handed over again under the new state, so the
    // change acts from the very next click. A click already sounding plays on.
    void Clicks_Renew();

    // How far ahead of the device's write head clicks are handed over to the sound device:
    // more than the longest gap between two frames, less than the shortest beat (200 ms).
    static constexpr double kLookaheadSeconds = 0.1;
    // A click whose moment passed more than this long ago (the window was held up) is
    // dropped rather than played late.
    static constexpr double kLateLimitSeconds = 0.02;

private:
    // Values of one run, taken at its start.
    struct Run {
        std::unique_ptr<BeatClock> clock;
        BeatGrid grid;
        double rodAmp;    // horizontal travel of the rod top at full swing, twips
        double weightAmp; // horizontal travel of the weight centre at full swing, twips
        std::int64_t nextClick = 0;
        std::int16_t BeatCounter = 0; // 0: the next click is the accent
        // BeatCounter as it stood before each of the last kBeatsKept beats was handed over
        // (beat k at k % kBeatsKept), so a renewal can count those beats again.
        static constexpr std::int64_t kBeatsKept = 8;
        std::array<std::int16_t, kBeatsKept> counterBefore{};
        bool deviceLost = false; // the clock's view at the last frame
    };

    // Hands over every click due before the lookahead ends. Clicks before `playableFrom` are
    // counted but not played; `ifLate` says what the device does with one it is too late for.
    // Play ends: no beat frame runs any more and the run's clock is gone.
    void endRun();
    void handOverClicks(Run& run, std::int64_t playableFrom, IfLate ifLate);
    // Cuts a click that is sounding and cancels those handed over but not yet started.
    void cancelClicks();
    void drawPendulum(double swing);

    WindowLayout& form_;
    WindowServices& window_;
    const MetronomeFactories factories_;
    // Declared after `state`, so it goes first: its clock may read state.SoundDevice.
    std::optional<Run> run_;
};

} // namespace metro
