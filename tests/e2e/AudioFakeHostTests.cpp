#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "audio/Sound.h"
#include "support/FakeHostProject.h"

using QuorvaneTest::FakeHostProject;
using QuorvaneTest::ProcessResult;
using QuorvaneTest::RunProcess;

// The runtime (on Windows: under Wine) with a scripted host that starts a sound in
// every frame; the capture shows the runtime's whole audio path, with no .NET.
namespace {

const char* const kRuntime = QUORVANE_EXE;

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
    std::vector<float> out(format.dataBytes / 4);
    std::memcpy(out.data(), view.data() + format.dataOffset, out.size() * 4);
    return out;
}

std::string ReadSource(const char* relative) {
    std::ifstream file(std::filesystem::path(QUORVANE_SOURCE_DIR) / relative, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

}  // namespace

TEST(AudioFakeHost, SoundsOfEveryFrameReachTheCaptureClampedAtFullScale) {
    FakeHostProject project(R"({"mainClass": "M", "targetFps": 60})",
                            "pre_ready=EXTENSIONS|audio;frame_reply=XAUDIO_PLAY|{n}|1|-1|1|0|click.wav");
    project.cwd.Write("game/click.wav", ReadSource("tests/e2e/AudioGame/assets/click.wav"));
    const auto capture = project.cwd.Path() / "capture.wav";
    const ProcessResult result =
        RunProcess({kRuntime, "--headless", "--frames", "10", "--audio-capture", capture.string(), "game"}, project.options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<float> s = ReadCapture(capture);
    ASSERT_EQ(s.size(), 10u * 800 * 2);
    EXPECT_GT(s[0], 0.0f);  // frame 1's sound starts at the first sample
    float right = 0.0f;
    for (std::size_t i = 1; i < s.size(); i += 2) right = std::max(right, std::abs(s[i]));
    EXPECT_EQ(right, 0.0f);  // hard left
    // Six overlapping clicks at 0.49 each: the output is held at full scale.
    EXPECT_EQ(s[2 * 9 * 800 + 400], 1.0f);
}

TEST(AudioFakeHost, AHostThatDidNotDeclareAudioIsNotHeardAndItsLinesAreUnknown) {
    FakeHostProject project(R"({"mainClass": "M", "targetFps": 60})", "frame_reply=XAUDIO_PLAY|1|1|0|1|0|click.wav");
    project.cwd.Write("game/click.wav", ReadSource("tests/e2e/AudioGame/assets/click.wav"));
    const auto capture = project.cwd.Path() / "capture.wav";
    const ProcessResult result =
        RunProcess({kRuntime, "--headless", "--frames", "4", "--audio-capture", capture.string(), "game"}, project.options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("[Info] [ScriptHost] XAUDIO_PLAY|1|1|0|1|0|click.wav\n"), std::string::npos) << result.out;
    const std::vector<float> s = ReadCapture(capture);
    ASSERT_EQ(s.size(), 4u * 800 * 2);
    for (float sample : s) ASSERT_EQ(sample, 0.0f);
}
