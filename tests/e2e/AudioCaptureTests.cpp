#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "audio/AudioTestData.h"
#include "audio/Sound.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

using namespace QuorvaneTest;

// The real runtime and .NET host run tests/e2e/AudioGame headless with a capture; the
// game plays its sounds at known frames (60 fps: 800 samples a frame).
namespace {

std::vector<float> ReadCapture(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    Quorvane::WavFormat format;
    std::string fault;
    const std::span<const std::uint8_t> view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (!Quorvane::ParseWavHeader(view, bytes.size(), format, fault)) {
        ADD_FAILURE() << fault;
        return {};
    }
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_EQ(format.channels, 2);
    EXPECT_TRUE(format.isFloat);
    std::vector<float> out(format.dataBytes / 4);
    std::memcpy(out.data(), view.data() + format.dataOffset, out.size() * 4);
    return out;
}

float Peak(const std::vector<float>& s, int channel, int from, int to) {
    float peak = 0.0f;
    for (int i = from; i < to; ++i) peak = std::max(peak, std::abs(s[2 * i + channel]));
    return peak;
}

}  // namespace

TEST(AudioCapture, TheGamesSoundsAreInTheCaptureAtTheirFrames) {
    TempDir dir;
    const auto capture = dir.Path() / "capture.wav";
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = std::nullopt;
    options.timeoutSeconds = 90;
    const ProcessResult result =
        RunProcess({QUORVANE_EXE, "--headless", "--frames", "80", "--audio-capture", capture.string(), "tests/e2e/AudioGame"}, options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string missing = "[Warn] Sound not found: " + std::string(QUORVANE_SOURCE_DIR) +
                                "/tests/e2e/AudioGame/assets/missing.wav; it plays as silence.\n";
    const auto first = result.out.find(missing);
    EXPECT_NE(first, std::string::npos) << result.out;
    EXPECT_EQ(result.out.find(missing, first + 1), std::string::npos) << "warned twice";

    const std::vector<float> s = ReadCapture(capture);
    ASSERT_EQ(s.size(), 80u * 800 * 2);  // 80 frames of 1/60 s, whatever the run took
    constexpr int kFrame = 800;
    // Frame 10: the WAV beep (0.5 amplitude, centre: -3 dB each side), 0.1 s of 440 Hz.
    EXPECT_EQ(Peak(s, 0, 0, 9 * kFrame), 0.0f);
    EXPECT_NEAR(Peak(s, 0, 9 * kFrame, 9 * kFrame + 4800), 0.5f * std::sqrt(0.5f), 0.01f);
    EXPECT_NEAR(Peak(s, 1, 9 * kFrame, 9 * kFrame + 4800), 0.5f * std::sqrt(0.5f), 0.01f);
    EXPECT_NEAR(MeasureFrequency(s, 0, 9 * kFrame + 100, 4600, 48000), 440.0, 2.0);
    EXPECT_EQ(Peak(s, 0, 9 * kFrame + 4802, 39 * kFrame), 0.0f);
    // Frame 40: the Ogg beep, hard left.
    EXPECT_NEAR(Peak(s, 0, 39 * kFrame, 39 * kFrame + 4800), 0.5f, 0.03f);
    EXPECT_EQ(Peak(s, 1, 39 * kFrame, 39 * kFrame + 4800), 0.0f);
    EXPECT_NEAR(MeasureFrequency(s, 0, 39 * kFrame + 100, 4600, 48000), 440.0, 2.0);
    EXPECT_LT(Peak(s, 0, 39 * kFrame + 4900, 59 * kFrame), 0.001f);
    // Frames 60 to 70: the WAV beep looped an octave up at half volume, then stopped
    // with a 5 ms ramp.
    EXPECT_NEAR(MeasureFrequency(s, 1, 59 * kFrame + 100, 10 * kFrame - 200, 48000), 880.0, 3.0);
    EXPECT_NEAR(Peak(s, 1, 59 * kFrame, 69 * kFrame), 0.25f * std::sqrt(0.5f), 0.01f);
    EXPECT_EQ(Peak(s, 1, 69 * kFrame + 241, 80 * kFrame), 0.0f);
}

TEST(AudioCapture, IsRefusedWithoutAFileName) {
    const ProcessResult result = RunProcess({QUORVANE_EXE, "--headless", "--audio-capture"}, {});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("--audio-capture needs the name of a WAV file to write."), std::string::npos) << result.err;
}
