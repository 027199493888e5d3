#pragma once
// An output device as the sound class sees it: a format, a mixer that renders into it, a
// clock, a way to hold rendering off during structural changes, and what every device
// output shares (the wish to be awake, whether a device is open, how often one was lost,
// how it tries again). The sound server's stream, the SDL device and the offline output
// (tests, benchmarks) implement it. Window-thread interface, but for the counters.

#include "sound/DeviceFormat.h"
#include "sound/Mixer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace metro {

class RenderingHold;

// How a device output tries again to reach a device that went away: first after a quarter
// of a second (a restarting sound server is back within a second or two), then twice as
// long each time, at most every 2 s, so one that stays away costs next to nothing.
class RetryBackOff {
public:
    static constexpr std::chrono::milliseconds kFirst{250};
    static constexpr std::chrono::milliseconds kLongest{2000};

    // The wait before the next try; the one after is twice as long.
    std::chrono::milliseconds next() {
        const auto wait = wait_;
        wait_ = std::min(wait_ * 2, kLongest);
        return wait;
    }
    // The device is back: the next loss starts again from kFirst.
    void reset() { wait_ = kFirst; }

private:
    std::chrono::milliseconds wait_ = kFirst;
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // False when the device could not be opened; such an output renders nothing.
    virtual bool isOpen() const = 0;
    virtual DeviceFormat format() const = 0;
    // The number of output devices the sound system lists (0 when it cannot tell).
    virtual std::int32_t deviceCount() const = 0;
    virtual Mixer& mixer() = 0;
    // Estimate of the frame the listener hears now (device clock, never negative).
    virtual std::int64_t heardFrame() const = 0;

    // The first frame whose sound a change handed over now can still reach: frames before
    // it are the device's for good. An output that can take back what it has handed to its
    // device but not yet played says so here; for the others it is the frames rendered.
    virtual std::int64_t changeableFrame() { return mixer().framesRendered(); }
    // Window thread, rendering held off: what the mixer rendered from `frame` on (but never
    // from before changeableFrame()) is taken back from the device; the mixer goes back to
    // that frame (Mixer::rewind) and the output renders again from there once the hold ends,
    // with every change handed over meanwhile. Does nothing on an output that cannot.
    virtual void takeBack(std::int64_t frame, const RenderingHold& hold) {
        static_cast<void>(frame);
        static_cast<void>(hold);
    }

    // An output put to sleep keeps its sounds and its clock but costs nothing: no audio thread
    // runs and no frames pass until it is woken. Outputs without a device never sleep.
    // awake() is what was asked last; a device may take a moment to follow.
    virtual void setAwake(bool awake) { static_cast<void>(awake); }
    bool awake() const { return wantAwake_.load(); }

    // What the sound server's mixer lists the output's stream as (outputs without a server
    // ignore it). Never waits for the server.
    virtual void setStreamName(const std::string& name) { static_cast<void>(name); }

    // While held, the renderer does not run; keep it short (adding or removing a voice).
    virtual void holdRendering() = 0;
    virtual void releaseRendering() = 0;

    // Any thread. A device is open (the sound server's stream ready, an SDL device playing);
    // true for an output without a device.
    bool deviceOpen() const { return deviceOpen_.load(); }
    // Any thread: how often an open device was lost since the output was made.
    std::int32_t devicesLost() const { return devicesLost_.load(); }
    // Any thread: how often the device ran out of sound to play (0 where it cannot tell).
    // The starts that never sounded are the mixer's dropped().
    virtual std::int64_t underruns() const { return 0; }

protected:
    // Noted by the output as its device opens and goes.
    void deviceOpened() { deviceOpen_.store(true); }
    // The device is closed; a device that was open counts as lost when `lost`.
    void deviceClosed(bool lost) {
        if (deviceOpen_.exchange(false) && lost)
            devicesLost_.fetch_add(1);
    }

    std::atomic<bool> wantAwake_{true}; // written by the window thread only
    std::atomic<bool> deviceOpen_{false};

private:
    std::atomic<std::int32_t> devicesLost_{0};
};

// Holds rendering off for the life of the object; calls that need rendering held off take
// it as a parameter.
class RenderingHold {
public:
    explicit RenderingHold(AudioOutput& output) : output_(output) { output_.holdRendering(); }
    ~RenderingHold() { output_.releaseRendering(); }
    RenderingHold(const RenderingHold&) = delete;
    RenderingHold& operator=(const RenderingHold&) = delete;

    AudioOutput& output() const { return output_; }

private:
    AudioOutput& output_;
};

} // namespace metro
