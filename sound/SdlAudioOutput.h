#pragma once
// SDL's default output device (audio subsystem only), rendering through a Mixer from SDL's
// audio thread. Asks for 48 kHz stereo float32 with a 1024-frame buffer and takes whatever
// rate and channel count the device gives instead.
//
// Asleep, the SDL device is closed: even a device playing silence keeps an audio thread
// and the sound server busy (about 1 % of a core). Waking opens it again in the format the
// mixer already uses, so every loaded sound and the device clock carry on unchanged.

#include "sound/AudioOutput.h"
#include "sound/FrameTimeStamp.h"
#include "sound/Mixer.h"

#include <memory>
#include <optional>

namespace metro {

class SdlAudioOutput final : public AudioOutput {
public:
    // nullptr when the sound system or its default output device is not available.
    static std::shared_ptr<SdlAudioOutput> openDefault();
    ~SdlAudioOutput() override;
    SdlAudioOutput(const SdlAudioOutput&) = delete;
    SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

    bool isOpen() const override { return mixer_.has_value(); }
    DeviceFormat format() const override { return mixer_->format(); }
    std::int32_t deviceCount() const override;
    Mixer& mixer() override { return *mixer_; }
    // Frames rendered before the last callback began, advanced by the time since then (at
    // most one buffer), minus one buffer that the device is still playing.
    std::int64_t heardFrame() const override;
    void setAwake(bool awake) override;
    bool awake() const override { return device_ != 0; }
    void holdRendering() override;
    void releaseRendering() override;

private:
    SdlAudioOutput() = default;
    static void callback(void* self, std::uint8_t* stream, int bytes);
    // Opens the default device in the mixer's format; false if the sound system refuses.
    bool openInMixerFormat();

    std::uint32_t device_ = 0; // SDL_AudioDeviceID; 0 = asleep or never opened
    std::optional<Mixer> mixer_;
    FrameTimeStamp lastCallback_; // device clock and time at the start of the last callback
};

} // namespace metro
