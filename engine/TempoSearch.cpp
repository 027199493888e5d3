#include "engine/TempoSearch.h"

#include "model/Rounding.h"

#include <algorithm>
#include <string>

namespace metro {

namespace {
// The drag's limits, as the pointer keeps them.
constexpr float kAboveRodTop = 30; // the weight's top may rise this far above the rod's top
constexpr float kAbovePivot = 45;  // the weight's bottom stays this far above the pivot
} // namespace

WeightReach weightReach(const WindowLayout& form) {
    const Line& rod = form.Line_Rod;
    return {toInt16(rod.Y1 - kAboveRodTop), toInt16(rod.Y2 - kAbovePivot - form.I_Rod.Height)};
}

std::optional<std::int16_t> weightTopForTempo(Metronome& metronome, WindowLayout& form,
                                              std::int16_t tempo) {
    const auto [highest, lowest] = weightReach(form);
    const std::int16_t keptTempo = metronome.state.Tempo;
    const std::string keptCaption = form.L_temo.Caption;
    const auto gives = [&](int top) {
        if (top < highest || top > lowest)
            return false;
        metronome.Tempo_Change(toInt16(top + form.I_Rod.Height / 2));
        return metronome.state.Tempo == tempo;
    };

    // Outwards from where the weight stands; nothing assumes the scale runs one way.
    const int from = std::clamp<int>(toInt16(form.I_Rod.Top), highest, lowest);
    std::optional<std::int16_t> found;
    for (int step = 0; from - step >= highest || from + step <= lowest; ++step) {
        if (gives(from - step)) {
            found = static_cast<std::int16_t>(from - step);
            break;
        }
        if (step > 0 && gives(from + step)) {
            found = static_cast<std::int16_t>(from + step);
            break;
        }
    }
    metronome.state.Tempo = keptTempo;
    form.L_temo.Caption = keptCaption;
    return found;
}

} // namespace metro
