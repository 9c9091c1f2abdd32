#include <dlfcn.h>

#include <SDL.h>

#include "audio/AudioDevice.h"
#include "audio/Sound.h"

namespace Quorvane {
namespace {

constexpr int kDeviceFrames = 512;  // about 11 ms at 48 kHz

// On a machine without a sound card, alsa-lib prints a page of its own errors to
// standard error while SDL probes it; the runtime already says in one line that
// it plays silently. SDL loads alsa-lib at run time, so the same copy is loaded
// here first and told to keep quiet (nothing happens when it is not installed).
extern "C" void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaErrors() {
    static const bool done = [] {
        void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
        if (alsa == nullptr) return true;
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetHandler = int (*)(Handler);
        if (auto set = reinterpret_cast<SetHandler>(::dlsym(alsa, "snd_lib_error_set_handler"))) {
            set(&IgnoreAlsaError);
        }
        return true;  // kept loaded: the handler must outlive SDL's use of it
    }();
    (void)done;
}

class SdlAudioDevice final : public AudioDevice {
public:
    ~SdlAudioDevice() override { Close(); }

    bool Open(AudioRing& ring, std::string& error) override {
        Close();
        SilenceAlsaErrors();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
            return false;
        }
        started = true;
        source = &ring;
        SDL_AudioSpec want{};
        want.freq = kMixRate;
        want.format = AUDIO_F32SYS;
        want.channels = kMixChannels;
        want.samples = kDeviceFrames;
        want.callback = &SdlAudioDevice::Pull;
        want.userdata = this;
        // No changes allowed: SDL converts to whatever the hardware takes.
        SDL_AudioSpec have{};
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device == 0) {
            error = SDL_GetError();
            Close();
            return false;
        }
        bufferFrames = have.samples;
        SDL_PauseAudioDevice(device, 0);
        return true;
    }

    void Close() override {
        if (device != 0) SDL_CloseAudioDevice(device);
        device = 0;
        if (started) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        started = false;
        source = nullptr;
    }
    int BufferFrames() const override { return bufferFrames; }
    const char* Name() const override { return "sdl"; }

private:
    // SDL's audio thread: never waits, never allocates.
    static void SDLCALL Pull(void* userdata, Uint8* stream, int bytes) {
        auto* self = static_cast<SdlAudioDevice*>(userdata);
        auto* out = reinterpret_cast<float*>(stream);
        const std::size_t frames = static_cast<std::size_t>(bytes) / (sizeof(float) * kMixChannels);
        const std::size_t got = self->source->Read(out, frames);
        SDL_memset(out + got * kMixChannels, 0, (frames - got) * kMixChannels * sizeof(float));
    }

    bool started = false;
    SDL_AudioDeviceID device = 0;
    AudioRing* source = nullptr;
    int bufferFrames = kDeviceFrames;
};

}  // namespace

std::unique_ptr<AudioDevice> CreatePlatformAudioDevice() { return std::make_unique<SdlAudioDevice>(); }

}  // namespace Quorvane
