#pragma once
// The weight's height for a given tempo: the reverse of Tempo_Change, for the moves that aim
// at a tempo (a tempo given on the command line, one tempo step at a time). The weight is then
// moved as every other move moves it, and Tempo_Change gives exactly that tempo.

#include "engine/Metronome.h"
#include "model/WindowLayout.h"

#include <cstdint>
#include <optional>

namespace metro {

// The whole-twip weight tops that a drag can leave the weight at, highest (smallest) first;
// with the start-up rod and the 150-twip weight 690..5010, the centre 765..5085.
struct WeightReach {
    std::int16_t highestTop;
    std::int16_t lowestTop;
};
WeightReach weightReach(const WindowLayout& form);

// The whole-twip weight top within the reach of a drag, nearest to the weight's present top,
// at which Tempo_Change gives exactly `tempo`; nothing when no height gives it. Every tempo
// from 40 to 300 has one. It tries heights through Tempo_Change itself and leaves `Tempo` and
// the read-out as it found them.
std::optional<std::int16_t> weightTopForTempo(Metronome& metronome, WindowLayout& form,
                                              std::int16_t tempo);

} // namespace metro
