// Audio figures: the mixer's cost for 32 voices (pitch 1 and 1.3) as a share of one
// core, the time from a Play command to its first sample in the device's buffer, and
// the heap allocations of a steady frame that plays sounds.
// Usage: audio_bench   (run from anywhere; it uses the e2e test's beep)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/Mixer.h"
#include "scripting/WireProtocol.h"

namespace {
// Only the main thread's allocations count: that is the frame loop's.
thread_local long threadAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++threadAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace Quorvane;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kBeep = std::string(QUORVANE_SOURCE_DIR) + "/tests/e2e/AudioGame/assets/beep.wav";

void MixerCost(float pitch) {
    // One second of a 44.1 kHz sound per voice (mono and stereo alternating), looped.
    auto mono = std::make_shared<SoundAsset>("mono");
    auto stereo = std::make_shared<SoundAsset>("stereo");
    mono->data = {1, 44100, std::vector<float>(44100)};
    stereo->data = {2, 44100, std::vector<float>(88200)};
    for (std::size_t i = 0; i < 44100; ++i) {
        mono->data.samples[i] = 0.1f * std::sin(static_cast<float>(i) * 0.05f);
        stereo->data.samples[2 * i] = stereo->data.samples[2 * i + 1] = mono->data.samples[i];
    }
    mono->state = stereo->state = SoundAsset::Ready;
    Mixer mixer;
    for (int v = 0; v < 32; ++v) {
        MixerCommand play;
        play.kind = MixerCommand::Play;
        play.sound = v % 2 ? stereo : mono;
        play.handle = v + 1;
        play.pitch = pitch;
        play.pan = -1.0f + v / 16.0f;
        play.loop = true;
        mixer.Apply(play);
    }
    std::vector<float> block(256 * 2);
    const int seconds = 20;
    const int blocks = seconds * kMixRate / 256;
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        for (int b = 0; b < blocks; ++b) mixer.Mix(block.data(), 256);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double perSecond = best / seconds;
    std::printf("mixer, 32 voices at pitch %.1f: %.2f ms per second of audio = %.2f%% of one core\n", pitch,
                perSecond * 1000.0, perSecond * 100.0);
}

// Pulls the ring the way SDL's callback does: a device period of 512 frames at a
// time, on a clock; notes when the first sound sample arrives.
class ProbeDevice final : public AudioDevice {
public:
    bool Open(AudioRing& ring, std::string&) override {
        running = true;
        worker = std::thread([this, &ring] {
            std::vector<float> period(512 * 2);
            auto next = Clock::now();
            while (running) {
                next += std::chrono::microseconds(512 * 1000000LL / kMixRate);
                std::this_thread::sleep_until(next);
                const std::size_t got = ring.Read(period.data(), 512);
                for (std::size_t i = 0; i < got * 2; ++i)
                    if (period[i] != 0.0f && !seen.exchange(true)) heard = Clock::now();
            }
        });
        return true;
    }
    void Close() override {
        running = false;
        if (worker.joinable()) worker.join();
    }
    int BufferFrames() const override { return 512; }
    const char* Name() const override { return "probe"; }

    std::atomic<bool> seen{false};
    Clock::time_point heard;

private:
    std::atomic<bool> running{false};
    std::thread worker;
};

void Latency() {
    std::vector<double> samples;
    // A constant sound, so that its very first frame is not 0.
    const std::string click = std::string(QUORVANE_SOURCE_DIR) + "/tests/e2e/AudioGame/assets/click.wav";
    for (int trial = 0; trial < 30; ++trial) {
        auto probe = std::make_unique<ProbeDevice>();
        ProbeDevice* device = probe.get();
        AudioEngine engine;
        AudioOptions options;
        engine.Start(options, std::move(probe));
        ProtocolState state;
        state.extensions.Add(Extension::Audio);
        // Decoded in advance, as a game's sounds are after their first use.
        HandleLine(state, "XAUDIO_PLAY|1|0|0|1|0|" + click);
        engine.Submit(state.snapshot.audio, state.snapshot.strings);
        state.snapshot.ClearLists();
        std::this_thread::sleep_for(std::chrono::milliseconds(60 + trial * 7 % 23));
        device->seen = false;
        HandleLine(state, "XAUDIO_PLAY|2|1|0|1|0|" + click);
        const auto sent = Clock::now();
        engine.Submit(state.snapshot.audio, state.snapshot.strings);
        while (!device->seen && Clock::now() - sent < std::chrono::seconds(1)) std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (device->seen) samples.push_back(std::chrono::duration<double, std::milli>(device->heard - sent).count());
        engine.Stop();
    }
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return;
    std::printf("Play -> first sample pulled into the device buffer (512-frame periods): median %.1f ms, worst %.1f ms of %zu\n",
                samples[samples.size() / 2], samples.back(), samples.size());
}

void Allocations() {
    AudioEngine engine;
    AudioOptions options;
    engine.Start(options, CreateNullAudioDevice());
    ProtocolState state;
    state.extensions.Add(Extension::Audio);
    std::vector<std::string> lines;
    for (int i = 0; i < 16; ++i)
        lines.push_back("XAUDIO_PLAY|" + std::to_string(i + 1) + "|0.5|" + std::to_string((i % 5) * 0.25 - 0.5) + "|1.3|0|" + kBeep);
    lines.push_back("XAUDIO_SET|3|0.2|0|1");
    lines.push_back("XAUDIO_STOP|4");
    lines.push_back("XAUDIO_MASTER|0.9");
    const auto frame = [&] {
        state.snapshot.ClearLists();
        for (const std::string& line : lines) HandleLine(state, line);
        engine.Submit(state.snapshot.audio, state.snapshot.strings);
    };
    frame();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    frame();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long before = threadAllocations;
    for (int i = 0; i < 100; ++i) {
        frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const long after = threadAllocations;
    engine.Stop();
    std::printf("steady frames playing %zu sounds each: %.2f allocations per frame on the main loop\n", lines.size() - 3,
                (after - before) / 100.0);
}

}  // namespace

int main() {
    MixerCost(1.0f);
    MixerCost(1.3f);
    Latency();
    Allocations();
    return 0;
}
