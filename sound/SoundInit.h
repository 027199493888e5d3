#pragma once

namespace metro {
struct MetronomeState;
class WindowServices;

// Creates the sound device, binds it to the window and loads the two clicks from the
// "metro" folder beside the program. True when both clicks are ready to play.
bool Sound_Init(MetronomeState& state, WindowServices& window);
} // namespace metro
