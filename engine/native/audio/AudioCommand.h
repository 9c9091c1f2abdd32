#pragma once

#include <cstdint>

namespace Quorvane {

// What one line of the "audio" extension asks for.
enum class AudioOp : std::uint8_t {
    Play,          // handle, volume, pan, pitch, loop, path
    Stop,          // handle
    StopAll,       //
    SetVoice,      // handle, volume, pan, pitch
    PlayMusic,     // loop, volume, seconds (fade-in), path
    StopMusic,     // seconds (fade-out)
    PauseMusic,    // seconds (fade-out)
    ResumeMusic,   // seconds (fade-in)
    FadeMusic,     // volume, seconds
    MasterVolume,  // volume
    Preload,       // path: decode into the cache, play nothing
};

// A span of the frame's string buffer (FrameSnapshot::strings).
struct AudioText {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

struct AudioCommand {
    AudioOp op = AudioOp::Play;
    std::int32_t handle = 0;
    float volume = 1.0f;
    float pan = 0.0f;
    float pitch = 1.0f;
    float seconds = 0.0f;
    bool loop = false;
    AudioText path;  // absolute and normalised
};

}  // namespace Quorvane
