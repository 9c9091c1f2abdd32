#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "audio/AudioDevice.h"
#include "audio/Sound.h"

namespace Quorvane {
namespace {

constexpr int kBufferCount = 4;
constexpr int kBufferFrames = 480;  // 10 ms each

// waveOut takes 16-bit PCM everywhere (Wine included); a feeder thread keeps its
// buffers queued from the ring, converting as it goes.
class WaveOutDevice final : public AudioDevice {
public:
    ~WaveOutDevice() override { Close(); }

    bool Open(AudioRing& ring, std::string& error) override {
        Close();
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = kMixChannels;
        format.nSamplesPerSec = kMixRate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<WORD>(kMixChannels * 2);
        format.nAvgBytesPerSec = kMixRate * format.nBlockAlign;
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!event) {
            error = "CreateEvent failed";
            return false;
        }
        const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event), 0, CALLBACK_EVENT);
        if (result != MMSYSERR_NOERROR) {
            wchar_t text[MAXERRORLENGTH] = {};
            waveOutGetErrorTextW(result, text, MAXERRORLENGTH);
            char narrow[MAXERRORLENGTH * 3] = {};
            WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
            error = std::string("waveOutOpen: ") + narrow;
            device = nullptr;
            CloseHandle(event);
            event = nullptr;
            return false;
        }
        samples.assign(kBufferCount * kBufferFrames * kMixChannels, 0);
        floats.assign(kBufferFrames * kMixChannels, 0.0f);
        for (int i = 0; i < kBufferCount; ++i) {
            WAVEHDR& header = headers[i];
            header = WAVEHDR{};
            header.lpData = reinterpret_cast<LPSTR>(samples.data() + i * kBufferFrames * kMixChannels);
            header.dwBufferLength = kBufferFrames * kMixChannels * sizeof(std::int16_t);
            waveOutPrepareHeader(device, &header, sizeof header);
            header.dwFlags |= WHDR_DONE;  // free to fill
        }
        source = &ring;
        running = true;
        feeder = std::thread([this] { Feed(); });
        return true;
    }

    void Close() override {
        running = false;
        if (event) SetEvent(event);
        if (feeder.joinable()) feeder.join();
        if (device) {
            waveOutReset(device);
            for (WAVEHDR& header : headers) waveOutUnprepareHeader(device, &header, sizeof header);
            waveOutClose(device);
            device = nullptr;
        }
        if (event) CloseHandle(event);
        event = nullptr;
        source = nullptr;
    }
    int BufferFrames() const override { return kBufferCount * kBufferFrames; }
    const char* Name() const override { return "waveOut"; }

private:
    void Feed() {
        while (running.load(std::memory_order_acquire)) {
            for (WAVEHDR& header : headers) {
                if (!(header.dwFlags & WHDR_DONE)) continue;
                const std::size_t got = source->Read(floats.data(), kBufferFrames);
                std::fill(floats.begin() + static_cast<std::ptrdiff_t>(got * kMixChannels), floats.end(), 0.0f);
                auto* out = reinterpret_cast<std::int16_t*>(header.lpData);
                for (std::size_t i = 0; i < floats.size(); ++i)
                    out[i] = static_cast<std::int16_t>(std::clamp(floats[i], -1.0f, 1.0f) * 32767.0f);
                header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
                waveOutWrite(device, &header, sizeof header);
            }
            WaitForSingleObject(event, 20);
        }
    }

    HWAVEOUT device = nullptr;
    HANDLE event = nullptr;
    WAVEHDR headers[kBufferCount]{};
    std::vector<std::int16_t> samples;
    std::vector<float> floats;
    AudioRing* source = nullptr;
    std::atomic<bool> running{false};
    std::thread feeder;
};

}  // namespace

std::unique_ptr<AudioDevice> CreatePlatformAudioDevice() { return std::make_unique<WaveOutDevice>(); }

}  // namespace Quorvane
