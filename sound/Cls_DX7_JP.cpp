#include "sound/Cls_DX7_JP.h"

// Interim: an instance without a device. Every member reports failure.

namespace metro {

struct Cls_DX7_JP::WaveSlot {};

Cls_DX7_JP::Cls_DX7_JP() = default;
Cls_DX7_JP::Cls_DX7_JP(std::shared_ptr<AudioOutput>) {}
Cls_DX7_JP::~Cls_DX7_JP() = default;
std::int32_t Cls_DX7_JP::DeviceCount() const { return 0; }
std::string Cls_DX7_JP::FilePath(std::int16_t) const { return {}; }
bool Cls_DX7_JP::InitOK() const { return InitDone; }
bool Cls_DX7_JP::LoopPlay(std::int16_t) const { return false; }
void Cls_DX7_JP::LoopPlay(std::int16_t, bool) {}
std::shared_ptr<AudioOutput> Cls_DX7_JP::rDirectSound() const { return nullptr; }
std::int32_t Cls_DX7_JP::Volume(std::int16_t) const { return 0; }
void Cls_DX7_JP::Volume(std::int16_t, std::int32_t) {}
bool Cls_DX7_JP::Wave_Clear(std::int16_t) { return false; }
bool Cls_DX7_JP::Wave_ClearAll() {
    LastIndex = 0;
    return false;
}
void Cls_DX7_JP::Initialize(std::int32_t, const std::int32_t&) {}
bool Cls_DX7_JP::Wave_LoadFile(std::string, std::int16_t& Return_Index) {
    Return_Index = -1;
    return false;
}
bool Cls_DX7_JP::Wave_Play(std::int16_t) { return false; }
bool Cls_DX7_JP::Wave_Stop(std::int16_t) { return false; }
bool Cls_DX7_JP::Wave_PlayAt(std::int16_t, std::int64_t) { return false; }
std::int32_t Cls_DX7_JP::SampleRate() const { return 0; }
std::int64_t Cls_DX7_JP::WriteHeadFrame() const { return 0; }
std::int64_t Cls_DX7_JP::HeardFrame() const { return 0; }
int Cls_DX7_JP::Wave_Position(std::int16_t) const { return -1; }
bool Cls_DX7_JP::File_Exists(std::string) { return false; }

} // namespace metro
