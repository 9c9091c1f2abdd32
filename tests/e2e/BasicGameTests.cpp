#include <gtest/gtest.h>

#include <memory>

#include "support/ImageFile.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

using namespace QuorvaneTest;

// The real runtime, the real .NET script host and the sample game, run from the
// repository root the way README's command runs them.
namespace {

ProcessResult RunFromRepositoryRoot(const std::vector<std::string>& args) {
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = std::nullopt;
    options.timeoutSeconds = 60;
    std::vector<std::string> argv{QUORVANE_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, options);
}

}  // namespace

TEST(BasicGame, RunsHeadlessWithTheRealHost) {
    const ProcessResult result = RunFromRepositoryRoot({"--headless", "--frames", "30"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind("[Info] C# script host started.\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("[Info] Level1: collect all 12 coins, then touch the flag.\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("[Info] Running project: BasicGame\n"), std::string::npos) << result.out;
}

TEST(BasicGame, UnknownStartSceneFailsFastWithTheHostsReason) {
    TempDir dir;
    const std::string assembly = std::string(QUORVANE_SOURCE_DIR) + "/samples/BasicGame/bin/Debug/net8.0/BasicGame.dll";
    dir.Write("game/project.json",
              R"({"mainClass": "BasicGame.MainGame", "startScene": "Nowhere", "mainAssembly": ")" + assembly + "\"}");
    const ProcessResult result = RunFromRepositoryRoot({"--headless", (dir.Path() / "game").string()});
    EXPECT_EQ(result.exitCode, 1);
    // Reported once, by the host's own reason: no second line about readiness.
    EXPECT_EQ(result.err, "[Error] The start scene \"Nowhere\" does not exist (known scenes: Level1, Level2).\n");
    EXPECT_LT(result.seconds, 4.5);
}

TEST(BasicGame, MissingMainClassIsExplained) {
    TempDir dir;
    dir.Write("game/project.json", R"({"mainClass": "Nope.Game", "mainAssembly": ")" + std::string(QUORVANE_SOURCE_DIR) +
                                       "/samples/BasicGame/bin/Debug/net8.0/BasicGame.dll\"}");
    const ProcessResult result = RunFromRepositoryRoot({"--headless", (dir.Path() / "game").string()});
    EXPECT_EQ(result.exitCode, 1);
    const std::string dll = std::string(QUORVANE_SOURCE_DIR) + "/samples/BasicGame/bin/Debug/net8.0/BasicGame.dll";
    EXPECT_EQ(result.err, "[Error] The main class \"Nope.Game\" was not found in " + dll +
                              ". Classes derived from Quorvane.Game in it: BasicGame.MainGame.\n");
}

TEST(BasicGame, ScreenshotShowsTheSkyAndThePlayer) {
    TempDir dir;
    const auto shot = dir.Path() / "shot.png";
    const ProcessResult result = RunFromRepositoryRoot({"--headless", "--frames", "60", "--screenshot", shot.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    int width = 0, height = 0;
    const std::vector<unsigned char> pixels = LoadRgb(shot, width, height);
    ASSERT_FALSE(pixels.empty());
    ASSERT_EQ(width, 1280);
    ASSERT_EQ(height, 720);
    const auto at = [&](int x, int y) {
        const unsigned char* p = pixels.data() + (y * width + x) * 3;
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(at(640, 10), 0x6cb4ff);  // the project's background colour
    // The player stands at the start, near the left edge: its cap and shirt colours.
    int cap = 0, shirt = 0;
    for (int y = 380; y < 560; ++y) {
        for (int x = 30; x < 140; ++x) {
            cap += at(x, y) == 0xDC3C3C;
            shirt += at(x, y) == 0x326EDC;
        }
    }
    EXPECT_GT(cap, 20);
    EXPECT_GT(shirt, 40);
}

// The title screen does not depend on the clock (the level stands still and the
// prompt blinks by frame number), so the same frames give the same picture.
// Overlapped frames draw the same frames, the last one included.
TEST(BasicGame, TitleScreenMatchesItsGoldenImage) {
    for (const std::vector<std::string> extra : {std::vector<std::string>{}, {"--overlap-frames"}, {"--overlap-frames", "--render-threads", "1"}}) {
        SCOPED_TRACE(extra.empty() ? "frames in turn" : extra.back());
        TempDir dir;
        const auto shot = dir.Path() / "title.png";
        std::vector<std::string> arguments{"--headless", "--frames", "10", "--screenshot", shot.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const ProcessResult result = RunFromRepositoryRoot(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        QuorvaneTest::ExpectMatchesGolden(shot, std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/e2e/golden/basicgame_title.png");
    }
}

TEST(BasicGame, UnwritableScreenshotIsAnError) {
    const ProcessResult result = RunFromRepositoryRoot({"--headless", "--frames", "1", "--screenshot", "/nonexistent/dir/x.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("[Error] Could not write the screenshot: /nonexistent/dir/x.png"), std::string::npos) << result.err;
}

// The build tree's runtime, started in an unrelated folder with a game that
// lies outside the repository, finds the script host of its own tree.
TEST(BasicGame, RuntimeInTheBuildTreeFindsItsHostFromAnyFolder) {
    TempDir elsewhere;
    const auto game = elsewhere.Path() / "games" / "deep" / "BasicGame";
    std::filesystem::create_directories(game.parent_path());
    std::filesystem::copy(std::filesystem::path(QUORVANE_SOURCE_DIR) / "samples/BasicGame", game,
                          std::filesystem::copy_options::recursive);
    ProcessOptions options;
    options.workingDirectory = elsewhere.Path();
    options.env["DOTNET_ROOT"] = std::nullopt;
    const ProcessResult result = RunProcess({QUORVANE_EXE, "--headless", "--frames", "3", game.string()}, options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST(BasicGame, InstalledLayoutFindsTheHostBesideTheExecutable) {
    // quorvane with a ScriptHost folder beside it, run from an unrelated folder.
    TempDir installed;
    const std::filesystem::path hostBuild = std::filesystem::path(QUORVANE_SOURCE_DIR) / "engine/csharp/ScriptHost/bin/Debug/net8.0";
    std::filesystem::copy(QUORVANE_EXE, installed.Path() / "quorvane");
    std::filesystem::copy(hostBuild, installed.Path() / "ScriptHost", std::filesystem::copy_options::recursive);
    // The game is copied too: below the repository its grandparent would hold a build.
    TempDir elsewhere;
    const auto game = elsewhere.Path() / "games" / "BasicGame";
    std::filesystem::create_directories(game.parent_path());
    std::filesystem::copy(std::filesystem::path(QUORVANE_SOURCE_DIR) / "samples/BasicGame", game,
                          std::filesystem::copy_options::recursive);
    ProcessOptions options;
    options.workingDirectory = elsewhere.Path();
    options.env["DOTNET_ROOT"] = std::nullopt;
    const ProcessResult result =
        RunProcess({(installed.Path() / "quorvane").string(), "--headless", "--frames", "3", game.string()}, options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("[Info] C# script host started.\n", 0), 0u) << result.out;
}
