#pragma once
// A fingerprint of what the controls show: equal fingerprints mean the same picture. The
// window compares them after each handler, so that a pointer move that changes nothing
// repaints nothing, and the cached still picture is rebuilt only when a control below the
// rod has changed.

#include "model/Controls.h"

#include <cstdint>
#include <vector>

namespace metro {

// Controls from `first` up to, but not including, `end`, in the given order.
std::uint64_t controlsFingerprint(const std::vector<Control*>& controls, std::size_t first,
                                  std::size_t end);

} // namespace metro
