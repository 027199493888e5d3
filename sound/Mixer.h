#pragma once
// The mixer behind the output device: voices (decoded sounds in the device format) started
// at exact frames of the device clock, mixed into float32 interleaved blocks.
//
// Thread contract
// - Window thread (the one producer): play(), stop(), cancelFrom(), setGain(). They never
//   block; they hand their change to the audio thread through a fixed-size queue.
// - Window thread holding rendering off (a RenderingHold, which each of these takes as
//   proof): addVoice() and removeVoice(), the only members that allocate or free, and
//   rewind().
// - Audio thread: render() and skip(). They never allocate, lock, wait or touch a file.
// - Any thread: framesRendered(), writeHeadFrame(), format(), dropped().
//
// The device clock counts frames rendered since the mixer was made (64-bit, never wraps in
// practice). A block of frames [R, R + n) is rendered in one go: first the queued changes
// are applied, then the block is split at the frames where voices start.
//
// A voice sounds from an anchor frame: at frame f it plays its frame f - anchor (modulo its
// length when looping). The mixer keeps the starts and stops it has rendered lately, so it
// can go back to a frame already rendered and render again from there as if it had not
// (rewind()): an output whose device has not played those frames yet takes them back.

#include "sound/DeviceFormat.h"
#include "sound/SpscQueue.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

namespace metro {

class RenderingHold;

// What a start does when its frame has already been rendered by the time the audio thread
// takes it: sound at once (a click a few milliseconds late), or not at all (a click handed
// over again in place of one that may have sounded already).
enum class IfLate : std::uint8_t { StartAtOnce, Skip };

// Names one voice; a removed voice's id never names a later voice.
struct VoiceId {
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;
};

class Mixer {
public:
    // A start frame that has always been rendered already: start at the next block.
    static constexpr std::int64_t kAsSoonAsPossible = std::numeric_limits<std::int64_t>::min();
    static constexpr std::size_t kQueueCapacity = 1024;  // changes in flight to the callback
    static constexpr std::size_t kPendingCapacity = 256; // future starts held by the callback
    static constexpr std::size_t kHistoryCapacity = 256; // rendered starts and stops kept

    // Starts that never sounded, counted since the mixer was made.
    struct Dropped {
        std::int64_t refused = 0; // the queue to the callback, or the pending starts, were full
        std::int64_t late = 0;    // IfLate::Skip, and the frame was rendered already
        std::int64_t inGap = 0;   // due in a stall's gap (skip())
        bool operator==(const Dropped&) const = default;
    };

    // firstFrame: where the device clock starts (0 for a device; an offline output may start
    // it anywhere, to play through long stretches of time without rendering them).
    explicit Mixer(const DeviceFormat& format, std::int64_t firstFrame = 0);
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    const DeviceFormat& format() const { return format_; }

    // Window thread, rendering held off. `samples` are interleaved in the device format and
    // hold at least one frame. The voice starts silent, at gain 1, not looping.
    VoiceId addVoice(std::vector<float> samples, const RenderingHold& hold);
    // Window thread, rendering held off. Gives back the voice's samples so the caller can
    // free them after letting the renderer go again; unknown ids give an empty vector.
    std::vector<float> removeVoice(VoiceId id, const RenderingHold& hold);

    // Window thread. Each returns false only when the queue to the callback is full (a
    // refused play is counted in dropped()).
    // play: from the voice's first frame exactly at `startFrame`, cutting its previous
    // sounding there; a frame already rendered means the start of the next block, or no
    // start at all with IfLate::Skip.
    bool play(VoiceId voice, std::int64_t startFrame, bool looping,
              IfLate ifLate = IfLate::StartAtOnce);
    // stop: silent from the start of the next block; starts still pending are cancelled.
    bool stop(VoiceId voice);
    // cancelFrom: pending starts at `fromFrame` or later are cancelled; a sounding voice
    // plays on.
    bool cancelFrom(VoiceId voice, std::int64_t fromFrame);
    // setGain: linear factor from the start of the next block.
    bool setGain(VoiceId voice, float gain);

    // Frames rendered so far: the device clock.
    std::int64_t framesRendered() const { return rendered_.load(std::memory_order_acquire); }
    // A change handed over now for this frame or later takes effect exactly there, even with
    // render() running at the same time, as long as it is queued within one block period of
    // reading this value: the block being rendered may have taken its changes already.
    std::int64_t writeHeadFrame() const { return framesRendered() + format_.blockFrames; }
    Dropped dropped() const;

    // Audio thread. Writes `frames` frames of interleaved samples to `out`: silence first,
    // then every sounding voice, clamped to [-1, 1]. Longer requests are rendered as
    // several blocks of at most format().blockFrames frames.
    void render(float* out, int frames);
    // Audio thread, after the device went without sound for `frames` frames (a stall): the
    // clock moves on by that much without rendering, so that what follows is heard on its
    // frames again. Sounding voices move on as if played; starts that fell inside the gap
    // are dropped, never played late. The mixer cannot go back across the gap.
    void skip(std::int64_t frames);
    // Window thread, rendering held off: the clock goes back to `frame` (no further back
    // than the starts and stops kept, or the last skip, allow), and the next render() starts
    // there as if nothing from it on had been rendered: the starts rendered since are
    // pending again, the voices sound as they did at that frame. A stop rendered since
    // stays: its voice is silent from the frame gone back to. Changes still queued apply
    // after it. Returns the frame the clock went back to (framesRendered() when it could not
    // go back at all).
    std::int64_t rewind(std::int64_t frame, const RenderingHold& hold);

private:
    // How a voice sounds: from `anchor` on, while active (an ended voice stays active).
    struct Sounding {
        std::int64_t anchor = 0;
        bool active = false;
        bool looping = false;
    };
    struct Voice {
        std::vector<float> samples; // interleaved, device format
        std::int64_t frames = 0;    // samples.size() / channels
        std::uint32_t generation = 0;
        float gain = 1.0f;
        bool inUse = false;
        Sounding sounding;
        bool stoppedLater = false; // rewind()'s own note: a stop after the frame stands
    };
    struct Command {
        enum class Kind : std::uint8_t { Play, Stop, CancelFrom, SetGain };
        Kind kind = Kind::Stop;
        bool looping = false;
        IfLate ifLate = IfLate::StartAtOnce;
        float gain = 1.0f;
        VoiceId voice;
        std::int64_t frame = 0;
    };
    struct PendingStart {
        std::int64_t frame = 0;
        VoiceId voice;
        bool looping = false;
    };
    // A start or a stop rendered at `frame`, and how the voice sounded before it.
    struct Change {
        std::int64_t frame = 0;
        VoiceId voice;
        Sounding before;
        bool start = false; // else a stop
        bool looping = false;
    };

    Voice* find(VoiceId id);
    void renderBlock(float* out, int frames);
    void applyCommands(std::int64_t blockStart);
    void addPending(const PendingStart& start);
    // Cancels the voice's pending starts at `fromFrame` or later.
    void cancelPending(VoiceId voice, std::int64_t fromFrame = kAsSoonAsPossible);
    void remember(const Change& change);
    void mixSegment(float* out, std::int64_t blockStart, int fromFrame, int toFrame);

    const DeviceFormat format_;
    std::vector<Voice> voices_;            // structural changes only with rendering held off
    std::vector<std::uint32_t> freeSlots_; // window thread
    SpscQueue<Command, kQueueCapacity> commands_;
    // Audio thread: future starts, latest first, so the next one is at the back.
    std::array<PendingStart, kPendingCapacity> pending_{};
    std::size_t pendingCount_ = 0;
    // Audio thread: the latest rendered changes, oldest at historyFirst_.
    std::array<Change, kHistoryCapacity> history_{};
    std::size_t historyFirst_ = 0;
    std::size_t historyCount_ = 0;
    std::int64_t rewindFloor_; // rewind() goes back no further
    std::atomic<std::int64_t> rendered_;
    std::atomic<std::int64_t> refused_{0};
    std::atomic<std::int64_t> late_{0};
    std::atomic<std::int64_t> inGap_{0};
};

} // namespace metro
