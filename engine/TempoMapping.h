#pragma once
// The weight's height and the tempo: where a drag may leave the weight, and the tempo that a
// height of its centre gives. Pure functions of the laid-out controls: they read the tempo
// scale's ticks and marks, the rod and the weight's size, and change nothing.

#include "model/WindowLayout.h"

#include <cstdint>

namespace metro {

// The whole-twip weight tops that a drag can leave the weight at, highest (smallest) first;
// with the start-up rod and the 150-twip weight 690..5010, the centre 765..5085.
struct WeightReach {
    std::int16_t highestTop;
    std::int16_t lowestTop;
};
WeightReach weightReach(const WindowLayout& form);

// The tempo for the weight's centre at height `CentreY` (twips): 40 above the first tick,
// each tick's own mark, straight lines between ticks, and below the last tick on to 300 at
// the weight's lowest place; rounded half to even. A mark whose caption is not a number
// counts as 0.
std::int16_t tempoAtCentre(const WindowLayout& form, std::int16_t CentreY);

} // namespace metro
