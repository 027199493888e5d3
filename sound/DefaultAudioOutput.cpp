#include "sound/DefaultAudioOutput.h"

#include "sound/PulseAudioOutput.h"
#include "sound/SdlAudioOutput.h"

namespace metro {

std::shared_ptr<AudioOutput> openDefaultAudioOutput() {
    // Where no server runs, connecting fails at once; a server that does not answer is
    // given up on within a second.
    if (auto server = PulseAudioOutput::openDefault())
        return server;
    return SdlAudioOutput::openDefault();
}

} // namespace metro
