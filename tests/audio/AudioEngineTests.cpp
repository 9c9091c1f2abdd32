#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "app/Log.h"
#include "audio/AudioEngine.h"
#include "audio/AudioTestData.h"
#include "scripting/WireProtocol.h"
#include "support/TempDir.h"

using namespace Quorvane;
using namespace QuorvaneTest;

namespace {

const std::string kBeep = std::string(QUORVANE_SOURCE_DIR) + "/tests/e2e/AudioGame/assets/beep.wav";

std::vector<float> ReadCapture(const std::filesystem::path& path, int& rate, int& channels) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    WavFormat format;
    std::string fault;
    const std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (!ParseWavHeader(view, bytes.size(), format, fault)) return {};
    rate = format.sampleRate;
    channels = format.channels;
    EXPECT_TRUE(format.isFloat);
    std::vector<float> out(format.dataBytes / 4);
    ConvertWavSamples(format, view.data() + format.dataOffset, out.size() / 2, out.data());
    return out;
}

// The frame's lines as the protocol turns them into commands.
struct Frame {
    ProtocolState state;
    Frame() { state.extensions.Add(Extension::Audio); }
    Frame& Line(std::string_view line) {
        HandleLine(state, line);
        return *this;
    }
    void SubmitTo(AudioEngine& engine) {
        engine.Submit(state.snapshot.audio, state.snapshot.strings);
        state.snapshot.ClearLists();
    }
};

std::size_t FirstNonZero(const std::vector<float>& samples) {
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != 0.0f) return i / 2;
    return samples.size();
}

}  // namespace

TEST(AudioEngine, HeadlessCaptureAdvancesByTheFrameClockAndStartsSoundsAtTheirFrame) {
    TempDir dir;
    std::vector<float> runs[2];
    for (auto& run : runs) {
        AudioEngine engine;
        AudioOptions options;
        options.headless = true;
        options.frameSeconds = 1.0 / 60.0;
        options.capturePath = dir.Path() / "capture.wav";
        ASSERT_TRUE(engine.Start(options, nullptr));
        for (int frame = 1; frame <= 30; ++frame) {
            Frame lines;
            if (frame == 10) lines.Line("XAUDIO_PLAY|1|1|-1|1|0|" + kBeep);
            lines.SubmitTo(engine);
            engine.AdvanceFrame();
        }
        ASSERT_TRUE(engine.Stop());
        int rate = 0, channels = 0;
        run = ReadCapture(options.capturePath, rate, channels);
        EXPECT_EQ(rate, 48000);
        EXPECT_EQ(channels, 2);
    }
    ASSERT_EQ(runs[0].size(), 30u * 800 * 2);  // 30 frames of 1/60 s
    EXPECT_EQ(runs[0], runs[1]);               // sample for sample, run after run
    // Frame 10's share starts at 9 x 800; the beep's first sample is sin(0) = 0.
    EXPECT_EQ(FirstNonZero(runs[0]), 9u * 800 + 1);
}

TEST(AudioEngine, StreamedMusicLoopsWithoutASeamAndCrossfadesToTheNextTrack) {
    // The beep is exactly 44 periods of 440 Hz, so looped it is one unbroken sine.
    TempDir dir;
    AudioEngine engine;
    AudioOptions options;
    options.headless = true;
    options.capturePath = dir.Path() / "capture.wav";
    ASSERT_TRUE(engine.Start(options, nullptr));
    const std::string ogg = std::string(QUORVANE_SOURCE_DIR) + "/tests/e2e/AudioGame/assets/beep.ogg";
    for (int frame = 1; frame <= 120; ++frame) {
        Frame lines;
        if (frame == 1) lines.Line("XAUDIO_MUSIC|1|1|0|" + kBeep);
        if (frame == 90) lines.Line("XAUDIO_MUSIC|1|0.5|0.25|" + ogg);  // 0.25 s crossfade
        lines.SubmitTo(engine);
        engine.AdvanceFrame();
    }
    ASSERT_TRUE(engine.Stop());
    int rate, channels;
    const std::vector<float> s = ReadCapture(options.capturePath, rate, channels);
    ASSERT_EQ(s.size(), 120u * 800 * 2);
    // Frames 2 to 89: 1.45 s of the WAV looped 14 times; no step larger than the sine's own.
    const float sineStep = 2.0f * 3.14159265f * 440.0f / 48000.0f * 0.5f;
    float worst = 0.0f;
    for (int i = 800; i < 89 * 800; ++i) worst = std::max(worst, std::abs(s[2 * i] - s[2 * (i - 1)]));
    EXPECT_LE(worst, sineStep * 1.05f);
    EXPECT_NEAR(MeasureFrequency(s, 0, 800, 88 * 800, 48000), 440.0, 0.5);
    // After the crossfade only the Ogg track plays, at half volume.
    float peak = 0.0f;
    for (int i = 110 * 800; i < 120 * 800; ++i) peak = std::max(peak, std::abs(s[2 * i]));
    EXPECT_NEAR(peak, 0.25f, 0.02f);
}

TEST(AudioEngine, FrameTimesThatAreNotWholeSamplesDoNotDrift) {
    AudioEngine engine;
    AudioOptions options;
    options.headless = true;
    options.frameSeconds = 1.0 / 144.0;  // 333.33 samples a frame
    ASSERT_TRUE(engine.Start(options, nullptr));
    for (int frame = 0; frame < 144 * 3; ++frame) engine.AdvanceFrame();
    EXPECT_EQ(engine.MixedFrames(), 3u * 48000);
    engine.Stop();
}

TEST(AudioEngine, AMissingOrBrokenSoundWarnsOnceAndPlaysSilence) {
    TempDir dir;
    const char header[] = "RIFF\x10\0\0\0WAVEfmt \xff\xff\xff\xff";
    const auto broken = dir.Write("broken.wav", std::string(header, sizeof header - 1));
    AudioEngine engine;
    AudioOptions options;
    options.headless = true;
    options.capturePath = dir.Path() / "capture.wav";
    ASSERT_TRUE(engine.Start(options, nullptr));
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 5; ++frame) {
        Frame lines;
        lines.Line("XAUDIO_PRELOAD|" + (dir.Path() / "missing.wav").string());
        lines.Line("XAUDIO_PLAY|1|1|0|1|0|" + (dir.Path() / "missing.wav").string());
        lines.Line("XAUDIO_PLAY|2|1|0|1|0|" + broken.string());
        lines.Line("XAUDIO_MUSIC|1|1|0|" + (dir.Path() / "missing.ogg").string());
        lines.SubmitTo(engine);
        engine.AdvanceFrame();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(engine.Stop());
    EXPECT_EQ(out, "[Warn] Sound not found: " + (dir.Path() / "missing.wav").string() + "; it plays as silence.\n" +
                       "[Warn] Sound could not be loaded: " + broken.string() +
                       " (the fmt chunk is truncated); it plays as silence.\n" + "[Warn] Music could not be played: " +
                       (dir.Path() / "missing.ogg").string() + " (the file could not be opened).\n");
    int rate, channels;
    const std::vector<float> samples = ReadCapture(options.capturePath, rate, channels);
    EXPECT_EQ(FirstNonZero(samples), samples.size());
}

TEST(AudioEngine, ACaptureThatCannotBeWrittenFailsAtStart) {
    AudioEngine engine;
    AudioOptions options;
    options.headless = true;
    options.capturePath = "/nonexistent/folder/capture.wav";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(engine.Start(options, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Error] Could not write the audio capture: /nonexistent/folder/capture.wav\n");
}

#ifndef _WIN32
// The real device path through SDL's disk driver, which writes what the device
// pulls to a file instead of a sound card.
TEST(AudioEngine, SdlDeviceThroughTheDiskDriverPlaysTheMix) {
    TempDir dir;
    const auto diskFile = dir.Path() / "device.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", diskFile.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "10", 1);
    {
        AudioEngine engine;
        AudioOptions options;
        options.capturePath = dir.Path() / "capture.wav";
        testing::internal::CaptureStdout();
        ASSERT_TRUE(engine.Start(options, CreatePlatformAudioDevice()));
        EXPECT_STREQ(engine.DeviceName(), "sdl");
        Frame().Line("XAUDIO_PLAY|1|1|-1|1|1|" + kBeep).SubmitTo(engine);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        engine.Stop();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no "no device" line
    }
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    std::ifstream file(diskFile, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_GT(bytes.size(), 48000u * 8 / 10);  // at least 0.1 s went through the device
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    float peak = 0.0f, right = 0.0f;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        peak = std::max(peak, std::abs(samples[i]));
        right = std::max(right, std::abs(samples[i + 1]));
    }
    EXPECT_NEAR(peak, 0.5f, 0.01f);  // the looping beep, hard left
    EXPECT_EQ(right, 0.0f);
}

TEST(AudioEngine, WithoutADeviceItSaysSoOnceAndRunsOn) {
    setenv("SDL_AUDIODRIVER", "nosuchdriver", 1);
    AudioEngine engine;
    AudioOptions options;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(engine.Start(options, CreatePlatformAudioDevice()));
    Frame().Line("XAUDIO_PLAY|1|1|0|1|0|" + kBeep).SubmitTo(engine);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_STREQ(engine.DeviceName(), "null");
    const auto mixed = engine.MixedFrames();
    engine.Stop();
    unsetenv("SDL_AUDIODRIVER");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("[Info] No audio device could be opened (", 0), 0u) << out;
    EXPECT_NE(out.find("; the game runs without sound.\n"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_GT(mixed, 0u);  // the null device drains the mix at the wall clock's pace
}
#endif

#ifdef _WIN32
// waveOut as Wine provides it: with a sound driver the device drains the ring; without
// one the engine falls back to the null device with its one Info line.
TEST(AudioEngine, WaveOutDrainsTheMixOrTheEngineFallsBack) {
    AudioRing ring(48000, 2);
    std::vector<float> second(48000 * 2, 0.0f);
    ring.Write(second.data(), 24000);
    std::unique_ptr<AudioDevice> device = CreatePlatformAudioDevice();
    EXPECT_STREQ(device->Name(), "waveOut");
    std::string error;
    if (device->Open(ring, error)) {
        const auto start = std::chrono::steady_clock::now();
        while (ring.Available() > 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        device->Close();
        EXPECT_EQ(ring.Available(), 0u) << "waveOut did not take the frames";
        std::printf("waveOut opened and drained 0.5 s of audio\n");
    } else {
        std::printf("waveOut could not be opened here (%s); checking the fallback\n", error.c_str());
        AudioEngine engine;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(engine.Start(AudioOptions{}, CreatePlatformAudioDevice()));
        EXPECT_STREQ(engine.DeviceName(), "null");
        engine.Stop();
        EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("[Info] No audio device could be opened (waveOutOpen: ", 0), 0u);
    }
}
#endif

TEST(AudioLines, EachLineBecomesACommandAndBadOnesWarnOncePerFault) {
    ProtocolState state;
    state.projectRoot = "/game";
    state.extensions.Add(Extension::Audio);
    testing::internal::CaptureStdout();
    for (const char* line : {
             "XAUDIO_PLAY|3|0.5|-0.25|1.5|1|sounds/a.wav",
             "XAUDIO_STOP|3",
             "XAUDIO_STOP_ALL",
             "XAUDIO_SET|3|0.1|1|2",
             "XAUDIO_MUSIC|0|0.8|2|music.ogg",
             "XAUDIO_MUSIC_STOP|1",
             "XAUDIO_MUSIC_PAUSE|0",
             "XAUDIO_MUSIC_RESUME|0.5",
             "XAUDIO_MUSIC_FADE|0.2|3",
             "XAUDIO_MASTER|0.7",
             "XAUDIO_PRELOAD|sounds/b.wav",
             // faults
             "XAUDIO_PLAY|1|1|0|1|0",
             "XAUDIO_PLAY|1|17|0|1|0|a.wav",
             "XAUDIO_PLAY|1|1|2|1|0|a.wav",
             "XAUDIO_PLAY|1|1|0|0|0|a.wav",
             "XAUDIO_PLAY|1|1|0|1|2|a.wav",
             "XAUDIO_PLAY|-1|1|0|1|0|a.wav",
             "XAUDIO_MASTER|nan",
             "XAUDIO_MASTER|x",
             "XAUDIO_BOGUS|1",
             "XAUDIO_MUSIC_FADE|1|-1",
             "XAUDIO_STOP|1|2",
         })
        HandleLine(state, line);
    const std::string out = testing::internal::GetCapturedStdout();
    const auto& audio = state.snapshot.audio;
    ASSERT_EQ(audio.size(), 11u);
    EXPECT_EQ(audio[10].op, AudioOp::Preload);
    EXPECT_EQ(state.snapshot.strings.substr(audio[10].path.offset, audio[10].path.length), PathToString(ResolvePath("/game", "sounds/b.wav")));
    EXPECT_EQ(audio[0].op, AudioOp::Play);
    EXPECT_EQ(audio[0].handle, 3);
    EXPECT_FLOAT_EQ(audio[0].volume, 0.5f);
    EXPECT_FLOAT_EQ(audio[0].pan, -0.25f);
    EXPECT_FLOAT_EQ(audio[0].pitch, 1.5f);
    EXPECT_TRUE(audio[0].loop);
    EXPECT_EQ(state.snapshot.strings.substr(audio[0].path.offset, audio[0].path.length), PathToString(ResolvePath("/game", "sounds/a.wav")));
    EXPECT_EQ(audio[4].op, AudioOp::PlayMusic);
    EXPECT_FALSE(audio[4].loop);
    EXPECT_FLOAT_EQ(audio[4].seconds, 2.0f);
    EXPECT_EQ(state.snapshot.strings.substr(audio[4].path.offset, audio[4].path.length), PathToString(ResolvePath("/game", "music.ogg")));
    EXPECT_EQ(audio[9].op, AudioOp::MasterVolume);
    EXPECT_EQ(out,
              "[Warn] Dropped a malformed XAUDIO_PLAY line: expected 7 fields, got 6\n"
              "[Warn] Dropped a malformed XAUDIO_PLAY line: volume must be a number from 0 to 16\n"
              "[Warn] Dropped a malformed XAUDIO_PLAY line: pan must be a number from -1 to 1\n"
              "[Warn] Dropped a malformed XAUDIO_PLAY line: pitch must be a number from 0.0625 to 16\n"
              "[Warn] Dropped a malformed XAUDIO_PLAY line: loop must be a whole number from 0 to 1\n"
              "[Warn] Dropped a malformed XAUDIO_PLAY line: handle must be a whole number from 0 to 2147483647\n"
              "[Warn] Dropped a malformed XAUDIO_MASTER line: volume must be a number from 0 to 16\n"
              "[Warn] Dropped a malformed XAUDIO_BOGUS line: unknown audio line\n"
              "[Warn] Dropped a malformed XAUDIO_MUSIC_FADE line: seconds must be a number from 0 to 3600\n"
              "[Warn] Dropped a malformed XAUDIO_STOP line: expected 2 fields, got 3\n");
}

TEST(AudioLines, AHostThatDidNotDeclareAudioGetsThemAsUnknownLines) {
    ProtocolState state;
    testing::internal::CaptureStdout();
    HandleLine(state, "XAUDIO_STOP_ALL");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Info] [ScriptHost] XAUDIO_STOP_ALL\n");
    EXPECT_TRUE(state.snapshot.audio.empty());
}
