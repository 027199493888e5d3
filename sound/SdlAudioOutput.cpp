#include "sound/SdlAudioOutput.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>

namespace metro {

namespace {

using namespace std::chrono_literals;

// While awake, the keeper looks at the device this often: a lost device is noticed within
// this time (a status read costs next to nothing).
constexpr auto kWatchEvery = 100ms;

SDL_AudioSpec wantedSpec(const DeviceFormat& format, void* output, SDL_AudioCallback callback) {
    SDL_AudioSpec want{};
    want.freq = format.sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = static_cast<Uint16>(format.blockFrames);
    want.callback = callback;
    want.userdata = output;
    return want;
}

// alsa-lib prints a line of its own to standard error for each step that fails, and SDL
// tries ALSA's "default" device where no sound server runs: on a machine without a sound
// card, a handful of lines about an unknown PCM came before the program's one line saying
// there is no sound device. Its printer stays silent for as long as the program runs (SDL
// loads this same library, and the keeper may open a device at any time); what failed is
// SDL's to report.
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa() {
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetErrorHandler = int (*)(ErrorHandler);
    // Loaded once and kept, so that the handler stays set.
    static void* const alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr)
        return; // no ALSA for SDL to try either
    auto* setHandler = reinterpret_cast<SetErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler != nullptr)
        setHandler(&ignoreAlsaError);
}

} // namespace

std::shared_ptr<SdlAudioOutput> SdlAudioOutput::openDefault() {
    // The window keeps its own handling of interrupt and terminate signals.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    silenceAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return nullptr;
    // The audio subsystem brings SDL's event queue along, and nothing here reads it: the
    // keeper watches the device's status instead, so device events need not pile up there.
    SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
    SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);

    std::shared_ptr<SdlAudioOutput> output(new SdlAudioOutput());
    // 1024 frames (21 ms at 48 kHz): every click is placed on its frame ahead of time, so the
    // buffer adds no timing error; half the wake-ups of 512 frames halve what the audio
    // thread and the sound server cost while playing (about 0.5 % of a core instead of 1 %).
    const SDL_AudioSpec want =
        wantedSpec(DeviceFormat{48000, 2, 1024}, output.get(), &SdlAudioOutput::callback);
    SDL_AudioSpec have{};
    // Opened paused: the callback does not run until the mixer exists. This first open is
    // the only one outside the keeper, which does not exist yet.
    const SDL_AudioDeviceID device =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (device == 0 || have.freq <= 0 || have.channels == 0 || have.samples == 0) {
        if (device != 0)
            SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    output->mixer_.emplace(DeviceFormat{have.freq, have.channels, have.samples});
    output->publish(device);
    output->keeper_ = std::thread(&SdlAudioOutput::keepDevice, output.get());
    return output;
}

SdlAudioOutput::~SdlAudioOutput() {
    if (!mixer_)
        return;
    {
        const std::lock_guard<std::mutex> lock(wishLock_);
        quit_ = true;
    }
    wish_.notify_one();
    keeper_.join(); // closes the device on its way out
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::uint32_t SdlAudioOutput::openInMixerFormat() {
    const SDL_AudioSpec want = wantedSpec(mixer_->format(), this, &SdlAudioOutput::callback);
    // No changes allowed: SDL converts if today's default device differs from the one the
    // sounds were converted for. Opened paused until published.
    return SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
}

void SdlAudioOutput::publish(std::uint32_t device) {
    {
        const std::lock_guard<std::mutex> lock(deviceLock_);
        device_ = device;
    }
    deviceOpened();
    SDL_PauseAudioDevice(device, 0);
}

void SdlAudioOutput::closeDevice(bool lost) {
    // Under the lock until closed: a callback may run until SDL_CloseAudioDevice returns, so
    // holdRendering() must go on locking the device until then (or wait for the close).
    const std::lock_guard<std::mutex> lock(deviceLock_);
    if (device_ != 0)
        SDL_CloseAudioDevice(device_); // waits for a callback in progress
    device_ = 0;
    deviceClosed(lost);
}

void SdlAudioOutput::keepDevice() {
    // device_ is written only on this thread, so reading it here needs no lock.
    RetryBackOff retry;
    std::unique_lock<std::mutex> lock(wishLock_);
    while (!quit_) {
        const bool want = wantAwake_.load();
        lock.unlock();
        std::optional<std::chrono::milliseconds> wakeIn; // none: until the wish changes
        if (!want) {
            closeDevice(false);
            retry.reset();
        } else {
            if (device_ != 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED)
                closeDevice(true); // lost: the server went away or the hardware did
            if (device_ == 0) {
                if (const std::uint32_t device = openInMixerFormat()) {
                    publish(device);
                    retry.reset();
                } else {
                    wakeIn = retry.next();
                }
            }
            if (!wakeIn)
                wakeIn = kWatchEvery;
        }
        lock.lock();
        const auto changed = [&] { return quit_ || wantAwake_.load() != want; };
        if (wakeIn)
            wish_.wait_for(lock, *wakeIn, changed);
        else
            wish_.wait(lock, changed);
    }
    lock.unlock();
    closeDevice(false);
    SDL_TLSCleanup(); // SDL keeps its error text per thread, and this thread is not SDL's
}

void SdlAudioOutput::setAwake(bool awake) {
    // Only this thread writes the wish: unchanged, there is nothing to tell (every click
    // lands here).
    if (!mixer_ || wantAwake_.load() == awake)
        return;
    {
        const std::lock_guard<std::mutex> lock(wishLock_); // held by the keeper only briefly
        wantAwake_.store(awake);
    }
    wish_.notify_one();
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
    deviceLock_.lock(); // the keeper cannot close the device while it is held
    if (device_ != 0)   // no device, nothing renders
        SDL_LockAudioDevice(device_);
}

void SdlAudioOutput::releaseRendering() {
    if (device_ != 0)
        SDL_UnlockAudioDevice(device_);
    deviceLock_.unlock();
}

void SdlAudioOutput::callback(void* self, std::uint8_t* stream, int bytes) {
    auto& output = *static_cast<SdlAudioOutput*>(self);
    Mixer& mixer = *output.mixer_;
    const int frames = bytes / static_cast<int>(sizeof(float) * mixer.format().channels);
    output.lastCallback_.write(mixer.framesRendered(), steadyNanoseconds());
    mixer.render(reinterpret_cast<float*>(stream), frames);
}

} // namespace metro
