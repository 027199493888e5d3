#pragma once
// Device tests run on SDL's dummy driver, which renders in real time without a sound server.
// Set here as well as by the test registration: its environment list reaches CTest cut
// after the first entry, so SDL_AUDIODRIVER does not arrive from there at present.

#include <cstdlib>

namespace metro::test {

inline void useDummyAudioDriver() {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

} // namespace metro::test
