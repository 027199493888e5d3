#pragma once
// Sets up the clicks at start-up: a new sound instance bound to the window, "metro/1.wav"
// (accent) and "metro/2.wav" (plain click) from the program's folder loaded into
// AccentSlot and BeatSlot, both once per play at full loudness. True when both loaded.
// Never shows a message and never throws: the caller tells the user when it is false.

#include "engine/MetronomeState.h"
#include "ui/controls/WindowServices.h"

namespace metro {

bool Sound_Init(MetronomeState& state, WindowServices& window);

} // namespace metro
