#pragma once
// How a failing check shows the mixer's counts of starts that never sounded.

#include "sound/Mixer.h"

#include <ostream>

namespace metro {

inline void PrintTo(const Mixer::Dropped& dropped, std::ostream* out) {
    *out << "{refused " << dropped.refused << ", late " << dropped.late << ", in a gap "
         << dropped.inGap << "}";
}

} // namespace metro
