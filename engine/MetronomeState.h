#pragma once
// The window's state record. Integers are 16-bit signed; positions in twips.

#include "sound/Cls_DX7_JP.h"

#include <array>
#include <cstdint>
#include <memory>

namespace metro {

struct MetronomeState {
    std::unique_ptr<Cls_DX7_JP> SoundDevice; // the clicks' device and slots
    bool SoundOff = false;                   // clicks muted
    bool Playing = false;                    // the beat frames are running
    bool ScaleShown = false;                 // tempo scale and key help visible
    std::int16_t BeatsPerMeasure = 0;        // 1..8; first beat of a measure is the accent
    std::int16_t Tempo = 0;                  // beats per minute, 40..300 in use
    std::int16_t RodBottomY = 0;             // pivot height at start-up
    std::int16_t RodTopY = 0;                // rod top's rest height at start-up
    std::int16_t RodLength = 0;              // RodBottomY - RodTopY
    std::int16_t WeightArm = 0;              // pivot to weight centre, taken at start
    std::int16_t DragOffsetY = 0;            // grab point below the weight's top
    std::array<std::int16_t, 4> RestPose{};  // rod top X, Y; weight centre X, Y at start
    bool KeyIsDown = false;                  // a key went down since the last handled release
    std::int16_t AccentSlot = 0;             // slot of metro/1.wav
    std::int16_t BeatSlot = 0;               // slot of metro/2.wav
    bool SoundReady = false;                 // device set up and both clicks loaded
    bool ScaleWasShown = false;              // the scale was visible when play started
};

} // namespace metro
