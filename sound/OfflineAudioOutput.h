#pragma once
// An output without a device: the caller renders blocks itself and reads every sample.
// For tests and benchmarks:
//
//   auto output = std::make_shared<OfflineAudioOutput>();      // 48 kHz, stereo, 512 frames
//   Cls_DX7_JP sound(output);                                  // Opened; Initialize -> Ready
//   std::vector<float> block(512 * 2);
//   output->render(block.data(), 512);                         // advances the device clock
//
// Its clock: WriteHeadFrame = frames rendered + bufferFrames, HeardFrame = WriteHeadFrame -
// bufferFrames (= frames rendered). Rendering from a second thread is allowed; structural
// changes then wait for the block in progress.

#include "sound/AudioOutput.h"
#include "sound/Mixer.h"

#include <mutex>

namespace metro {

class OfflineAudioOutput final : public AudioOutput {
public:
    // firstFrame: where its clock starts.
    explicit OfflineAudioOutput(const DeviceFormat& format = DeviceFormat{},
                                std::int32_t listedDevices = 1, std::int64_t firstFrame = 0);

    // Renders `frames` frames (interleaved, format().channels per frame) into `out`.
    void render(float* out, int frames);

    bool isOpen() const override { return true; }
    DeviceFormat format() const override { return mixer_.format(); }
    std::int32_t deviceCount() const override { return listedDevices_; }
    Mixer& mixer() override { return mixer_; }
    std::int64_t heardFrame() const override { return mixer_.framesRendered(); }
    void holdRendering() override { renderLock_.lock(); }
    void releaseRendering() override { renderLock_.unlock(); }

private:
    Mixer mixer_;
    std::int32_t listedDevices_;
    std::mutex renderLock_;
};

} // namespace metro
