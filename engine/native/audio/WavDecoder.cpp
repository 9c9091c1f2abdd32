#include <cstdio>
#include <cstring>
#include <filesystem>

#include "audio/Sound.h"

namespace Quorvane {

std::FILE* OpenFileForReading(const std::string& utf8Path) {
#ifdef _WIN32
    // The narrow fopen reads the ANSI code page; game paths are UTF-8.
    const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(utf8Path.c_str(), "rb");
#endif
}

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

bool Fail(std::string& fault, const char* reason) {
    fault = reason;
    return false;
}

}  // namespace

bool ParseWavHeader(std::span<const std::uint8_t> head, std::size_t fileSize, WavFormat& format, std::string& fault) {
    format = WavFormat{};
    if (head.size() < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0)
        return Fail(fault, "not a RIFF WAVE file");
    bool haveFormat = false;
    std::size_t at = 12;
    // Every step checks the room left before it reads, so a chunk size that lies
    // can only end the walk, never move it outside the buffer.
    while (head.size() - at >= 8) {
        const std::uint8_t* chunk = head.data() + at;
        const std::size_t size = ReadU32(chunk + 4);
        const std::size_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || head.size() - body < 16) return Fail(fault, "the fmt chunk is truncated");
            const std::uint8_t* f = head.data() + body;
            std::uint16_t tag = ReadU16(f);
            format.channels = ReadU16(f + 2);
            format.sampleRate = static_cast<int>(ReadU32(f + 4));
            const std::uint16_t blockAlign = ReadU16(f + 12);
            format.bitsPerSample = ReadU16(f + 14);
            if (tag == kFormatExtensible) {
                if (size < 40 || head.size() - body < 26) return Fail(fault, "the fmt chunk is truncated");
                tag = ReadU16(f + 24);  // the first two bytes of the sub-format GUID
            }
            if (tag != kFormatPcm && tag != kFormatFloat) return Fail(fault, "unsupported sample encoding (not PCM or float)");
            format.isFloat = tag == kFormatFloat;
            if (format.channels != 1 && format.channels != 2) return Fail(fault, "only mono and stereo are supported");
            if (format.sampleRate < 1000 || format.sampleRate > 384000) return Fail(fault, "the sample rate is out of range");
            const int bits = format.bitsPerSample;
            const bool bitsOk = format.isFloat ? (bits == 32 || bits == 64) : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            if (!bitsOk) return Fail(fault, "unsupported bits per sample");
            if (blockAlign != format.BytesPerFrame()) return Fail(fault, "the block size does not match the format");
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return Fail(fault, "the data chunk comes before the fmt chunk");
            if (size > fileSize || body > fileSize - size) return Fail(fault, "the data chunk runs past the end of the file");
            format.dataOffset = body;
            format.dataBytes = size - size % static_cast<std::size_t>(format.BytesPerFrame());
            return true;
        }
        // Chunks are padded to an even length.
        const std::size_t next = size + (size & 1);
        if (next > head.size() - body) break;
        at = body + next;
    }
    return Fail(fault, haveFormat ? "no data chunk" : "no fmt chunk");
}

void ConvertWavSamples(const WavFormat& format, const std::uint8_t* data, std::size_t frames, float* out) {
    const std::size_t count = frames * static_cast<std::size_t>(format.channels);
    switch (format.bitsPerSample) {
    case 8:
        for (std::size_t i = 0; i < count; ++i) out[i] = (static_cast<float>(data[i]) - 128.0f) / 128.0f;
        break;
    case 16:
        for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<float>(static_cast<std::int16_t>(ReadU16(data + 2 * i))) / 32768.0f;
        break;
    case 24:
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = data + 3 * i;
            const std::int32_t value = static_cast<std::int32_t>((static_cast<std::uint32_t>(p[0]) << 8) |
                                                                 (static_cast<std::uint32_t>(p[1]) << 16) |
                                                                 (static_cast<std::uint32_t>(p[2]) << 24)) >> 8;
            out[i] = static_cast<float>(value) / 8388608.0f;
        }
        break;
    case 32:
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t bits = ReadU32(data + 4 * i);
            if (format.isFloat) {
                float value;
                std::memcpy(&value, &bits, 4);
                out[i] = value == value ? value : 0.0f;  // NaN would poison the whole mix
            } else {
                out[i] = static_cast<float>(static_cast<double>(static_cast<std::int32_t>(bits)) / 2147483648.0);
            }
        }
        break;
    case 64:
        for (std::size_t i = 0; i < count; ++i) {
            double value;
            std::memcpy(&value, data + 8 * i, 8);
            out[i] = value == value ? static_cast<float>(value) : 0.0f;
        }
        break;
    default:
        std::memset(out, 0, count * sizeof(float));
    }
}

bool DecodeWav(std::span<const std::uint8_t> bytes, SoundData& sound, std::string& fault) {
    WavFormat format;
    if (!ParseWavHeader(bytes, bytes.size(), format, fault)) return false;
    const std::size_t frames = format.dataBytes / static_cast<std::size_t>(format.BytesPerFrame());
    sound.channels = format.channels;
    sound.sampleRate = format.sampleRate;
    sound.samples.assign(frames * static_cast<std::size_t>(format.channels), 0.0f);
    ConvertWavSamples(format, bytes.data() + format.dataOffset, frames, sound.samples.data());
    return true;
}

bool DecodeSound(std::span<const std::uint8_t> bytes, SoundData& sound, std::string& fault) {
    sound = SoundData{};
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "RIFF", 4) == 0) return DecodeWav(bytes, sound, fault);
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0) return DecodeVorbis(bytes, sound, fault);
    fault = "not a WAV or Ogg Vorbis file";
    return false;
}

bool LoadSoundFile(const std::string& path, SoundData& sound, std::string& fault) {
    std::FILE* file = OpenFileForReading(path);
    if (!file) {
        fault = "the file could not be opened";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
    const bool readFault = std::ferror(file) != 0;
    std::fclose(file);
    if (readFault) {
        fault = "the file could not be read";
        return false;
    }
    return DecodeSound(bytes, sound, fault);
}

namespace {

class WavStream final : public StreamDecoder {
public:
    WavStream(std::FILE* file, const WavFormat& format) : file(file), format(format) {
        channels = format.channels;
        sampleRate = format.sampleRate;
        Rewind();
    }
    ~WavStream() override { std::fclose(file); }

    int Read(float* out, int frames) override {
        const std::size_t frameBytes = static_cast<std::size_t>(format.BytesPerFrame());
        const std::size_t left = (format.dataBytes - consumed) / frameBytes;
        std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(frames), left);
        want = std::min<std::size_t>(want, sizeof raw / frameBytes);
        if (want == 0) return 0;
        const std::size_t got = std::fread(raw, frameBytes, want, file);
        consumed += got * frameBytes;
        ConvertWavSamples(format, raw, got, out);
        return static_cast<int>(got);
    }
    bool Rewind() override {
        consumed = 0;
        return std::fseek(file, static_cast<long>(format.dataOffset), SEEK_SET) == 0;
    }

private:
    std::FILE* file;
    WavFormat format;
    std::size_t consumed = 0;
    std::uint8_t raw[32768];
};

}  // namespace

std::unique_ptr<StreamDecoder> OpenVorbisStream(const std::string& path, std::string& fault);

std::unique_ptr<StreamDecoder> OpenStream(const std::string& path, std::string& fault) {
    std::FILE* file = OpenFileForReading(path);
    if (!file) {
        fault = "the file could not be opened";
        return nullptr;
    }
    std::uint8_t head[4096];
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    if (got >= 4 && std::memcmp(head, "OggS", 4) == 0) {
        std::fclose(file);
        return OpenVorbisStream(path, fault);
    }
    WavFormat format;
    if (got < 4 || std::memcmp(head, "RIFF", 4) != 0) {
        fault = "not a WAV or Ogg Vorbis file";
    } else if (ParseWavHeader(std::span<const std::uint8_t>(head, got), size < 0 ? 0 : static_cast<std::size_t>(size), format, fault)) {
        return std::make_unique<WavStream>(file, format);
    }
    std::fclose(file);
    return nullptr;
}

}  // namespace Quorvane
