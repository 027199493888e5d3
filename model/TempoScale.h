#pragma once
// The tempo scale: seventeen ticks beside the rod, each with its tempo mark and the tempo
// term painted on the metronome's face at the tick's height. One table lays out the ticks
// and marks of the window and draws the terms of the face picture; the tempo mapping reads
// the same points back from the laid-out controls.

#include <array>
#include <cstdint>

namespace metro {

struct TempoScalePoint {
    const char* mark; // caption of the tempo mark, beats per minute
    float markTop;    // twips
    float tickX1;     // twips; every tick runs from here to TempoScale::kTickX2
    float tickY;      // twips; the tick is horizontal
    const char* term; // tempo term on the face, centred on the tick's height
};

struct TempoScale {
    // Beats per minute above the first tick, and at the weight's lowest place: the tempos
    // the weight reaches.
    static constexpr std::int16_t kSlowestTempo = 40, kFastestTempo = 300;
    static constexpr int kCount = 17;
    static constexpr float kTickX2 = 3450;
    static constexpr float kMarkLeft = 3480;
    static constexpr std::array<TempoScalePoint, kCount> kPoints{{
        {"40", 660, 2820, 750, "GRAVE"},
        {"44", 825, 2820, 915, "LARGO"},
        {"50", 1005, 2850, 1080, "LENTO"},
        {"56", 1200, 2850, 1275, "ADAGIO"},
        {"60", 1410, 2880, 1485, "LARGHETTO"},
        {"66", 1620, 2880, 1695, "ADAGIETTO"},
        {"72", 1830, 2880, 1905, "ANDANTE"},
        {"80", 2040, 2910, 2115, "ANDANTINO"},
        {"88", 2250, 2910, 2325, "MAESTOSO"},
        {"96", 2490, 2940, 2565, "MODERATO"},
        {"108", 2730, 2970, 2805, "ALLEGRETTO"},
        {"120", 3030, 3000, 3105, "ANIMATO"},
        {"132", 3330, 3030, 3405, "ALLEGRO"},
        {"144", 3630, 3030, 3720, "ASSAI"},
        {"160", 3990, 3060, 4065, "VIVACE"},
        {"184", 4410, 3090, 4485, "PRESTO"},
        {"208", 4860, 3120, 4935, "PRESTISSIMO"},
    }};
};

} // namespace metro
