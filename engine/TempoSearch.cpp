#include "engine/TempoSearch.h"

#include "model/Rounding.h"

#include <algorithm>

namespace metro {

std::optional<std::int16_t> weightTopForTempo(const WindowLayout& form, std::int16_t tempo) {
    const WeightReach reach = weightReach(form);
    const int highest = reach.highestTop;
    const int lowest = reach.lowestTop;
    const auto gives = [&](int top) {
        return top >= highest && top <= lowest &&
               tempoAtCentre(form, toInt16(top + form.I_Rod.Height / 2)) == tempo;
    };

    // Outwards from where the weight stands; nothing assumes the scale runs one way.
    const int from = std::clamp(static_cast<int>(toInt16(form.I_Rod.Top)), highest, lowest);
    for (int step = 0; from - step >= highest || from + step <= lowest; ++step) {
        if (gives(from - step))
            return static_cast<std::int16_t>(from - step);
        if (step > 0 && gives(from + step))
            return static_cast<std::int16_t>(from + step);
    }
    return std::nullopt;
}

} // namespace metro
