#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "render/software/SoftwareCanvas.h"

#include "support/Subprocess.h"
#include "support/TempDir.h"

using namespace QuorvaneTest;

// The Windows build with the real C# script host: quorvane.exe starts our
// dotnet.exe (found through DOTNET_ROOT), which runs Quorvane.ScriptHost.dll on
// the Windows .NET runtime that scripts/dotnet-windows-layout lays out from
// NuGet's runtime pack. Under Wine, in CI, beside the Linux runs of the same game.
namespace {

const std::filesystem::path kDotnetRoot = WINDOWS_DOTNET_ROOT;

bool LayoutPresent() {
    std::error_code error;
    return std::filesystem::exists(kDotnetRoot / "dotnet.exe", error) &&
           std::filesystem::exists(kDotnetRoot / "host" / "fxr", error) &&
           std::filesystem::exists(kDotnetRoot / "shared" / "Microsoft.NETCore.App", error);
}

#define SKIP_WITHOUT_LAYOUT()                                                                              \
    if (!LayoutPresent())                                                                                  \
    GTEST_SKIP() << "no Windows .NET runtime at " << kDotnetRoot.string()                                  \
                 << " (scripts/dotnet-windows-layout lays it out from NuGet's runtime pack)"

ProcessResult RunBasicGame(const std::vector<std::string>& args) {
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = kDotnetRoot.string();
    // Starting CoreCLR under Wine on a loaded machine takes seconds.
    options.timeoutSeconds = 180;
    std::vector<std::string> argv{QUORVANE_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, options);
}

struct Difference {
    int pixels = 0;       // pixels whose colour differs at all
    int beyond = 0;       // pixels with a channel more than the tolerance off
    int maxChannel = 0;   // the largest difference of one channel
};

// Both images decoded by the same decoder, compared pixel by pixel.
Difference Compare(const Quorvane::SoftwareImage& a, const Quorvane::SoftwareImage& b, int tolerance) {
    Difference result;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            const std::uint32_t pa = a.Row(y)[x];
            const std::uint32_t pb = b.Row(y)[x];
            if ((pa & 0xFFFFFFu) == (pb & 0xFFFFFFu)) continue;
            ++result.pixels;
            int largest = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int delta = std::abs(static_cast<int>((pa >> shift) & 0xFF) - static_cast<int>((pb >> shift) & 0xFF));
                largest = std::max(largest, delta);
            }
            result.beyond += largest > tolerance;
            result.maxChannel = std::max(result.maxChannel, largest);
        }
    }
    return result;
}

// The title screen after 10 frames does not depend on the clock, so the Linux
// headless run's golden image is the picture every backend must give.
void ExpectTitleScreenMatchesLinux(const std::vector<std::string>& extraArgs, int tolerance, int allowedPixels) {
    TempDir dir;
    const auto shot = dir.Path() / "title.png";
    std::vector<std::string> args = extraArgs;
    args.insert(args.end(), {"--frames", "10", "--screenshot", shot.string()});
    const ProcessResult result = RunBasicGame(args);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    const auto golden = std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/e2e/golden/basicgame_title.png";
    const std::unique_ptr<Quorvane::SoftwareImage> actual = Quorvane::DecodeImageFile(shot);
    const std::unique_ptr<Quorvane::SoftwareImage> expected = Quorvane::DecodeImageFile(golden);
    ASSERT_TRUE(actual);
    ASSERT_TRUE(expected) << golden;
    ASSERT_EQ(actual->Width(), expected->Width());
    ASSERT_EQ(actual->Height(), expected->Height());
    const Difference difference = Compare(*actual, *expected, tolerance);
    std::cout << "[ windows ] title screen vs the Linux headless run: " << difference.pixels << " of "
              << actual->Width() * actual->Height() << " pixels differ, " << difference.beyond
              << " by more than " << tolerance << " (largest channel difference " << difference.maxChannel
              << "); the run took " << result.seconds << " s\n";
    EXPECT_LE(difference.beyond, allowedPixels);
    // The picture itself, whatever the rounding: the project's sky at the top.
    EXPECT_EQ(actual->Row(10)[640] & 0xFFFFFFu, 0x6cb4ffu);
}

}  // namespace

TEST(WindowsDotnet, BasicGameRunsHeadlessWithTheRealHost) {
    SKIP_WITHOUT_LAYOUT();
    const ProcessResult result = RunBasicGame({"--headless", "--frames", "30"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind("[Info] C# script host started.\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("[Info] Level1: collect all 12 coins, then touch the flag.\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("[Info] Running project: BasicGame\n"), std::string::npos) << result.out;
    std::cout << "[ windows ] BasicGame, 30 frames headless with the real host: " << result.seconds << " s\n";
}

TEST(WindowsDotnet, HeadlessTitleScreenMatchesTheLinuxRun) {
    SKIP_WITHOUT_LAYOUT();
    // Headless, the software canvas draws it as on Linux: nothing may differ.
    ExpectTitleScreenMatchesLinux({"--headless"}, 0, 0);
}

// The host's own reason reaches the runtime's log through the Windows pipes.
TEST(WindowsDotnet, UnknownStartSceneIsReportedByTheRealHost) {
    SKIP_WITHOUT_LAYOUT();
    TempDir dir;
    // With its drive: the game folder lies on another one (Wine's C:, the
    // checkout on Z:), where a path from the root would not find it.
    const std::string assembly =
        std::filesystem::absolute(std::filesystem::path(QUORVANE_SOURCE_DIR) / "samples/BasicGame/bin/Debug/net8.0/BasicGame.dll")
            .generic_string();
    dir.Write("game/project.json",
              R"({"mainClass": "BasicGame.MainGame", "startScene": "Nowhere", "mainAssembly": ")" + assembly + "\"}");
    const ProcessResult result = RunBasicGame({"--headless", (dir.Path() / "game").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "[Error] The start scene \"Nowhere\" does not exist (known scenes: Level1, Level2).\n");
}

// In a Win32 window (under Xvfb in scripts/test) the screenshot is the GDI back
// buffer, drawn with GDI and Wine's GDI+. Two things differ from the Linux run,
// as GdiCanvasTests shows on small scenes: GDI+ rounds its blends its own way
// (the title panel and every translucent pixel one step off, about 160000
// pixels), and Wine's GDI+ shifts images scaled 3:1 by a column, so the soft
// edges of the clouds and coins move (about 2800 pixels more than 3 steps off,
// some by up to 235). Up to 1% of the frame beyond 3 steps is allowed.
TEST(WindowsDotnet, WindowedTitleScreenMatchesTheLinuxRun) {
    SKIP_WITHOUT_LAYOUT();
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display for Wine's windows (scripts/test starts Xvfb)";
    ExpectTitleScreenMatchesLinux({}, 3, 1280 * 720 / 100);
}
