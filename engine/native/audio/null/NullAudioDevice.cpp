#include <atomic>
#include <chrono>
#include <thread>

#include "audio/AudioDevice.h"
#include "audio/Sound.h"

namespace Quorvane {
namespace {

class NullAudioDevice final : public AudioDevice {
public:
    ~NullAudioDevice() override { Close(); }
    bool Open(AudioRing& ring, std::string&) override {
        Close();
        running = true;
        worker = std::thread([this, &ring] {
            using Clock = std::chrono::steady_clock;
            const auto start = Clock::now();
            std::int64_t drained = 0;
            while (running.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                const auto due = static_cast<std::int64_t>(seconds * kMixRate);
                // What the ring lacks is not owed later: a real device would have played silence.
                ring.Skip(static_cast<std::size_t>(due - drained));
                drained = due;
            }
        });
        return true;
    }
    void Close() override {
        running = false;
        if (worker.joinable()) worker.join();
    }
    int BufferFrames() const override { return 0; }
    const char* Name() const override { return "null"; }

private:
    std::atomic<bool> running{false};
    std::thread worker;
};

}  // namespace

std::unique_ptr<AudioDevice> CreateNullAudioDevice() { return std::make_unique<NullAudioDevice>(); }

}  // namespace Quorvane
