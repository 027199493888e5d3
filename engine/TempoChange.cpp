#include "engine/Metronome.h"

#include "model/Rounding.h"
#include "model/TempoScale.h"

#include <cstdlib>
#include <string>

namespace metro {

namespace {

constexpr double kSlowest = TempoScale::kSlowestTempo;
constexpr double kFastest = TempoScale::kFastestTempo;
constexpr float kPivotGap = 45; // twips between the weight's lowest bottom edge and the pivot

// A tempo mark's caption read as a number; a caption that is not one reads as 0.
double markValue(const Label& mark) {
    return std::strtod(mark.Caption.c_str(), nullptr);
}

} // namespace

void Metronome::Tempo_Change(std::int16_t CentreY) {
    const auto& ticks = form_.Line1;
    const auto& marks = form_.L_Tem1;
    const std::int16_t first = ticks.first();
    const std::int16_t last = ticks.last();
    const double centre = CentreY;

    double tempo;
    if (CentreY < toInt16(ticks(first).Y1)) {
        tempo = kSlowest;
    } else {
        std::int16_t found = -1;
        for (std::int16_t i = first; i < last; ++i) {
            if (toInt16(ticks(i).Y1) <= CentreY && CentreY <= toInt16(ticks(i + 1).Y1)) {
                found = i;
                break;
            }
        }
        if (found >= 0) {
            const float y0 = ticks(found).Y1;
            const float y1 = ticks(found + 1).Y1;
            const double t0 = markValue(marks(found));
            const double t1 = markValue(marks(found + 1));
            tempo = t0 + (centre - y0) * (t1 - t0) / (y1 - y0);
        } else {
            // Below the last tick: on to the fastest tempo at the weight's lowest place.
            const float yLast = ticks(last).Y1;
            const double tLast = markValue(marks(last));
            const float lowestCentre = form_.Line_Rod.Y2 - kPivotGap - form_.I_Rod.Height / 2;
            tempo = tLast + (centre - yLast) * (kFastest - tLast) / (lowestCentre - yLast);
        }
    }
    state.Tempo = toInt16(tempo);
    Tempo_Show();
}

} // namespace metro
