#include "engine/TempoMapping.h"

#include "model/Rounding.h"
#include "model/TempoScale.h"

#include <cstdlib>

namespace metro {

namespace {

// The weight's travel along the rod, as the pointer keeps it.
constexpr float kAboveRodTop = 30; // the weight's top may rise this far above the rod's top
constexpr float kPivotGap = 45;    // the weight's bottom stays this far above the pivot

constexpr double kSlowest = TempoScale::kSlowestTempo;
constexpr double kFastest = TempoScale::kFastestTempo;

// A tempo mark's caption read as a number; a caption that is not one reads as 0.
double markValue(const Label& mark) {
    return std::strtod(mark.Caption.c_str(), nullptr);
}

} // namespace

WeightReach weightReach(const WindowLayout& form) {
    const Line& rod = form.Line_Rod;
    return {toInt16(rod.Y1 - kAboveRodTop), toInt16(rod.Y2 - kPivotGap - form.I_Rod.Height)};
}

std::int16_t tempoAtCentre(const WindowLayout& form, std::int16_t CentreY) {
    const auto& ticks = form.Line1;
    const auto& marks = form.L_Tem1;
    const std::int16_t first = ticks.first();
    const std::int16_t last = ticks.last();
    const double centre = CentreY;

    if (CentreY < toInt16(ticks(first).Y1))
        return static_cast<std::int16_t>(kSlowest);
    for (std::int16_t i = first; i < last; ++i) {
        if (toInt16(ticks(i).Y1) <= CentreY && CentreY <= toInt16(ticks(i + 1).Y1)) {
            const float y0 = ticks(i).Y1;
            const float y1 = ticks(i + 1).Y1;
            const double t0 = markValue(marks(i));
            const double t1 = markValue(marks(i + 1));
            return toInt16(t0 + (centre - y0) * (t1 - t0) / (y1 - y0));
        }
    }
    // Below the last tick: on to the fastest tempo at the weight's lowest place.
    const float yLast = ticks(last).Y1;
    const double tLast = markValue(marks(last));
    const float lowestCentre = form.Line_Rod.Y2 - kPivotGap - form.I_Rod.Height / 2;
    return toInt16(tLast + (centre - yLast) * (kFastest - tLast) / (lowestCentre - yLast));
}

} // namespace metro
