#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Builders of WAV bytes for the decoder tests, written field by field so that a test
// can make any header lie.
namespace QuorvaneTest {

inline void PutLE(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

struct WavLayout {
    std::uint16_t tag = 1;  // 1 PCM, 3 float, 0xFFFE extensible
    std::uint16_t channels = 1;
    std::uint32_t rate = 48000;
    std::uint16_t bits = 16;
    std::int64_t blockAlign = -1;      // -1: the right one
    std::int64_t claimedDataBytes = -1;  // -1: the real size
    std::uint16_t subTag = 1;          // for extensible
    bool extraChunk = false;           // a LIST chunk before data (odd length, padded)
};

// samples: one value per channel per frame, in [-1, 1].
inline std::vector<std::uint8_t> MakeWav(const WavLayout& layout, const std::vector<double>& samples) {
    std::vector<std::uint8_t> data;
    const bool isFloat = layout.tag == 3 || (layout.tag == 0xFFFE && layout.subTag == 3);
    for (double s : samples) {
        if (isFloat && layout.bits == 32) {
            float f = static_cast<float>(s);
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            PutLE(data, bits, 4);
        } else if (isFloat && layout.bits == 64) {
            std::uint64_t bits;
            std::memcpy(&bits, &s, 8);
            PutLE(data, bits, 8);
        } else if (layout.bits == 8) {
            data.push_back(static_cast<std::uint8_t>(std::lround(s * 127.0) + 128));
        } else {
            const double scale = std::ldexp(1.0, layout.bits - 1) - 1.0;
            PutLE(data, static_cast<std::uint64_t>(static_cast<std::int64_t>(std::llround(s * scale))), layout.bits / 8);
        }
    }
    std::vector<std::uint8_t> out;
    const auto text = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    const bool extensible = layout.tag == 0xFFFE;
    const std::uint32_t fmtSize = extensible ? 40 : 16;
    text("RIFF");
    PutLE(out, 0, 4);  // patched below
    text("WAVE");
    text("fmt ");
    PutLE(out, fmtSize, 4);
    PutLE(out, layout.tag, 2);
    PutLE(out, layout.channels, 2);
    PutLE(out, layout.rate, 4);
    const std::uint16_t align = layout.blockAlign >= 0 ? static_cast<std::uint16_t>(layout.blockAlign)
                                                     : static_cast<std::uint16_t>(layout.channels * layout.bits / 8);
    PutLE(out, static_cast<std::uint64_t>(layout.rate) * align, 4);
    PutLE(out, align, 2);
    PutLE(out, layout.bits, 2);
    if (extensible) {
        PutLE(out, 22, 2);
        PutLE(out, layout.bits, 2);
        PutLE(out, 0, 4);
        PutLE(out, layout.subTag, 2);
        const std::uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.insert(out.end(), guidTail, guidTail + 14);
    }
    if (layout.extraChunk) {
        text("LIST");
        PutLE(out, 3, 4);
        out.insert(out.end(), {'a', 'b', 'c', 0});
    }
    text("data");
    PutLE(out, layout.claimedDataBytes >= 0 ? static_cast<std::uint64_t>(layout.claimedDataBytes) : data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
    const std::uint32_t riff = static_cast<std::uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    return out;
}

inline std::vector<double> Sine(double frequency, int rate, int frames, int channels = 1, double amplitude = 0.5) {
    std::vector<double> out;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) out.push_back(amplitude * std::sin(2.0 * 3.14159265358979 * frequency * i / rate));
    return out;
}

// Frequency of a signal from its rising zero crossings, interpolated.
inline double MeasureFrequency(const std::vector<float>& interleaved, int channel, int first, int count, int rate) {
    double firstCrossing = -1, lastCrossing = -1;
    int crossings = 0;
    for (int i = first + 1; i < first + count; ++i) {
        const float a = interleaved[2 * (i - 1) + channel], b = interleaved[2 * i + channel];
        if (a < 0.0f && b >= 0.0f) {
            const double at = (i - 1) + a / (a - b);
            if (firstCrossing < 0) firstCrossing = at;
            else ++crossings;
            lastCrossing = at;
        }
    }
    if (crossings == 0) return 0.0;
    return crossings * rate / (lastCrossing - firstCrossing);
}

}  // namespace QuorvaneTest
