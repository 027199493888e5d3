#include "sound/OfflineAudioOutput.h"

namespace metro {

OfflineAudioOutput::OfflineAudioOutput(const DeviceFormat& format, std::int32_t listedDevices,
                                       std::int64_t firstFrame)
    : mixer_(format, firstFrame), listedDevices_(listedDevices) {
    deviceOpened();
}

void OfflineAudioOutput::render(float* out, int frames) {
    const std::lock_guard<std::mutex> lock(renderLock_);
    mixer_.render(out, frames);
}

} // namespace metro
