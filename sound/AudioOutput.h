#pragma once
// An output device as the sound class sees it: a format, a mixer that renders into it, a
// clock, and a way to hold rendering off during structural changes. The SDL device and the
// offline output (tests, benchmarks) implement it. Window-thread interface.

#include "sound/DeviceFormat.h"

#include <cstdint>
#include <string>

namespace metro {

class Mixer;

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

    // An output put to sleep keeps its sounds and its clock but costs nothing: no audio thread
    // runs and no frames pass until it is woken. Outputs without a device never sleep.
    // awake() is what was asked last; a device may take a moment to follow.
    virtual void setAwake(bool awake) { (void)awake; }
    virtual bool awake() const { return true; }

    // What the sound server's mixer lists the output's stream as (outputs without a server
    // ignore it). Never waits for the server.
    virtual void setStreamName(const std::string& name) { (void)name; }

    // While held, the renderer does not run; keep it short (adding or removing a voice).
    virtual void holdRendering() = 0;
    virtual void releaseRendering() = 0;
};

// Holds rendering off for the life of the object.
class RenderingHold {
public:
    explicit RenderingHold(AudioOutput& output) : output_(output) { output_.holdRendering(); }
    ~RenderingHold() { output_.releaseRendering(); }
    RenderingHold(const RenderingHold&) = delete;
    RenderingHold& operator=(const RenderingHold&) = delete;

private:
    AudioOutput& output_;
};

} // namespace metro
