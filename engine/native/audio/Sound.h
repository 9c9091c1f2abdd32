#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace Quorvane {

// The mixer's output format, fixed so that one mix path serves every device.
inline constexpr int kMixRate = 48000;
inline constexpr int kMixChannels = 2;

// A decoded sound effect: interleaved float samples at the file's own rate.
struct SoundData {
    int channels = 0;   // 1 or 2
    int sampleRate = 0;
    std::vector<float> samples;
    std::size_t Frames() const { return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};

// Decodes a whole WAV or Ogg Vorbis file held in memory (sniffed by its first bytes).
// False with a one-line reason when the bytes are not a sound this runtime plays;
// nothing is ever read outside bytes.
bool DecodeSound(std::span<const std::uint8_t> bytes, SoundData& sound, std::string& fault);
bool DecodeWav(std::span<const std::uint8_t> bytes, SoundData& sound, std::string& fault);
bool DecodeVorbis(std::span<const std::uint8_t> bytes, SoundData& sound, std::string& fault);
// Reads and decodes a file; the fault names what went wrong (not the path).
bool LoadSoundFile(const std::string& path, SoundData& sound, std::string& fault);

// Music is read from disk piece by piece, never decoded whole.
class StreamDecoder {
public:
    virtual ~StreamDecoder() = default;
    int Channels() const { return channels; }
    int SampleRate() const { return sampleRate; }
    // Up to frames interleaved frames into out; 0 at the end (or on a read fault).
    virtual int Read(float* out, int frames) = 0;
    // Back to the first frame; false when the file cannot seek.
    virtual bool Rewind() = 0;

protected:
    int channels = 0;
    int sampleRate = 0;
};

// Opens a WAV or Ogg Vorbis file for streaming; null with a reason on failure.
std::unique_ptr<StreamDecoder> OpenStream(const std::string& path, std::string& fault);

// The layout of a WAV file's samples, as its header states it.
struct WavFormat {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
    std::size_t dataOffset = 0;  // from the start of the file
    std::size_t dataBytes = 0;   // whole frames only
    int BytesPerFrame() const { return channels * (bitsPerSample / 8); }
};
// Parses the RIFF header of a WAV file from its first bytes (the whole file or just
// its head); fileSize is the whole file's length, to catch a data chunk that claims
// more than the file holds.
bool ParseWavHeader(std::span<const std::uint8_t> head, std::size_t fileSize, WavFormat& format, std::string& fault);
// Converts frames of the format's samples to floats in [-1, 1].
void ConvertWavSamples(const WavFormat& format, const std::uint8_t* data, std::size_t frames, float* out);

}  // namespace Quorvane

namespace Quorvane {
// fopen for a UTF-8 path, on every platform.
std::FILE* OpenFileForReading(const std::string& utf8Path);
}  // namespace Quorvane
