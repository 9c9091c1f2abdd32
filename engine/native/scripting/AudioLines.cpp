#include "scripting/AudioLines.h"

#include <cmath>
#include <optional>
#include <string>

#include "app/Numbers.h"

namespace Quorvane {
namespace {

constexpr float kMaxVolume = 16.0f;
constexpr float kMaxFadeSeconds = 3600.0f;

class AudioReader {
public:
    AudioReader(ProtocolState& state, std::string_view tag) : state(state), tag(tag) {}

    bool Count(std::size_t expected) {
        if (state.fields.size() == expected) return true;
        return Fault("expected " + std::to_string(expected) + " fields, got " + std::to_string(state.fields.size()));
    }
    float Float(std::size_t index, const char* name, float low, float high) {
        if (!ok) return 0.0f;
        const std::optional<float> value = ParseFloatPrefix(state.fields[index]);
        if (!value || !std::isfinite(*value) || *value < low || *value > high) {
            Fault(std::string(name) + " must be a number from " + FormatStreamFloat(low) + " to " + FormatStreamFloat(high));
            return 0.0f;
        }
        return *value;
    }
    std::int32_t Int(std::size_t index, const char* name, std::int32_t low, std::int32_t high) {
        if (!ok) return 0;
        const std::optional<std::int32_t> value = ParseIntPrefix(state.fields[index]);
        if (!value || *value < low || *value > high) {
            Fault(std::string(name) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
            return 0;
        }
        return *value;
    }
    float Volume(std::size_t index) { return Float(index, "volume", 0.0f, kMaxVolume); }
    float Seconds(std::size_t index) { return Float(index, "seconds", 0.0f, kMaxFadeSeconds); }
    AudioText Path(std::size_t index) {
        if (!ok) return {};
        const std::string_view text = state.fields[index];
        if (text.empty()) {
            Fault("the path is empty");
            return {};
        }
        const ResolvedPath* resolved = ResolveTexture(state, text);
        const TextRef ref = state.snapshot.AddString(resolved ? std::string_view(resolved->text) : text);
        return AudioText{ref.offset, ref.length};
    }
    bool Fault(const std::string& fault) {
        if (ok) ReportLineFault(state, tag, fault);
        ok = false;
        return false;
    }
    void Add(const AudioCommand& command) {
        if (ok) state.snapshot.audio.push_back(command);
    }

private:
    ProtocolState& state;
    std::string_view tag;
    bool ok = true;
};

}  // namespace

void ParseAudioLine(ProtocolState& state, std::string_view line) {
    SplitFields(line, state.fields);
    const std::string_view tag = state.fields.empty() ? line : state.fields[0];
    AudioReader reader(state, tag);
    AudioCommand command;
    if (tag == "XAUDIO_PLAY") {
        if (!reader.Count(7)) return;
        command.op = AudioOp::Play;
        command.handle = reader.Int(1, "handle", 0, INT32_MAX);
        command.volume = reader.Volume(2);
        command.pan = reader.Float(3, "pan", -1.0f, 1.0f);
        command.pitch = reader.Float(4, "pitch", 1.0f / 16.0f, 16.0f);
        command.loop = reader.Int(5, "loop", 0, 1) == 1;
        command.path = reader.Path(6);
    } else if (tag == "XAUDIO_STOP") {
        if (!reader.Count(2)) return;
        command.op = AudioOp::Stop;
        command.handle = reader.Int(1, "handle", 0, INT32_MAX);
    } else if (tag == "XAUDIO_STOP_ALL") {
        if (!reader.Count(1)) return;
        command.op = AudioOp::StopAll;
    } else if (tag == "XAUDIO_SET") {
        if (!reader.Count(5)) return;
        command.op = AudioOp::SetVoice;
        command.handle = reader.Int(1, "handle", 0, INT32_MAX);
        command.volume = reader.Volume(2);
        command.pan = reader.Float(3, "pan", -1.0f, 1.0f);
        command.pitch = reader.Float(4, "pitch", 1.0f / 16.0f, 16.0f);
    } else if (tag == "XAUDIO_MUSIC") {
        if (!reader.Count(5)) return;
        command.op = AudioOp::PlayMusic;
        command.loop = reader.Int(1, "loop", 0, 1) == 1;
        command.volume = reader.Volume(2);
        command.seconds = reader.Seconds(3);
        command.path = reader.Path(4);
    } else if (tag == "XAUDIO_MUSIC_STOP" || tag == "XAUDIO_MUSIC_PAUSE" || tag == "XAUDIO_MUSIC_RESUME") {
        if (!reader.Count(2)) return;
        command.op = tag == "XAUDIO_MUSIC_STOP" ? AudioOp::StopMusic : tag == "XAUDIO_MUSIC_PAUSE" ? AudioOp::PauseMusic : AudioOp::ResumeMusic;
        command.seconds = reader.Seconds(1);
    } else if (tag == "XAUDIO_MUSIC_FADE") {
        if (!reader.Count(3)) return;
        command.op = AudioOp::FadeMusic;
        command.volume = reader.Volume(1);
        command.seconds = reader.Seconds(2);
    } else if (tag == "XAUDIO_PRELOAD") {
        if (!reader.Count(2)) return;
        command.op = AudioOp::Preload;
        command.path = reader.Path(1);
    } else if (tag == "XAUDIO_MASTER") {
        if (!reader.Count(2)) return;
        command.op = AudioOp::MasterVolume;
        command.volume = reader.Volume(1);
    } else {
        reader.Fault("unknown audio line");
        return;
    }
    reader.Add(command);
}

}  // namespace Quorvane
