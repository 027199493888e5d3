#include "engine/SoundInit.h"

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

namespace metro {

namespace {
constexpr std::int32_t kPriorityLevel = 2; // the window's cooperation level with the device

// The one line of detail behind the user's message box.
bool failed(const std::string& what) {
    std::cerr << "metronome: " << what << '\n';
    return false;
}

bool load(Cls_DX7_JP& sound, const std::string& path, std::int16_t& slot) {
    return sound.Wave_LoadFile(path, slot) ||
           failed(path + ": " + describe(sound.Wave_LoadFailure()));
}
} // namespace

bool Sound_Init(MetronomeState& state, WindowServices& window,
                const SoundDeviceFactory& makeSoundDevice) {
    try {
        state.SoundDevice = makeSoundDevice(); // releases any earlier instance
        if (!state.SoundDevice)
            return failed("no sound device");
        Cls_DX7_JP& sound = *state.SoundDevice;
        sound.Initialize(window.windowHandle(), kPriorityLevel);
        if (!sound.InitOK())
            return failed("no sound device");
        const std::string folder = window.programFolder() + "/metro";
        if (!load(sound, folder + "/1.wav", state.AccentSlot))
            return false;
        if (!load(sound, folder + "/2.wav", state.BeatSlot))
            return false;
        sound.LoopPlay(state.BeatSlot, false);
        sound.Volume(state.BeatSlot, 0);
        sound.LoopPlay(state.AccentSlot, false);
        sound.Volume(state.AccentSlot, 0);
        return true;
    } catch (...) {
        // A fault inside the set-up (the instance could not even be made): no sound.
        return failed("no sound device");
    }
}

} // namespace metro
