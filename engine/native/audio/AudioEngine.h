#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "audio/AudioCommand.h"
#include "audio/AudioDevice.h"
#include "audio/AudioRing.h"
#include "audio/Mixer.h"

namespace Quorvane {

struct AudioOptions {
    // Headless: no device and no threads; the mixer advances by frameSeconds per
    // frame, so the same frames always give the same samples.
    bool headless = false;
    double frameSeconds = 1.0 / 60.0;
    std::filesystem::path capturePath;  // empty: no capture
};

// Writes a 48 kHz stereo 32-bit float WAV file; the sizes are filled in on Close.
class WavCapture {
public:
    ~WavCapture() { Close(); }
    bool Open(const std::filesystem::path& path);
    void Write(const float* frames, std::size_t count);
    bool Close();
    std::uint64_t Frames() const { return frames; }

private:
    std::FILE* file = nullptr;
    std::uint64_t frames = 0;
    bool failed = false;
};

// The runtime's sound: the sound cache, the mixer, the thread that feeds the
// device and the loader that decodes off the main loop.
class AudioEngine {
public:
    AudioEngine() = default;
    ~AudioEngine() { Stop(); }
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // device is the platform's (ignored when headless); when it cannot be opened the
    // engine says so once and runs on the null device. False only when the capture
    // file cannot be created.
    bool Start(const AudioOptions& options, std::unique_ptr<AudioDevice> device);
    bool Running() const { return running; }
    // Main loop, once per rendered frame: the frame's commands take effect.
    // strings holds the bytes behind the commands' paths.
    void Submit(const std::vector<AudioCommand>& commands, std::string_view strings);
    // Headless only: mixes this frame's share of samples.
    void AdvanceFrame();
    // Ends the threads and finishes the capture file; false when writing it failed.
    bool Stop();

    const char* DeviceName() const { return device ? device->Name() : "none"; }
    // Frames mixed so far (headless: in step with the frames; with a device, ahead of it).
    std::uint64_t MixedFrames() const { return mixedFrames.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<SoundAsset> Sound(std::string_view path);
    void Decode(SoundAsset& asset);
    void WarnOnce(const std::string& path, const std::string& fault);
    void Deliver(MixerCommand&& command);
    void MixerThread();
    void LoaderThread();
    void MixBlock(int frames);
    // Tops up every live music stream: on the loader thread, or on the main loop when headless.
    void FillStreams();

    AudioOptions options;
    bool running = false;
    std::unique_ptr<AudioDevice> device;
    Mixer mixer;
    WavCapture capture;
    std::vector<float> block;
    std::atomic<std::uint64_t> mixedFrames{0};  // read by the main loop while the mixer thread runs
    std::uint64_t headlessFrames = 0;

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, std::shared_ptr<SoundAsset>, Hash, std::equal_to<>> sounds;  // main thread

    // Main loop -> mixer thread. Both vectors keep their capacity: a steady frame
    // allocates nothing to pass its commands.
    std::mutex commandLock;
    std::vector<MixerCommand> pending;
    std::vector<MixerCommand> taking;
    std::condition_variable commandSignal;

    // Main loop -> loader thread.
    std::mutex loaderLock;
    std::condition_variable loaderSignal;
    std::vector<std::shared_ptr<SoundAsset>> decodeQueue;
    std::vector<std::shared_ptr<MusicStream>> streams;  // live tracks, the playing and the fading
    std::vector<std::shared_ptr<MusicStream>> filling;  // FillStreams' copy, kept for its capacity
    std::mutex warnLock;
    std::unordered_set<std::string> warned;

    std::unique_ptr<AudioRing> ring;
    std::atomic<bool> stopping{false};
    std::thread mixerThread;
    std::thread loaderThread;
};

}  // namespace Quorvane
