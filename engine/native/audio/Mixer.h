#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/AudioRing.h"
#include "audio/Sound.h"

namespace Quorvane {

// A sound effect as the cache holds it: decoded once, shared by every voice that plays it.
struct SoundAsset {
    enum State : int { Loading, Ready, Failed };
    explicit SoundAsset(std::string path) : path(std::move(path)) {}
    std::string path;
    std::atomic<int> state{Loading};
    SoundData data;  // written before state becomes Ready, then never again
};

// Music read from disk a piece at a time into a ring the mixer drains. Fill runs on
// the loader thread (or on the main thread when headless); the mixer only pops.
class MusicStream {
public:
    enum State : int { Opening, Playing, Ended, Failed };
    MusicStream(std::string path, bool loop) : path(std::move(path)), loop(loop) {}

    // Opens on its first call, then decodes until the ring is full or the file ends
    // (rewinding when looping). False once the stream failed to open; fault says why.
    bool Fill(std::string& fault);
    // Mixer side.
    bool Pop(float& left, float& right);
    State GetState() const { return static_cast<State>(state.load(std::memory_order_acquire)); }
    int SampleRate() const { return sampleRate.load(std::memory_order_acquire); }
    bool Exhausted() const { return GetState() == Ended && ring.Available() == 0; }
    const std::string& Path() const { return path; }

private:
    std::string path;
    bool loop;
    std::unique_ptr<StreamDecoder> decoder;
    std::atomic<int> state{Opening};
    std::atomic<int> sampleRate{kMixRate};
    AudioRing ring{1 << 16, 2};
    std::vector<float> scratch;
};

struct MixerCommand {
    enum Kind : std::uint8_t { Play, Stop, StopAll, SetVoice, PlayMusic, StopMusic, PauseMusic, ResumeMusic, FadeMusic, MasterVolume };
    Kind kind = Play;
    std::int32_t handle = 0;
    float volume = 1.0f, pan = 0.0f, pitch = 1.0f, seconds = 0.0f;
    bool loop = false;
    std::shared_ptr<SoundAsset> sound;
    std::shared_ptr<MusicStream> music;
};

// Mixes voices and one music stream into 48 kHz interleaved stereo floats. Not
// thread-safe: one thread applies commands and mixes.
class Mixer {
public:
    static constexpr int kMaxVoices = 128;
    static constexpr int kStartRampFrames = 96;   // 2 ms: no click when a sound starts
    static constexpr int kStopRampFrames = 240;   // 5 ms: no click when it is cut off

    Mixer();
    void Apply(const MixerCommand& command);
    void Mix(float* out, int frames);

    int ActiveVoices() const;
    float MasterVolume() const { return masterTarget; }

    // Constant-power gains of a mono voice at pan -1 (left) .. 1 (right).
    static void PanGains(float pan, float& left, float& right);

private:
    struct Voice {
        bool active = false;
        bool stopping = false;
        bool loop = false;
        bool rawTargets = false;  // targets hold volume and pan until the sound is ready
        std::int32_t handle = 0;
        std::uint64_t started = 0;
        std::shared_ptr<SoundAsset> sound;
        double position = 0.0;
        float pitch = 1.0f;
        float gainLeft = 0.0f, gainRight = 0.0f;      // now
        float targetLeft = 0.0f, targetRight = 0.0f;  // volume and pan asked for
        float envelope = 0.0f;                        // start and stop ramps
    };
    struct MusicSlot {
        std::shared_ptr<MusicStream> stream;
        float volume = 0.0f;      // now
        float target = 0.0f;      // where a fade goes
        float fadeStep = 0.0f;    // per frame
        float baseVolume = 1.0f;  // the volume asked for, restored by ResumeMusic
        bool paused = false;
        bool stopAtSilence = false;
        bool pauseAtSilence = false;
        bool primed = false;
        double fraction = 0.0;
        float previous[2] = {0, 0};
        float next[2] = {0, 0};
    };

    void MixVoice(Voice& voice, float* out, int frames);
    void MixMusic(MusicSlot& slot, float* out, int frames);
    void Fade(MusicSlot& slot, float target, float seconds);
    static void SetTargets(Voice& voice, float volume, float pan);

    std::vector<Voice> voices;
    std::uint64_t playCounter = 0;
    MusicSlot music;
    MusicSlot outgoing;  // the previous track while it fades out
    float master = 1.0f;
    float masterTarget = 1.0f;
};

}  // namespace Quorvane
