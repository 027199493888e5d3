#pragma once
// How a failing check shows the sound's values: the mixer's counts of starts that never
// sounded, and why a load failed, as its text.

#include "sound/LoadFailure.h"
#include "sound/Mixer.h"

#include <ostream>

namespace metro {

inline void PrintTo(const Mixer::Dropped& dropped, std::ostream* out) {
    *out << "{refused " << dropped.refused << ", late " << dropped.late << ", in a gap "
         << dropped.inGap << "}";
}
inline void PrintTo(LoadFailure failure, std::ostream* out) {
    *out << '"' << describe(failure) << '"';
}

} // namespace metro
