#pragma once

#include <memory>
#include <string>

#include "audio/AudioRing.h"

namespace Quorvane {

// The sound output of a platform. It pulls 48 kHz interleaved stereo floats from the
// ring on a thread of its own (the device's callback or a feeder thread) and plays
// silence when the ring runs dry. What a backend provides:
class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Starts pulling from ring, which outlives the device; false with a reason when
    // there is no device to open.
    virtual bool Open(AudioRing& ring, std::string& error) = 0;
    // Stops pulling; the ring is not touched after it returns.
    virtual void Close() = 0;
    // Frames the device holds beyond the ring (its own buffers), for the latency figure.
    virtual int BufferFrames() const = 0;
    // "sdl", "waveOut", "null".
    virtual const char* Name() const = 0;
};

// SDL2 on Linux, waveOut on Windows.
std::unique_ptr<AudioDevice> CreatePlatformAudioDevice();
// Plays nothing: drains the ring at the wall clock's pace, so the mixer runs as it
// would with a device.
std::unique_ptr<AudioDevice> CreateNullAudioDevice();

}  // namespace Quorvane
