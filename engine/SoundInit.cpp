#include "engine/SoundInit.h"

#include <cstdint>
#include <memory>
#include <string>

namespace metro {

namespace {
constexpr std::int32_t kPriorityLevel = 2; // the window's cooperation level with the device
}

bool Sound_Init(MetronomeState& state, WindowServices& window,
                const SoundDeviceFactory& makeSoundDevice) {
    try {
        state.SoundDevice = makeSoundDevice(); // releases any earlier instance
        if (!state.SoundDevice)
            return false;
        Cls_DX7_JP& sound = *state.SoundDevice;
        sound.Initialize(window.windowHandle(), kPriorityLevel);
        if (!sound.InitOK())
            return false;
        const std::string folder = window.programFolder() + "/metro";
        if (!sound.Wave_LoadFile(folder + "/1.wav", state.AccentSlot))
            return false;
        if (!sound.Wave_LoadFile(folder + "/2.wav", state.BeatSlot))
            return false;
        sound.LoopPlay(state.BeatSlot, false);
        sound.Volume(state.BeatSlot, 0);
        sound.LoopPlay(state.AccentSlot, false);
        sound.Volume(state.AccentSlot, 0);
        return true;
    } catch (...) {
        // A fault inside the set-up (the instance could not even be made): no sound.
        return false;
    }
}

} // namespace metro
