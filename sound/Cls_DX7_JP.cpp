#include "sound/Cls_DX7_JP.h"

#include "sound/AudioOutput.h"
#include "sound/DefaultAudioOutput.h"
#include "sound/Mixer.h"
#include "sound/SoundBuffer.h"
#include "sound/WaveFormat.h"

#include <filesystem>
#include <limits>
#include <utility>

// Sections: the slot record; the device (construction, Initialize, properties); the slot
// table (position, load, play, stop, clear); slot properties; the device clock.

namespace metro {

namespace {

constexpr std::int16_t kLastPossibleIndex = std::numeric_limits<std::int16_t>::max();

std::string trimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

struct Cls_DX7_JP::WaveSlot {
    std::int16_t SlotIndex = 0;          // 1..32767; 0 in a cleared record
    std::shared_ptr<SoundBuffer> Buffer; // the decoded sound and its volume
    std::string SlotPath;                // trimmed path the slot was loaded from
    bool SlotLoop = false;
};

// ---- The device ----

Cls_DX7_JP::Cls_DX7_JP() : Cls_DX7_JP(openDefaultAudioOutput()) {}

Cls_DX7_JP::Cls_DX7_JP(std::shared_ptr<AudioOutput> output) {
    if (output && output->isOpen()) {
        DS = std::move(output);
        DXReady = true;
    }
}

Cls_DX7_JP::~Cls_DX7_JP() {
    Wave_ClearAll();
    DS.reset();
}

void Cls_DX7_JP::Initialize(std::int32_t CallingFormHandle, const std::int32_t& PriorityLevel) {
    if (!DXReady || CallingFormHandle == 0)
        return;
    // The sound server and SDL have no cooperation levels: the device is shared with other programs
    // whatever the level asked for, which is the effect of the priority level the window passes.
    static_cast<void>(PriorityLevel);
    InitDone = true;
}

bool Cls_DX7_JP::InitOK() const {
    return InitDone;
}

std::int32_t Cls_DX7_JP::DeviceCount() const {
    return ready() ? DS->deviceCount() : 0;
}

std::shared_ptr<AudioOutput> Cls_DX7_JP::rDirectSound() const {
    return ready() ? DS : nullptr;
}

// ---- The slot table ----

int Cls_DX7_JP::Wave_Position(std::int16_t Index) const {
    if (!ready() || WaveCount < 1 || Index < 1 || Index > LastIndex)
        return -1;
    for (int position = 1; position <= WaveCount; ++position)
        if (Waves[static_cast<std::size_t>(position)].SlotIndex == Index)
            return position;
    return -1;
}

const Cls_DX7_JP::WaveSlot* Cls_DX7_JP::slot(std::int16_t Index) const {
    const int position = Wave_Position(Index);
    return position < 0 ? nullptr : &Waves[static_cast<std::size_t>(position)];
}

Cls_DX7_JP::WaveSlot* Cls_DX7_JP::slot(std::int16_t Index) {
    return const_cast<WaveSlot*>(std::as_const(*this).slot(Index));
}

bool Cls_DX7_JP::File_Exists(std::string FilePath) {
    FilePath = trimSpaces(FilePath);
    if (FilePath.empty())
        return false;
    // Opening a FIFO, a socket or a device to see whether it is there would block or never
    // end: the directory lookup alone decides, and only a regular file counts.
    std::error_code ignored;
    return std::filesystem::is_regular_file(FilePath, ignored);
}

bool Cls_DX7_JP::Wave_LoadFile(std::string FilePath, std::int16_t& Return_Index) {
    Return_Index = -1;
    LastLoadFailure = LoadFailure::NoSoundDevice;
    if (!ready())
        return false;
    FilePath = trimSpaces(FilePath);
    if (!File_Exists(FilePath)) {
        std::error_code ignored;
        LastLoadFailure = std::filesystem::exists(FilePath, ignored) ? LoadFailure::NotRegular
                                                                     : LoadFailure::Missing;
        return false;
    }
    LastLoadFailure = LoadFailure::None;
    if (LastIndex == kLastPossibleIndex)
        return false;

    const std::int16_t countBefore = WaveCount;
    const std::int16_t lastBefore = LastIndex;
    try {
        LastIndex = static_cast<std::int16_t>(LastIndex + 1);
        WaveCount = static_cast<std::int16_t>(WaveCount + 1);
        Waves.resize(static_cast<std::size_t>(WaveCount) + 1);
        WaveSlot& slot = Waves[static_cast<std::size_t>(WaveCount)];
        slot.SlotIndex = LastIndex;
        slot.SlotPath = FilePath;
        WaveFormat fileFormat; // the file's own; the buffer holds the device's
        slot.Buffer = SoundBuffer::createFromFile(DS, FilePath, fileFormat, LastLoadFailure);
        if (slot.Buffer) {
            Return_Index = LastIndex;
            return true;
        }
    } catch (...) {
        // Out of memory while growing the table or decoding: undone below like a refusal.
    }
    WaveCount = countBefore;
    LastIndex = lastBefore;
    Waves.resize(static_cast<std::size_t>(WaveCount) + 1); // shrinking never throws
    return false;
}

bool Cls_DX7_JP::Wave_Play(std::int16_t Index) {
    return Wave_PlayAt(Index, Mixer::kAsSoonAsPossible);
}

bool Cls_DX7_JP::Wave_PlayAt(std::int16_t Index, std::int64_t startFrame, IfLate ifLate) {
    WaveSlot* found = slot(Index);
    if (found == nullptr)
        return false;
    DS->setAwake(true);
    // A start the device cannot take (its queue full) is counted by the mixer; the slot
    // still counts as played.
    if (found->Buffer) {
        if (startFrame >= WriteHeadFrame() || startFrame < DS->changeableFrame()) {
            found->Buffer->play(startFrame, found->SlotLoop, ifLate);
        } else {
            // Rendered already, maybe not yet played: the device takes back what it can.
            const RenderingHold hold(*DS);
            DS->takeBack(startFrame, hold);
            found->Buffer->play(startFrame, found->SlotLoop, ifLate);
        }
    }
    return true;
}

void Cls_DX7_JP::Device_Awake(bool Awake) {
    if (ready())
        DS->setAwake(Awake);
}

void Cls_DX7_JP::Device_Name(const std::string& Name) {
    if (ready())
        DS->setStreamName(Name);
}

bool Cls_DX7_JP::Wave_CancelFrom(std::int16_t Index, std::int64_t fromFrame) {
    WaveSlot* found = slot(Index);
    if (found == nullptr)
        return false;
    if (const auto& buffer = found->Buffer) {
        // The device takes back what it rendered from there and has not played, so the
        // starts it took are cancelled too; the others were heard or are about to be.
        const RenderingHold hold(*DS);
        DS->takeBack(fromFrame, hold);
        buffer->cancelFrom(fromFrame);
    }
    return true;
}

bool Cls_DX7_JP::Wave_Stop(std::int16_t Index) {
    WaveSlot* found = slot(Index);
    if (found == nullptr)
        return false;
    if (found->Buffer)
        found->Buffer->stop();
    return true;
}

bool Cls_DX7_JP::Wave_Clear(std::int16_t Index) {
    const int position = Wave_Position(Index);
    if (position < 0)
        return false;
    // Releasing the buffer removes its voice, which ends its sound.
    Waves[static_cast<std::size_t>(position)] = WaveSlot{};
    if (position != WaveCount)
        Waves[static_cast<std::size_t>(position)] =
            std::move(Waves[static_cast<std::size_t>(WaveCount)]);
    WaveCount = static_cast<std::int16_t>(WaveCount - 1);
    Waves.resize(static_cast<std::size_t>(WaveCount) + 1);
    return true;
}

bool Cls_DX7_JP::Wave_ClearAll() {
    const bool hadSlots = WaveCount >= 1;
    for (WaveSlot& slot : Waves) {
        if (slot.Buffer)
            slot.Buffer->stop();
        slot.Buffer.reset();
    }
    Waves.clear();
    WaveCount = 0;
    LastIndex = 0;
    return hadSlots;
}

// ---- Slot properties ----

std::string Cls_DX7_JP::FilePath(std::int16_t Index) const {
    const WaveSlot* found = slot(Index);
    return found == nullptr ? std::string{} : found->SlotPath;
}

bool Cls_DX7_JP::LoopPlay(std::int16_t Index) const {
    const WaveSlot* found = slot(Index);
    return found != nullptr && found->SlotLoop;
}

void Cls_DX7_JP::LoopPlay(std::int16_t Index, bool NewValue) {
    if (WaveSlot* found = slot(Index))
        found->SlotLoop = NewValue;
}

std::int32_t Cls_DX7_JP::Volume(std::int16_t Index) const {
    const WaveSlot* found = slot(Index);
    return found != nullptr && found->Buffer ? found->Buffer->volume() : 0;
}

void Cls_DX7_JP::Volume(std::int16_t Index, std::int32_t NewValue) {
    WaveSlot* found = slot(Index);
    if (found != nullptr && found->Buffer)
        found->Buffer->setVolume(NewValue); // a refused value leaves the volume as it was
}

// ---- The device clock ----

std::int32_t Cls_DX7_JP::SampleRate() const {
    return ready() ? DS->format().sampleRate : 0;
}

std::int64_t Cls_DX7_JP::WriteHeadFrame() const {
    return ready() ? DS->mixer().writeHeadFrame() : 0;
}

std::int64_t Cls_DX7_JP::ChangeableFrame() const {
    return ready() ? DS->changeableFrame() : 0;
}

std::int64_t Cls_DX7_JP::HeardFrame() const {
    return ready() ? DS->heardFrame() : 0;
}

} // namespace metro
