#pragma once
// The output a sound instance opens by default: the desktop's sound server (PulseAudio or
// PipeWire's PulseAudio server) where one answers, SDL's default output device otherwise.
// nullptr when neither is available.

#include "sound/AudioOutput.h"

#include <memory>

namespace metro {

std::shared_ptr<AudioOutput> openDefaultAudioOutput();

} // namespace metro
