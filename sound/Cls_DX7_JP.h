#pragma once
// The sound class: one output device and a table of wave slots. Every member runs on the
// window's thread, never throws and never shows a message; failure is reported only through
// results (false, -1, 0, empty text, no object).
//
// States: Silent (no device), Opened (device open, Initialize not yet run with a window),
// Ready (both). Slot operations act only while Ready, except Wave_ClearAll.
//
// Beyond play-now, a slot can be started at an exact frame of the device clock
// (Wave_PlayAt), which is how the metronome puts every click exactly on its beat.

#include "sound/LoadFailure.h"
#include "sound/Mixer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace metro {

class AudioOutput;
struct SoundBuffer;

class Cls_DX7_JP {
public:
    // Opens the default output (openDefaultAudioOutput: the desktop's sound server, else
    // SDL's default device). Never fails towards the caller: without one the instance is
    // Silent.
    Cls_DX7_JP();
    // Uses the given output (an offline one for tests and benchmarks); nullptr or an output
    // that is not open gives a Silent instance.
    explicit Cls_DX7_JP(std::shared_ptr<AudioOutput> output);
    ~Cls_DX7_JP();
    Cls_DX7_JP(const Cls_DX7_JP&) = delete;
    Cls_DX7_JP& operator=(const Cls_DX7_JP&) = delete;

    std::int32_t DeviceCount() const;
    std::string FilePath(std::int16_t Index) const;
    bool InitOK() const;
    bool LoopPlay(std::int16_t Index) const;
    void LoopPlay(std::int16_t Index, bool NewValue);
    std::shared_ptr<AudioOutput> rDirectSound() const;
    // Hundredths of a decibel, 0 (full) to -10000 (silent); other values are refused.
    std::int32_t Volume(std::int16_t Index) const;
    void Volume(std::int16_t Index, std::int32_t NewValue);

    bool Wave_Clear(std::int16_t Index);
    bool Wave_ClearAll();
    void Initialize(std::int32_t CallingFormHandle, const std::int32_t& PriorityLevel);
    bool Wave_LoadFile(std::string FilePath, std::int16_t& Return_Index);
    // Why the last Wave_LoadFile failed (LoadFailure::None after a success).
    LoadFailure Wave_LoadFailure() const { return LastLoadFailure; }
    bool Wave_Play(std::int16_t Index);
    bool Wave_Stop(std::int16_t Index);

    // Starts the slot from its beginning exactly at `startFrame` of the device clock (frames
    // since the device opened); a frame before ChangeableFrame() means as soon as possible
    // (the device takes back what it rendered from a later one). Like Wave_Play it cuts the
    // slot's previous sounding; Wave_Stop also cancels a start that has not happened yet.
    // False for an invalid index or an instance that is not Ready. With IfLate::Skip a
    // frame already rendered when the device takes the start means no start at all.
    bool Wave_PlayAt(std::int16_t Index, std::int64_t startFrame,
                     IfLate ifLate = IfLate::StartAtOnce);
    // Cancels the slot's starts handed over for `fromFrame` or later that have not happened,
    // and those the device has rendered from ChangeableFrame() on; a sound already playing
    // plays on. False for an invalid index or an instance that is not Ready.
    bool Wave_CancelFrom(std::int16_t Index, std::int64_t fromFrame);

    // False lets the device sleep: it keeps its slots and its clock, but no audio thread runs
    // and no frames pass. Any play wakes it, as does true. Does nothing unless Ready. Neither
    // waits: the device opens or closes shortly after on a thread of its own, and while awake
    // a device that goes away is reopened on the default output; until it is open the clock
    // stands still, so a click handed over for WriteHeadFrame or later still lands on its
    // frame, only later in real time.
    void Device_Awake(bool Awake);
    // What the desktop's sound mixer lists this instance's stream as, so that several
    // metronomes can be told apart there. Does nothing unless Ready; never waits.
    void Device_Name(const std::string& Name);

    // The device clock, in frames since the device opened; every one is 0 unless Ready.
    //
    // SampleRate: frames per second of the device (48000 unless the device insisted on
    // another rate; every sound was converted to it at load).
    //
    // WriteHeadFrame: frames rendered so far plus one mixer block (240 frames on the sound
    // server, 1024 on SDL). A click handed to Wave_PlayAt for this frame or later starts
    // exactly on its frame, even while the device renders a block at the same time,
    // provided the hand-over follows the reading within one block period, as it does on
    // the window thread in a frame handler. Earlier frames may already have been rendered.
    // A device may ask for several blocks back to back (the sound server asks for its whole
    // buffer when a stream starts), which shortens that period: hand clicks over some
    // blocks ahead of this frame (a lookahead of tens of ms) to be safe.
    //
    // HeardFrame: estimate of the frame the listener hears now, never below 0. On the sound
    // server: frames written minus the latency the server reports (its buffer and the
    // sink's), interpolated between its reports; it never goes back. On the SDL device: the
    // frames rendered before the last callback began, advanced by the time since then (at
    // most one buffer), minus one buffer for the block the device is still playing. On the
    // offline output: WriteHeadFrame - one buffer, i.e. frames rendered.
    std::int32_t SampleRate() const;
    std::int64_t WriteHeadFrame() const;
    // ChangeableFrame: the first frame whose sound a change handed over now still reaches.
    // On the sound server it is ahead of HeardFrame by what the server has taken from the
    // stream (its sink's latency) and a margin, though frames up to WriteHeadFrame are
    // rendered: the server's stream takes back what it holds beyond it (a start handed over
    // for such a frame, or a cancel from it, renders them again). Elsewhere it is the first
    // frame not yet rendered. A start handed over for it or later lands exactly and may
    // still be cancelled or replaced (with IfLate::Skip, so that a click the device took in
    // the meantime does not sound twice).
    std::int64_t ChangeableFrame() const;
    std::int64_t HeardFrame() const;

private:
    struct WaveSlot;
    int Wave_Position(std::int16_t Index) const;
    // The slot with `Index` while Ready, else nullptr: every slot operation finds it here.
    const WaveSlot* slot(std::int16_t Index) const;
    WaveSlot* slot(std::int16_t Index);
    // True only for a regular file (or a link to one): anything else is never opened.
    static bool File_Exists(std::string FilePath);
    bool ready() const { return DXReady && InitDone; }

    std::shared_ptr<AudioOutput> DS; // the device; the root and device list live inside it
    std::vector<WaveSlot> Waves;     // positions 0..WaveCount; position 0 never holds a slot
    std::int16_t WaveCount = 0;
    std::int16_t LastIndex = 0;
    bool DXReady = false;
    bool InitDone = false;
    LoadFailure LastLoadFailure = LoadFailure::None;
};

} // namespace metro
