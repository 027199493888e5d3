#pragma once
// SDL's default output device (audio subsystem only), rendering through a Mixer from SDL's
// audio thread. Asks for 48 kHz stereo float32 with a 1024-frame buffer and takes whatever
// rate and channel count the device gives instead.
//
// Asleep, the SDL device is closed: even a device playing silence keeps an audio thread
// and the sound server busy (about 1 % of a core). Waking opens it again in the format the
// mixer already uses, so every loaded sound and the device clock carry on unchanged.
//
// A device that goes away while awake (the sound server restarted, headphones unplugged) is
// reopened on the system's default output, again in the mixer's format, with its sounds
// intact; the device clock stands still in between and carries on from where it stood.
//
// Threads
// - Window thread: setAwake(), awake(), holdRendering()/releaseRendering() and the clock
//   readers. setAwake() only records the wish and wakes the keeper; it never waits for SDL.
// - Keeper thread (one per output): every SDL open and close after start-up, and the watch
//   for a lost device. Opening can take a while on some sound servers, so it stays off the
//   window thread.
// - SDL's audio thread: the callback, which renders the mixer and stamps the clock.

#include "sound/AudioOutput.h"
#include "sound/FrameTimeStamp.h"
#include "sound/Mixer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

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
    // Asks for the device to be open (true) or closed (false); the keeper thread does it.
    // awake() is what was asked last, whether or not the device is open at this moment.
    void setAwake(bool awake) override;
    void holdRendering() override;
    void releaseRendering() override;

private:
    SdlAudioOutput() = default;
    static void callback(void* self, std::uint8_t* stream, int bytes);
    // Keeper thread (or the constructing thread before the keeper starts).
    std::uint32_t openInMixerFormat();
    void publish(std::uint32_t device);
    // `lost`: SDL reported the device stopped (counted in devicesLost()).
    void closeDevice(bool lost);
    void keepDevice();

    std::optional<Mixer> mixer_;
    FrameTimeStamp lastCallback_; // device clock and time at the start of the last callback

    // The open SDL_AudioDeviceID, 0 when none. Written by the keeper under deviceLock_, which
    // it also holds while SDL closes the device (quick: it joins SDL's audio thread), never
    // while SDL opens one (slow when a sound server is missing). holdRendering() takes the
    // lock too, so rendering is held off whatever the keeper is doing.
    std::uint32_t device_ = 0;
    std::mutex deviceLock_;

    bool quit_ = false; // under wishLock_
    std::mutex wishLock_;
    std::condition_variable wish_; // a change of wantAwake_ or quit_
    std::thread keeper_;
};

} // namespace metro
