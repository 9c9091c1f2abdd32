#include "audio/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Quorvane {
namespace {

constexpr float kHalfPi = 1.57079632679f;
constexpr float kMaxPitch = 16.0f;
constexpr float kMinPitch = 1.0f / 16.0f;
constexpr float kMaxVolume = 16.0f;

float Sanitise(float value, float low, float high, float fallback) {
    if (!std::isfinite(value)) return fallback;
    return std::clamp(value, low, high);
}

}  // namespace

bool MusicStream::Fill(std::string& fault) {
    if (GetState() == Failed || GetState() == Ended) return GetState() != Failed;
    if (!decoder) {
        decoder = OpenStream(path, fault);
        if (!decoder) {
            state.store(Failed, std::memory_order_release);
            return false;
        }
        sampleRate.store(decoder->SampleRate(), std::memory_order_release);
        scratch.resize(4096 * 2);
        state.store(Playing, std::memory_order_release);
    }
    const int channels = decoder->Channels();
    bool rewoundWithoutData = false;
    while (ring.Free() >= 1024) {
        const int want = static_cast<int>(std::min<std::size_t>(ring.Free(), 4096));
        const int got = decoder->Read(scratch.data(), want);
        if (got <= 0) {
            // A looping file that yields nothing even right after a rewind would spin.
            if (!loop || rewoundWithoutData || !decoder->Rewind()) {
                state.store(Ended, std::memory_order_release);
                return true;
            }
            rewoundWithoutData = true;
            continue;
        }
        rewoundWithoutData = false;
        if (channels == 1) {
            // Mono is spread to both channels here so that the mixer reads one layout.
            for (int i = got - 1; i >= 0; --i) scratch[2 * i] = scratch[2 * i + 1] = scratch[i];
        }
        ring.Write(scratch.data(), static_cast<std::size_t>(got));
    }
    return true;
}

bool MusicStream::Pop(float& left, float& right) {
    float frame[2];
    if (ring.Read(frame, 1) != 1) return false;
    left = frame[0];
    right = frame[1];
    return true;
}

Mixer::Mixer() : voices(kMaxVoices) {}

void Mixer::PanGains(float pan, float& left, float& right) {
    const float angle = (std::clamp(pan, -1.0f, 1.0f) + 1.0f) * 0.5f * kHalfPi;
    left = std::cos(angle);
    right = std::sin(angle);
}

void Mixer::SetTargets(Voice& voice, float volume, float pan) {
    volume = Sanitise(volume, 0.0f, kMaxVolume, 1.0f);
    pan = Sanitise(pan, -1.0f, 1.0f, 0.0f);
    const bool stereo = voice.sound && voice.sound->state.load(std::memory_order_acquire) == SoundAsset::Ready &&
                        voice.sound->data.channels == 2;
    if (stereo) {
        // A stereo sound is balanced, not re-panned: at the centre both channels pass unchanged.
        voice.targetLeft = volume * std::min(1.0f, 1.0f - pan);
        voice.targetRight = volume * std::min(1.0f, 1.0f + pan);
    } else {
        float left, right;
        PanGains(pan, left, right);
        voice.targetLeft = volume * left;
        voice.targetRight = volume * right;
    }
}

int Mixer::ActiveVoices() const {
    return static_cast<int>(std::count_if(voices.begin(), voices.end(), [](const Voice& v) { return v.active; }));
}

void Mixer::Fade(MusicSlot& slot, float target, float seconds) {
    slot.target = target;
    const float frames = std::isfinite(seconds) && seconds > 0.0f ? seconds * kMixRate : 0.0f;
    // No fade still gets a short ramp, for the same reason as a voice's stop.
    slot.fadeStep = std::abs(target - slot.volume) / std::max(frames, static_cast<float>(kStopRampFrames));
}

void Mixer::Apply(const MixerCommand& command) {
    switch (command.kind) {
    case MixerCommand::Play: {
        if (!command.sound) return;
        // A free slot, else the voice playing longest gives way.
        Voice* slot = nullptr;
        for (Voice& voice : voices)
            if (!voice.active) {
                slot = &voice;
                break;
            }
        if (!slot) slot = &*std::min_element(voices.begin(), voices.end(), [](const Voice& a, const Voice& b) { return a.started < b.started; });
        Voice& voice = *slot;
        voice = Voice{};
        voice.active = true;
        voice.loop = command.loop;
        voice.handle = command.handle;
        voice.started = ++playCounter;
        voice.sound = command.sound;
        voice.pitch = Sanitise(command.pitch, kMinPitch, kMaxPitch, 1.0f);
        // The pan law depends on the channel count, which a sound still loading lacks:
        // volume and pan wait raw in the targets.
        voice.targetLeft = command.volume;
        voice.targetRight = command.pan;
        voice.rawTargets = true;
        break;
    }
    case MixerCommand::Stop:
        for (Voice& voice : voices)
            if (voice.active && voice.handle == command.handle) voice.stopping = true;
        break;
    case MixerCommand::StopAll:
        for (Voice& voice : voices)
            if (voice.active) voice.stopping = true;
        break;
    case MixerCommand::SetVoice:
        for (Voice& voice : voices) {
            if (!voice.active || voice.handle != command.handle) continue;
            voice.pitch = Sanitise(command.pitch, kMinPitch, kMaxPitch, 1.0f);
            if (voice.rawTargets) {
                voice.targetLeft = command.volume;
                voice.targetRight = command.pan;
            } else {
                SetTargets(voice, command.volume, command.pan);
            }
        }
        break;
    case MixerCommand::PlayMusic: {
        if (music.stream) {
            outgoing = std::move(music);
            Fade(outgoing, 0.0f, std::max(command.seconds, 0.05f));
            outgoing.stopAtSilence = true;
        }
        music = MusicSlot{};
        music.stream = command.music;
        music.baseVolume = Sanitise(command.volume, 0.0f, kMaxVolume, 1.0f);
        music.volume = 0.0f;
        Fade(music, music.baseVolume, command.seconds);
        break;
    }
    case MixerCommand::StopMusic:
        if (!music.stream) break;
        Fade(music, 0.0f, command.seconds);
        music.stopAtSilence = true;
        break;
    case MixerCommand::PauseMusic:
        if (!music.stream || music.paused) break;
        Fade(music, 0.0f, command.seconds);
        music.pauseAtSilence = true;
        break;
    case MixerCommand::ResumeMusic:
        if (!music.stream || music.stopAtSilence) break;
        music.paused = false;
        music.pauseAtSilence = false;
        Fade(music, music.baseVolume, command.seconds);
        break;
    case MixerCommand::FadeMusic:
        if (!music.stream || music.stopAtSilence) break;
        music.baseVolume = Sanitise(command.volume, 0.0f, kMaxVolume, 1.0f);
        if (!music.paused && !music.pauseAtSilence) Fade(music, music.baseVolume, command.seconds);
        break;
    case MixerCommand::MasterVolume:
        masterTarget = Sanitise(command.volume, 0.0f, kMaxVolume, 1.0f);
        break;
    }
}

void Mixer::MixVoice(Voice& voice, float* out, int frames) {
    SoundAsset& asset = *voice.sound;
    const int state = asset.state.load(std::memory_order_acquire);
    if (state == SoundAsset::Failed) {
        voice = Voice{};
        return;
    }
    // A sound still decoding holds its voice back rather than skipping its start.
    if (state == SoundAsset::Loading) {
        if (voice.stopping) voice = Voice{};
        return;
    }
    if (voice.rawTargets) {
        voice.rawTargets = false;
        const float volume = voice.targetLeft, pan = voice.targetRight;
        SetTargets(voice, volume, pan);
        voice.gainLeft = voice.targetLeft;
        voice.gainRight = voice.targetRight;
    }
    const SoundData& data = asset.data;
    const std::size_t length = data.Frames();
    if (length == 0) {
        voice = Voice{};
        return;
    }
    const float* samples = data.samples.data();
    const bool stereo = data.channels == 2;
    const double step = static_cast<double>(voice.pitch) * data.sampleRate / kMixRate;
    const double end = static_cast<double>(length);
    // Volume and pan changes glide over the block instead of jumping.
    const float gainStepLeft = (voice.targetLeft - voice.gainLeft) / static_cast<float>(frames);
    const float gainStepRight = (voice.targetRight - voice.gainRight) / static_cast<float>(frames);
    const float envelopeStep = voice.stopping ? -1.0f / kStopRampFrames : 1.0f / kStartRampFrames;
    float gainLeft = voice.gainLeft, gainRight = voice.gainRight, envelope = voice.envelope;
    double position = voice.position;
    for (int i = 0; i < frames; ++i) {
        const std::size_t index = static_cast<std::size_t>(position);
        const float fraction = static_cast<float>(position - static_cast<double>(index));
        // The frame after the last is the first one when looping (a seamless seam) and
        // silence otherwise (a sound's end fades over one step, not a click).
        const bool last = index + 1 >= length;
        const std::size_t nextIndex = last ? 0 : index + 1;
        float left, right;
        if (stereo) {
            const float l0 = samples[2 * index], r0 = samples[2 * index + 1];
            const float l1 = last && !voice.loop ? 0.0f : samples[2 * nextIndex];
            const float r1 = last && !voice.loop ? 0.0f : samples[2 * nextIndex + 1];
            left = l0 + (l1 - l0) * fraction;
            right = r0 + (r1 - r0) * fraction;
        } else {
            const float s0 = samples[index];
            const float s1 = last && !voice.loop ? 0.0f : samples[nextIndex];
            left = right = s0 + (s1 - s0) * fraction;
        }
        envelope = std::clamp(envelope + envelopeStep, 0.0f, 1.0f);
        gainLeft += gainStepLeft;
        gainRight += gainStepRight;
        out[2 * i] += left * gainLeft * envelope;
        out[2 * i + 1] += right * gainRight * envelope;
        position += step;
        if (position >= end) {
            if (!voice.loop) {
                voice = Voice{};
                return;
            }
            position = std::fmod(position, end);
        }
        if (voice.stopping && envelope <= 0.0f) {
            voice = Voice{};
            return;
        }
    }
    voice.position = position;
    voice.envelope = envelope;
    voice.gainLeft = voice.targetLeft;
    voice.gainRight = voice.targetRight;
}

void Mixer::MixMusic(MusicSlot& slot, float* out, int frames) {
    MusicStream& stream = *slot.stream;
    if (stream.GetState() == MusicStream::Failed) {
        slot = MusicSlot{};
        return;
    }
    if (stream.GetState() == MusicStream::Opening || slot.paused) return;
    const double step = static_cast<double>(stream.SampleRate()) / kMixRate;
    if (!slot.primed) {
        if (!stream.Pop(slot.previous[0], slot.previous[1])) return;
        if (!stream.Pop(slot.next[0], slot.next[1])) slot.next[0] = slot.next[1] = 0.0f;
        slot.primed = true;
    }
    for (int i = 0; i < frames; ++i) {
        const float f = static_cast<float>(slot.fraction);
        const float left = slot.previous[0] + (slot.next[0] - slot.previous[0]) * f;
        const float right = slot.previous[1] + (slot.next[1] - slot.previous[1]) * f;
        if (slot.volume < slot.target) slot.volume = std::min(slot.target, slot.volume + slot.fadeStep);
        else if (slot.volume > slot.target) slot.volume = std::max(slot.target, slot.volume - slot.fadeStep);
        out[2 * i] += left * slot.volume;
        out[2 * i + 1] += right * slot.volume;
        if (slot.volume <= 0.0f && slot.target <= 0.0f) {
            if (slot.stopAtSilence) {
                slot = MusicSlot{};
                return;
            }
            if (slot.pauseAtSilence) {
                slot.paused = true;
                slot.pauseAtSilence = false;
                return;
            }
        }
        slot.fraction += step;
        while (slot.fraction >= 1.0) {
            slot.fraction -= 1.0;
            slot.previous[0] = slot.next[0];
            slot.previous[1] = slot.next[1];
            if (!stream.Pop(slot.next[0], slot.next[1])) {
                if (stream.Exhausted()) {
                    slot.next[0] = slot.next[1] = 0.0f;
                    if (slot.previous[0] == 0.0f && slot.previous[1] == 0.0f) {
                        slot = MusicSlot{};
                        return;
                    }
                } else {
                    // The loader fell behind: hold the last frame rather than click.
                    slot.next[0] = slot.previous[0];
                    slot.next[1] = slot.previous[1];
                }
            }
        }
    }
}

void Mixer::Mix(float* out, int frames) {
    std::memset(out, 0, static_cast<std::size_t>(frames) * 2 * sizeof(float));
    for (Voice& voice : voices)
        if (voice.active) MixVoice(voice, out, frames);
    if (outgoing.stream) MixMusic(outgoing, out, frames);
    if (music.stream) MixMusic(music, out, frames);
    const float masterStep = (masterTarget - master) / static_cast<float>(frames);
    for (int i = 0; i < frames; ++i) {
        master += masterStep;
        for (int c = 0; c < 2; ++c) {
            float sample = out[2 * i + c] * master;
            // However many loud voices pile up, the output never leaves [-1, 1] (a
            // device would wrap it around); NaN fails both compares and becomes 0.
            sample = sample > 1.0f ? 1.0f : sample;
            sample = sample < -1.0f ? -1.0f : sample;
            out[2 * i + c] = sample == sample ? sample : 0.0f;
        }
    }
    master = masterTarget;
}

}  // namespace Quorvane
