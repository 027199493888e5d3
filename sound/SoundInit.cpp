#include "sound/SoundInit.h"

#include "engine/MetronomeState.h"

// Interim: no sound yet.
namespace metro {
bool Sound_Init(MetronomeState& state, WindowServices&) {
    state.SoundDevice = std::make_unique<Cls_DX7_JP>();
    return false;
}
} // namespace metro
