#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "audio/AudioTestData.h"
#include "audio/Sound.h"

using namespace Quorvane;
using namespace QuorvaneTest;

namespace {

struct Variant {
    const char* name;
    WavLayout layout;
    double tolerance;  // the format's quantisation
};

// Decodes from a buffer of exactly the file's size, so a read past its end is a read
// outside the allocation (which the sanitizer build reports).
bool DecodeExact(const std::vector<std::uint8_t>& bytes, SoundData& sound, std::string& fault) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() ? bytes.size() : 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return DecodeSound(std::span<const std::uint8_t>(exact.get(), bytes.size()), sound, fault);
}

}  // namespace

TEST(WavDecoder, DecodesEveryVariantItSupports) {
    const Variant variants[] = {
        {"8-bit mono 8 kHz", {.channels = 1, .rate = 8000, .bits = 8}, 1.0 / 50},
        {"16-bit mono 44.1 kHz", {.channels = 1, .rate = 44100, .bits = 16}, 1.0 / 16000},
        {"16-bit stereo 48 kHz", {.channels = 2, .rate = 48000, .bits = 16}, 1.0 / 16000},
        {"24-bit stereo 22.05 kHz", {.channels = 2, .rate = 22050, .bits = 24}, 1e-6},
        {"32-bit integer mono", {.channels = 1, .rate = 96000, .bits = 32}, 1e-6},
        {"32-bit float stereo", {.tag = 3, .channels = 2, .rate = 48000, .bits = 32}, 1e-7},
        {"64-bit float mono", {.tag = 3, .channels = 1, .rate = 32000, .bits = 64}, 1e-7},
        {"extensible 16-bit", {.tag = 0xFFFE, .channels = 2, .rate = 44100, .bits = 16, .subTag = 1}, 1.0 / 16000},
        {"extensible float", {.tag = 0xFFFE, .channels = 1, .rate = 44100, .bits = 32, .subTag = 3}, 1e-7},
        {"odd-sized chunk before data", {.channels = 1, .rate = 11025, .bits = 16, .extraChunk = true}, 1.0 / 16000},
    };
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        const int frames = 300;
        const std::vector<double> source = Sine(440.0, static_cast<int>(variant.layout.rate), frames, variant.layout.channels, 0.9);
        SoundData sound;
        std::string fault;
        ASSERT_TRUE(DecodeExact(MakeWav(variant.layout, source), sound, fault)) << fault;
        EXPECT_EQ(sound.channels, variant.layout.channels);
        EXPECT_EQ(sound.sampleRate, static_cast<int>(variant.layout.rate));
        ASSERT_EQ(sound.Frames(), static_cast<std::size_t>(frames));
        double worst = 0.0;
        for (std::size_t i = 0; i < source.size(); ++i) worst = std::max(worst, std::abs(sound.samples[i] - source[i]));
        EXPECT_LE(worst, variant.tolerance);
    }
}

TEST(WavDecoder, EightBitSilenceAndExtremesMapOntoTheFloatRange) {
    std::vector<std::uint8_t> wav = MakeWav({.channels = 1, .rate = 8000, .bits = 8}, {0.0, 0.0, 0.0});
    const std::size_t data = wav.size() - 3;
    wav[data] = 0;
    wav[data + 1] = 128;
    wav[data + 2] = 255;
    SoundData sound;
    std::string fault;
    ASSERT_TRUE(DecodeExact(wav, sound, fault)) << fault;
    EXPECT_FLOAT_EQ(sound.samples[0], -1.0f);
    EXPECT_FLOAT_EQ(sound.samples[1], 0.0f);
    EXPECT_NEAR(sound.samples[2], 1.0f, 1.0f / 128);
}

TEST(WavDecoder, BadHeadersAreRefusedWithAReason) {
    const std::vector<double> one = Sine(440, 8000, 64);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* fault;
    };
    std::vector<std::uint8_t> notRiff = MakeWav({}, one);
    notRiff[0] = 'X';
    std::vector<std::uint8_t> truncatedFormat = MakeWav({}, one);
    truncatedFormat.resize(28);
    std::vector<std::uint8_t> hugeChunk = MakeWav({.extraChunk = true}, one);
    hugeChunk[40] = hugeChunk[41] = hugeChunk[42] = 0xFF;  // the LIST chunk claims 4 GiB
    hugeChunk[43] = 0xFF;
    const Case cases[] = {
        {"empty", {}, "not a WAV or Ogg Vorbis file"},
        {"not RIFF", notRiff, "not a WAV or Ogg Vorbis file"},
        {"fmt cut short", truncatedFormat, "the fmt chunk is truncated"},
        {"data claims more than the file", MakeWav({.claimedDataBytes = 1000000}, one), "the data chunk runs past the end of the file"},
        {"data claims 4 GiB", MakeWav({.claimedDataBytes = 0xFFFFFFFF}, one), "the data chunk runs past the end of the file"},
        {"block align lies", MakeWav({.blockAlign = 3}, one), "the block size does not match the format"},
        {"three channels", MakeWav({.channels = 3}, Sine(440, 8000, 64, 3)), "only mono and stereo are supported"},
        {"12 bits", MakeWav({.bits = 12, .blockAlign = 2}, one), "unsupported bits per sample"},
        {"ADPCM", MakeWav({.tag = 2}, one), "unsupported sample encoding (not PCM or float)"},
        {"rate 0", MakeWav({.rate = 0}, one), "the sample rate is out of range"},
        {"a chunk that claims 4 GiB", hugeChunk, "no data chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundData sound;
        std::string fault;
        EXPECT_FALSE(DecodeExact(c.bytes, sound, fault));
        EXPECT_EQ(fault, c.fault);
    }
}

TEST(WavDecoder, EveryTruncationOfAFileIsRefusedOrDecodedWithinIt) {
    const std::vector<std::uint8_t> wav = MakeWav({.channels = 2, .bits = 24, .extraChunk = true}, Sine(440, 48000, 40, 2));
    for (std::size_t size = 0; size < wav.size(); ++size) {
        SoundData sound;
        std::string fault;
        const std::vector<std::uint8_t> cut(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(DecodeExact(cut, sound, fault)) << size;
        EXPECT_FALSE(fault.empty());
    }
}

TEST(WavDecoder, AnyHeaderByteSetToAnyExtremeStaysWithinTheBuffer) {
    const std::vector<std::uint8_t> wav = MakeWav({.tag = 0xFFFE, .channels = 2, .bits = 24, .subTag = 1, .extraChunk = true},
                                                  Sine(440, 48000, 20, 2));
    for (std::size_t at = 0; at < 80; ++at) {
        for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
            std::vector<std::uint8_t> bent = wav;
            bent[at] = value;
            SoundData sound;
            std::string fault;
            if (DecodeExact(bent, sound, fault)) {
                EXPECT_LE(sound.samples.size(), bent.size()) << at;  // a sample takes a byte at least
            } else {
                EXPECT_FALSE(fault.empty());
            }
        }
    }
}

TEST(VorbisDecoder, DecodesTheTestBeep) {
    const std::filesystem::path path = std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/e2e/AudioGame/assets/beep.ogg";
    SoundData sound;
    std::string fault;
    ASSERT_TRUE(LoadSoundFile(path.string(), sound, fault)) << fault;
    EXPECT_EQ(sound.channels, 1);
    EXPECT_EQ(sound.sampleRate, 44100);
    EXPECT_NEAR(static_cast<double>(sound.Frames()), 4410.0, 2.0);
    std::vector<float> stereo;
    for (float s : sound.samples) stereo.insert(stereo.end(), {s, s});
    EXPECT_NEAR(MeasureFrequency(stereo, 0, 200, 4000, 44100), 440.0, 2.0);
}

TEST(VorbisDecoder, GarbageAfterTheOggMarkIsRefused) {
    std::vector<std::uint8_t> bytes = {'O', 'g', 'g', 'S'};
    bytes.resize(200, 0x5A);
    SoundData sound;
    std::string fault;
    EXPECT_FALSE(DecodeExact(bytes, sound, fault));
    EXPECT_EQ(fault, "not a readable Ogg Vorbis stream");
}

TEST(StreamDecoder, ReadsWavAndOggInPiecesAndRewinds) {
    for (const char* name : {"beep.wav", "beep.ogg"}) {
        SCOPED_TRACE(name);
        const std::string path = (std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/e2e/AudioGame/assets" / name).string();
        std::string fault;
        std::unique_ptr<StreamDecoder> stream = OpenStream(path, fault);
        ASSERT_NE(stream, nullptr) << fault;
        EXPECT_EQ(stream->Channels(), 1);
        EXPECT_EQ(stream->SampleRate(), 44100);
        float block[1000];
        std::size_t total = 0;
        int got;
        while ((got = stream->Read(block, 1000)) > 0) total += static_cast<std::size_t>(got);
        EXPECT_NEAR(static_cast<double>(total), 4410.0, 2.0);
        ASSERT_TRUE(stream->Rewind());
        EXPECT_GT(stream->Read(block, 1000), 0);
    }
    std::string fault;
    EXPECT_EQ(OpenStream("/nonexistent/music.ogg", fault), nullptr);
    EXPECT_EQ(fault, "the file could not be opened");
}
