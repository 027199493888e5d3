#include "sound/SdlAudioOutput.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>

namespace metro {

namespace {

std::int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::shared_ptr<SdlAudioOutput> SdlAudioOutput::openDefault() {
    // The window keeps its own handling of interrupt and terminate signals.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return nullptr;

    std::shared_ptr<SdlAudioOutput> output(new SdlAudioOutput());
    // 1024 frames (21 ms at 48 kHz): every click is placed on its frame ahead of time, so the
    // buffer adds no timing error; half the wake-ups of 512 frames halve what the audio
    // thread and the sound server cost while playing (about 0.5 % of a core instead of 1 %).
    const DeviceFormat wanted{48000, 2, 1024};
    SDL_AudioSpec want{};
    want.freq = wanted.sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(wanted.channels);
    want.samples = static_cast<Uint16>(wanted.blockFrames);
    want.callback = &SdlAudioOutput::callback;
    want.userdata = output.get();
    SDL_AudioSpec have{};
    // Opened paused: the callback does not run until the mixer exists.
    const SDL_AudioDeviceID device =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (device == 0 || have.freq <= 0 || have.channels == 0 || have.samples == 0) {
        if (device != 0)
            SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    output->device_ = device;
    output->mixer_.emplace(DeviceFormat{have.freq, have.channels, have.samples});
    SDL_PauseAudioDevice(device, 0);
    return output;
}

SdlAudioOutput::~SdlAudioOutput() {
    if (!mixer_)
        return;
    setAwake(false);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudioOutput::openInMixerFormat() {
    const DeviceFormat& format = mixer_->format();
    SDL_AudioSpec want{};
    want.freq = format.sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = static_cast<Uint16>(format.blockFrames);
    want.callback = &SdlAudioOutput::callback;
    want.userdata = this;
    // No changes allowed: SDL converts if today's default device differs from the one the
    // sounds were converted for.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device_ == 0)
        return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlAudioOutput::setAwake(bool awake) {
    if (!mixer_ || awake == (device_ != 0))
        return;
    if (awake) {
        openInMixerFormat(); // stays asleep if the device cannot be had now
        return;
    }
    SDL_CloseAudioDevice(device_); // waits for a callback in progress
    device_ = 0;
}

std::int32_t SdlAudioOutput::deviceCount() const {
    return std::max(SDL_GetNumAudioDevices(0), 0);
}

std::int64_t SdlAudioOutput::heardFrame() const {
    const FrameTimeStamp::Value stamp = lastCallback_.read();
    if (!stamp.valid)
        return 0;
    const DeviceFormat& format = mixer_->format();
    // Capped at a second before scaling, so that a device that stopped calling back for
    // days cannot overflow the product.
    const std::int64_t elapsedNanoseconds =
        std::min<std::int64_t>(steadyNanoseconds() - stamp.nanoseconds, 1'000'000'000);
    const std::int64_t elapsedFrames = elapsedNanoseconds * format.sampleRate / 1'000'000'000;
    const std::int64_t advanced = std::clamp<std::int64_t>(elapsedFrames, 0, format.blockFrames);
    return std::max<std::int64_t>(stamp.frame + advanced - format.blockFrames, 0);
}

void SdlAudioOutput::holdRendering() {
    if (device_ != 0) // asleep, nothing renders
        SDL_LockAudioDevice(device_);
}

void SdlAudioOutput::releaseRendering() {
    if (device_ != 0)
        SDL_UnlockAudioDevice(device_);
}

void SdlAudioOutput::callback(void* self, std::uint8_t* stream, int bytes) {
    auto& output = *static_cast<SdlAudioOutput*>(self);
    Mixer& mixer = *output.mixer_;
    const int frames = bytes / static_cast<int>(sizeof(float) * mixer.format().channels);
    output.lastCallback_.write(mixer.framesRendered(), steadyNanoseconds());
    mixer.render(reinterpret_cast<float*>(stream), frames);
}

} // namespace metro
