#include "sound/Mixer.h"

#include "sound/AudioOutput.h"

#include <algorithm>
#include <cassert>
#include <utility>

// Sections: voices (window thread, rendering held off); changes handed over (window thread);
// rendering and skipping (audio thread); going back (rendering held off).

namespace metro {

Mixer::Mixer(const DeviceFormat& format, std::int64_t firstFrame)
    : format_(format), rewindFloor_(firstFrame), rendered_(firstFrame) {}

// ---- Voices ----

VoiceId Mixer::addVoice(std::vector<float> samples, const RenderingHold& hold) {
    assert(&hold.output().mixer() == this);
    static_cast<void>(hold);
    std::uint32_t slot;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        slot = static_cast<std::uint32_t>(voices_.size());
        voices_.emplace_back();
    }
    Voice& voice = voices_[slot];
    voice.frames = static_cast<std::int64_t>(samples.size()) / format_.channels;
    voice.samples = std::move(samples);
    voice.generation += 1;
    voice.gain = 1.0f;
    voice.inUse = true;
    voice.sounding = {};
    return VoiceId{slot, voice.generation};
}

std::vector<float> Mixer::removeVoice(VoiceId id, const RenderingHold& hold) {
    assert(&hold.output().mixer() == this);
    static_cast<void>(hold);
    Voice* voice = find(id);
    if (voice == nullptr)
        return {};
    voice->inUse = false;
    voice->sounding = {};
    voice->frames = 0;
    freeSlots_.push_back(id.slot);
    return std::exchange(voice->samples, {});
}

Mixer::Voice* Mixer::find(VoiceId id) {
    if (id.slot >= voices_.size())
        return nullptr;
    Voice& voice = voices_[id.slot];
    return voice.inUse && voice.generation == id.generation ? &voice : nullptr;
}

// ---- Changes handed over ----

bool Mixer::play(VoiceId voice, std::int64_t startFrame, bool looping, IfLate ifLate) {
    if (commands_.push({Command::Kind::Play, looping, ifLate, 1.0f, voice, startFrame}))
        return true;
    refused_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool Mixer::stop(VoiceId voice) {
    return commands_.push({Command::Kind::Stop, false, IfLate::StartAtOnce, 1.0f, voice, 0});
}

bool Mixer::cancelFrom(VoiceId voice, std::int64_t fromFrame) {
    return commands_.push(
        {Command::Kind::CancelFrom, false, IfLate::StartAtOnce, 1.0f, voice, fromFrame});
}

bool Mixer::setGain(VoiceId voice, float gain) {
    return commands_.push({Command::Kind::SetGain, false, IfLate::StartAtOnce, gain, voice, 0});
}

Mixer::Dropped Mixer::dropped() const {
    return {refused_.load(std::memory_order_relaxed), late_.load(std::memory_order_relaxed),
            inGap_.load(std::memory_order_relaxed)};
}

// ---- Rendering and skipping ----

void Mixer::render(float* out, int frames) {
    while (frames > 0) {
        const int block = std::min(frames, format_.blockFrames);
        renderBlock(out, block);
        out += static_cast<std::ptrdiff_t>(block) * format_.channels;
        frames -= block;
    }
}

void Mixer::skip(std::int64_t frames) {
    if (frames <= 0)
        return;
    const std::int64_t from = rendered_.load(std::memory_order_relaxed);
    applyCommands(from);
    const std::int64_t to = from + frames;
    while (pendingCount_ > 0 && pending_[pendingCount_ - 1].frame < to) {
        --pendingCount_;
        inGap_.fetch_add(1, std::memory_order_relaxed);
    }
    // Voices sound on from their anchors, as if the gap had been played.
    rewindFloor_ = to;
    rendered_.store(to, std::memory_order_release);
}

void Mixer::renderBlock(float* out, int frames) {
    const std::int64_t blockStart = rendered_.load(std::memory_order_relaxed);
    std::fill(out, out + static_cast<std::ptrdiff_t>(frames) * format_.channels, 0.0f);
    applyCommands(blockStart);

    // Split the block at every pending start that falls inside it.
    int cursor = 0;
    for (;;) {
        while (pendingCount_ > 0 && pending_[pendingCount_ - 1].frame <= blockStart + cursor) {
            const PendingStart start = pending_[--pendingCount_];
            if (Voice* voice = find(start.voice)) {
                remember({start.frame, start.voice, voice->sounding, true, start.looping});
                voice->sounding = {start.frame, true, start.looping};
            }
        }
        int segmentEnd = frames;
        if (pendingCount_ > 0 && pending_[pendingCount_ - 1].frame < blockStart + frames)
            segmentEnd = static_cast<int>(pending_[pendingCount_ - 1].frame - blockStart);
        mixSegment(out, blockStart, cursor, segmentEnd);
        cursor = segmentEnd;
        if (cursor >= frames)
            break;
    }

    for (float* sample = out;
         sample != out + static_cast<std::ptrdiff_t>(frames) * format_.channels; ++sample)
        *sample = std::clamp(*sample, -1.0f, 1.0f);
    rendered_.store(blockStart + frames, std::memory_order_release);
}

void Mixer::applyCommands(std::int64_t blockStart) {
    while (const auto command = commands_.pop()) {
        switch (command->kind) {
        case Command::Kind::Play:
            if (command->frame >= blockStart || command->ifLate == IfLate::StartAtOnce)
                addPending(
                    {std::max(command->frame, blockStart), command->voice, command->looping});
            else
                late_.fetch_add(1, std::memory_order_relaxed);
            break;
        case Command::Kind::Stop:
            cancelPending(command->voice);
            if (Voice* voice = find(command->voice)) {
                remember({blockStart, command->voice, voice->sounding, false, false});
                voice->sounding.active = false;
            }
            break;
        case Command::Kind::CancelFrom:
            cancelPending(command->voice, command->frame);
            break;
        case Command::Kind::SetGain:
            if (Voice* voice = find(command->voice))
                voice->gain = command->gain;
            break;
        }
    }
}

void Mixer::addPending(const PendingStart& start) {
    if (pendingCount_ == pending_.size()) {
        refused_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // Latest first; a start joins the front of those at its own frame so that starts at one
    // frame are applied in the order they were handed over.
    std::size_t at = 0;
    while (at < pendingCount_ && pending_[at].frame > start.frame)
        ++at;
    std::move_backward(pending_.begin() + static_cast<std::ptrdiff_t>(at),
                       pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_),
                       pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_ + 1));
    pending_[at] = start;
    ++pendingCount_;
}

void Mixer::cancelPending(VoiceId voice, std::int64_t fromFrame) {
    const auto end = std::remove_if(pending_.begin(),
                                    pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_),
                                    [voice, fromFrame](const PendingStart& start) {
                                        return start.voice.slot == voice.slot &&
                                               start.voice.generation == voice.generation &&
                                               start.frame >= fromFrame;
                                    });
    pendingCount_ = static_cast<std::size_t>(end - pending_.begin());
}

void Mixer::remember(const Change& change) {
    if (historyCount_ == history_.size()) {
        // The oldest change goes: the clock can no longer go back to its frame.
        rewindFloor_ = std::max(rewindFloor_, history_[historyFirst_].frame + 1);
        historyFirst_ = (historyFirst_ + 1) % history_.size();
        --historyCount_;
    }
    history_[(historyFirst_ + historyCount_) % history_.size()] = change;
    ++historyCount_;
}

void Mixer::mixSegment(float* out, std::int64_t blockStart, int fromFrame, int toFrame) {
    const int channels = format_.channels;
    for (Voice& voice : voices_) {
        if (!voice.sounding.active || voice.frames == 0)
            continue;
        std::int64_t position = blockStart + fromFrame - voice.sounding.anchor;
        if (voice.sounding.looping)
            position %= voice.frames;
        else if (position >= voice.frames)
            continue; // played to its end
        int frame = fromFrame;
        while (frame < toFrame) {
            const std::int64_t left = voice.frames - position;
            const int count = static_cast<int>(std::min<std::int64_t>(toFrame - frame, left));
            const float* source = voice.samples.data() + position * channels;
            float* target = out + static_cast<std::ptrdiff_t>(frame) * channels;
            for (int i = 0; i < count * channels; ++i)
                target[i] += source[i] * voice.gain;
            frame += count;
            position += count;
            if (position == voice.frames) {
                if (!voice.sounding.looping)
                    break;
                position = 0;
            }
        }
    }
}

// ---- Going back ----

std::int64_t Mixer::rewind(std::int64_t frame, const RenderingHold& hold) {
    assert(&hold.output().mixer() == this);
    static_cast<void>(hold);
    const std::int64_t rendered = rendered_.load(std::memory_order_relaxed);
    const std::int64_t to = std::max(frame, rewindFloor_);
    if (to >= rendered)
        return rendered;
    // Undo the changes rendered from `to` on, latest first.
    while (historyCount_ > 0) {
        const Change& change = history_[(historyFirst_ + historyCount_ - 1) % history_.size()];
        if (change.frame < to)
            break;
        --historyCount_;
        Voice* voice = find(change.voice);
        if (voice == nullptr)
            continue; // removed since
        voice->sounding = change.before;
        if (!change.start)
            voice->stoppedLater = true;
        if (voice->stoppedLater)
            voice->sounding.active = false;
        else if (change.start)
            addPending({change.frame, change.voice, change.looping});
    }
    for (Voice& voice : voices_)
        voice.stoppedLater = false;
    rendered_.store(to, std::memory_order_release);
    return to;
}

} // namespace metro
