#pragma once
// Sets up the clicks at start-up: a new sound instance bound to the window, "metro/1.wav"
// (accent) and "metro/2.wav" (plain click) from the program's folder loaded into
// AccentSlot and BeatSlot, both once per play at full loudness. True when both loaded.
// Never shows a message and never throws: the caller tells the user when it is false.

#include "engine/MetronomeState.h"
#include "model/WindowServices.h"

#include <functional>
#include <memory>

namespace metro {

// Makes the sound instance at start-up: the default output device in the program, an
// offline output in tests.
using SoundDeviceFactory = std::function<std::unique_ptr<Cls_DX7_JP>()>;

bool Sound_Init(MetronomeState& state, WindowServices& window,
                const SoundDeviceFactory& makeSoundDevice);

} // namespace metro
