#include <gtest/gtest.h>

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
    EXPECT_EQ(result.err,
              "[Error] The start scene \"Nowhere\" does not exist (known scenes: Level1, Level2).\n"
              "[Error] Script host did not become ready.\n");
    EXPECT_LT(result.seconds, 4.5);
}

TEST(BasicGame, MissingMainClassIsExplained) {
    TempDir dir;
    dir.Write("game/project.json", R"({"mainClass": "Nope.Game", "mainAssembly": ")" + std::string(QUORVANE_SOURCE_DIR) +
                                       "/samples/BasicGame/bin/Debug/net8.0/BasicGame.dll\"}");
    const ProcessResult result = RunFromRepositoryRoot({"--headless", (dir.Path() / "game").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("[Error] The main class \"Nope.Game\" was not found in "), std::string::npos) << result.err;
}
