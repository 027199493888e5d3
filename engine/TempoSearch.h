#pragma once
// The weight's height for a given tempo: the reverse of the tempo mapping, for the moves that
// aim at a tempo (a tempo given on the command line, one tempo step at a time). The weight is
// then moved as every other move moves it, and Tempo_Change gives exactly that tempo.

#include "engine/TempoMapping.h"
#include "model/WindowLayout.h"

#include <cstdint>
#include <optional>

namespace metro {

// The whole-twip weight top within the reach of a drag, nearest to the weight's present top,
// whose centre gives exactly `tempo` (tempoAtCentre); nothing when no height gives it. Every
// tempo from 40 to 300 has one.
std::optional<std::int16_t> weightTopForTempo(const WindowLayout& form, std::int16_t tempo);

} // namespace metro
