#include "audio/AudioEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <system_error>

#include "app/Log.h"

namespace Quorvane {
namespace {

constexpr int kBlockFrames = 256;       // what the mixer thread mixes at a time (5.3 ms)
constexpr std::size_t kRingFill = 768;  // how far it keeps ahead of the device (16 ms)
constexpr std::size_t kQueueReserve = 1024;

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::FILE* OpenForWriting(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

void WriteHeader(std::uint8_t* header, std::uint64_t frames) {
    const std::uint64_t bytes = std::min<std::uint64_t>(frames * kMixChannels * 4, 0xFFFFFFFFull - 36);
    std::memcpy(header, "RIFF", 4);
    PutU32(header + 4, static_cast<std::uint32_t>(36 + bytes));
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutU32(header + 16, 16);
    PutU16(header + 20, 3);  // IEEE float
    PutU16(header + 22, kMixChannels);
    PutU32(header + 24, kMixRate);
    PutU32(header + 28, kMixRate * kMixChannels * 4);
    PutU16(header + 32, kMixChannels * 4);
    PutU16(header + 34, 32);
    std::memcpy(header + 36, "data", 4);
    PutU32(header + 40, static_cast<std::uint32_t>(bytes));
}

}  // namespace

bool WavCapture::Open(const std::filesystem::path& path) {
    Close();
    file = OpenForWriting(path);
    if (!file) return false;
    frames = 0;
    failed = false;
    std::uint8_t header[44];
    WriteHeader(header, 0);
    failed = std::fwrite(header, 1, sizeof header, file) != sizeof header;
    return !failed;
}

void WavCapture::Write(const float* samples, std::size_t count) {
    if (!file || count == 0) return;
    if (std::fwrite(samples, sizeof(float) * kMixChannels, count, file) != count) failed = true;
    frames += count;
}

bool WavCapture::Close() {
    if (!file) return !failed;
    std::uint8_t header[44];
    WriteHeader(header, frames);
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file) != sizeof header) failed = true;
    if (std::fclose(file) != 0) failed = true;
    file = nullptr;
    return !failed;
}

bool AudioEngine::Start(const AudioOptions& startOptions, std::unique_ptr<AudioDevice> platformDevice) {
    Stop();
    options = startOptions;
    if (!options.capturePath.empty() && !capture.Open(options.capturePath)) {
        LogError("Could not write the audio capture: " + PathToString(options.capturePath));
        return false;
    }
    block.assign(4096 * kMixChannels, 0.0f);
    pending.reserve(kQueueReserve);
    taking.reserve(kQueueReserve);
    mixedFrames = 0;
    headlessFrames = 0;
    stopping = false;
    running = true;
    if (options.headless) return true;

    ring = std::make_unique<AudioRing>(4096, kMixChannels);
    std::string error;
    device = std::move(platformDevice);
    if (!device || !device->Open(*ring, error)) {
        LogInfo("No audio device could be opened" + (error.empty() ? std::string() : " (" + error + ")") +
                "; the game runs without sound.");
        device = CreateNullAudioDevice();
        device->Open(*ring, error);
    }
    loaderThread = std::thread([this] { LoaderThread(); });
    mixerThread = std::thread([this] { MixerThread(); });
    return true;
}

bool AudioEngine::Stop() {
    if (!running) return true;
    stopping = true;
    commandSignal.notify_all();
    loaderSignal.notify_all();
    if (mixerThread.joinable()) mixerThread.join();
    if (loaderThread.joinable()) loaderThread.join();
    if (device) device->Close();
    device.reset();
    running = false;
    const bool wrote = capture.Close();
    if (!wrote) LogError("Could not write the audio capture: " + PathToString(options.capturePath));
    return wrote;
}

void AudioEngine::WarnOnce(const std::string& what, const std::string& message) {
    {
        std::lock_guard lock(warnLock);
        if (!warned.insert(what).second) return;
    }
    LogWarn(message);
}

void AudioEngine::Decode(SoundAsset& asset) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(std::u8string(asset.path.begin(), asset.path.end())), error)) {
        WarnOnce(asset.path, "Sound not found: " + asset.path + "; it plays as silence.");
        asset.state.store(SoundAsset::Failed, std::memory_order_release);
        return;
    }
    std::string fault;
    if (!LoadSoundFile(asset.path, asset.data, fault)) {
        WarnOnce(asset.path, "Sound could not be loaded: " + asset.path + " (" + fault + "); it plays as silence.");
        asset.data = SoundData{};
        asset.state.store(SoundAsset::Failed, std::memory_order_release);
        return;
    }
    asset.state.store(SoundAsset::Ready, std::memory_order_release);
}

std::shared_ptr<SoundAsset> AudioEngine::Sound(std::string_view path) {
    if (const auto found = sounds.find(path); found != sounds.end()) return found->second;
    auto asset = std::make_shared<SoundAsset>(std::string(path));
    sounds.emplace(asset->path, asset);
    if (options.headless) {
        Decode(*asset);
    } else {
        std::lock_guard lock(loaderLock);
        decodeQueue.push_back(asset);
        loaderSignal.notify_one();
    }
    return asset;
}

void AudioEngine::Deliver(MixerCommand&& command) {
    if (options.headless) {
        mixer.Apply(command);
        return;
    }
    std::lock_guard lock(commandLock);
    pending.push_back(std::move(command));
}

void AudioEngine::Submit(const std::vector<AudioCommand>& commands, std::string_view strings) {
    if (!running || commands.empty()) return;
    for (const AudioCommand& in : commands) {
        MixerCommand out;
        out.handle = in.handle;
        out.volume = in.volume;
        out.pan = in.pan;
        out.pitch = in.pitch;
        out.seconds = in.seconds;
        out.loop = in.loop;
        const std::string_view path = strings.substr(in.path.offset, in.path.length);
        switch (in.op) {
        case AudioOp::Play:
            out.kind = MixerCommand::Play;
            out.sound = Sound(path);
            if (out.sound->state.load(std::memory_order_acquire) == SoundAsset::Failed) continue;
            break;
        case AudioOp::PlayMusic: {
            out.kind = MixerCommand::PlayMusic;
            out.music = std::make_shared<MusicStream>(std::string(path), in.loop);
            {
                std::lock_guard lock(loaderLock);
                streams.push_back(out.music);
            }
            if (options.headless) FillStreams();
            else loaderSignal.notify_one();
            break;
        }
        case AudioOp::Preload:
            Sound(path);
            continue;
        case AudioOp::Stop: out.kind = MixerCommand::Stop; break;
        case AudioOp::StopAll: out.kind = MixerCommand::StopAll; break;
        case AudioOp::SetVoice: out.kind = MixerCommand::SetVoice; break;
        case AudioOp::StopMusic: out.kind = MixerCommand::StopMusic; break;
        case AudioOp::PauseMusic: out.kind = MixerCommand::PauseMusic; break;
        case AudioOp::ResumeMusic: out.kind = MixerCommand::ResumeMusic; break;
        case AudioOp::FadeMusic: out.kind = MixerCommand::FadeMusic; break;
        case AudioOp::MasterVolume: out.kind = MixerCommand::MasterVolume; break;
        }
        Deliver(std::move(out));
    }
    if (!options.headless) commandSignal.notify_one();
}

void AudioEngine::MixBlock(int frames) {
    mixer.Mix(block.data(), frames);
    capture.Write(block.data(), static_cast<std::size_t>(frames));
    mixedFrames.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
}

void AudioEngine::AdvanceFrame() {
    if (!running || !options.headless) return;
    FillStreams();
    ++headlessFrames;
    // Rounded from the running total, so frame times that are not whole samples
    // neither drift nor accumulate error.
    const auto due = static_cast<std::uint64_t>(std::llround(static_cast<double>(headlessFrames) * options.frameSeconds * kMixRate));
    while (mixedFrames < due) MixBlock(static_cast<int>(std::min<std::uint64_t>(due - mixedFrames, 4096)));
}

void AudioEngine::MixerThread() {
    while (!stopping.load(std::memory_order_acquire)) {
        {
            std::lock_guard lock(commandLock);
            std::swap(pending, taking);
        }
        for (const MixerCommand& command : taking) mixer.Apply(command);
        taking.clear();
        while (ring->Available() + kBlockFrames <= kRingFill) {
            MixBlock(kBlockFrames);
            ring->Write(block.data(), kBlockFrames);
        }
        std::unique_lock lock(commandLock);
        commandSignal.wait_for(lock, std::chrono::milliseconds(2),
                               [this] { return !pending.empty() || stopping.load(std::memory_order_acquire); });
    }
}

void AudioEngine::LoaderThread() {
    std::vector<std::shared_ptr<SoundAsset>> toDecode;
    while (!stopping.load(std::memory_order_acquire)) {
        {
            std::unique_lock lock(loaderLock);
            loaderSignal.wait_for(lock, std::chrono::milliseconds(5), [this] {
                return !decodeQueue.empty() || stopping.load(std::memory_order_acquire);
            });
            std::swap(toDecode, decodeQueue);
        }
        for (const auto& asset : toDecode) Decode(*asset);
        toDecode.clear();
        FillStreams();
    }
}

void AudioEngine::FillStreams() {
    {
        std::lock_guard lock(loaderLock);
        // A stream nobody else holds any more, or one that is done, needs no filling.
        std::erase_if(streams, [](const std::shared_ptr<MusicStream>& stream) {
            return stream.use_count() == 1 || stream->GetState() == MusicStream::Ended ||
                   stream->GetState() == MusicStream::Failed;
        });
        filling = streams;
    }
    for (const auto& stream : filling) {
        std::string fault;
        if (!stream->Fill(fault))
            WarnOnce(stream->Path(), "Music could not be played: " + stream->Path() + " (" + fault + ").");
    }
    filling.clear();
}

}  // namespace Quorvane
