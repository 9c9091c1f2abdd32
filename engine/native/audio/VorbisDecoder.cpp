// stb_vorbis is compiled here, once, with its warnings off (see CMakeLists.txt).
#include <climits>
#include <cstdio>

#include "audio/Sound.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace Quorvane {
namespace {

// Files with more channels are rare in games; they are refused rather than guessed at.
bool CheckInfo(const stb_vorbis_info& info, std::string& fault) {
    if (info.channels != 1 && info.channels != 2) {
        fault = "only mono and stereo are supported";
        return false;
    }
    if (info.sample_rate < 1000 || info.sample_rate > 384000) {
        fault = "the sample rate is out of range";
        return false;
    }
    return true;
}

class VorbisStream final : public StreamDecoder {
public:
    explicit VorbisStream(stb_vorbis* vorbis, const stb_vorbis_info& info) : vorbis(vorbis) {
        channels = info.channels;
        sampleRate = static_cast<int>(info.sample_rate);
    }
    ~VorbisStream() override { stb_vorbis_close(vorbis); }
    int Read(float* out, int frames) override {
        return stb_vorbis_get_samples_float_interleaved(vorbis, channels, out, frames * channels);
    }
    bool Rewind() override { return stb_vorbis_seek_start(vorbis) != 0; }

private:
    stb_vorbis* vorbis;
};

}  // namespace

bool DecodeVorbis(std::span<const std::uint8_t> bytes, SoundData& sound, std::string& fault) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        fault = "the file is too large";
        return false;
    }
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_memory(bytes.data(), static_cast<int>(bytes.size()), &error, nullptr);
    if (!vorbis) {
        fault = "not a readable Ogg Vorbis stream";
        return false;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    if (!CheckInfo(info, fault)) {
        stb_vorbis_close(vorbis);
        return false;
    }
    sound.channels = info.channels;
    sound.sampleRate = static_cast<int>(info.sample_rate);
    float block[4096];
    const int framesPerBlock = static_cast<int>(sizeof block / sizeof block[0]) / info.channels;
    int got;
    while ((got = stb_vorbis_get_samples_float_interleaved(vorbis, info.channels, block, framesPerBlock * info.channels)) > 0)
        sound.samples.insert(sound.samples.end(), block, block + got * info.channels);
    stb_vorbis_close(vorbis);
    return true;
}

std::unique_ptr<StreamDecoder> OpenVorbisStream(const std::string& path, std::string& fault) {
    std::FILE* file = OpenFileForReading(path);
    if (!file) {
        fault = "the file could not be opened";
        return nullptr;
    }
    int error = 0;
    // stb_vorbis closes the file when the decoder is closed, also on failure.
    stb_vorbis* vorbis = stb_vorbis_open_file(file, 1, &error, nullptr);
    if (!vorbis) {
        fault = "not a readable Ogg Vorbis stream";
        return nullptr;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    if (!CheckInfo(info, fault)) {
        stb_vorbis_close(vorbis);
        return nullptr;
    }
    return std::make_unique<VorbisStream>(vorbis, info);
}

}  // namespace Quorvane

#undef STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>
