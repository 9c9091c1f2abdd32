#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "support/ImageFile.h"

#include "support/Subprocess.h"
#include "support/TempDir.h"

using namespace QuorvaneTest;

// The real runtime and the real .NET host running small games that fail on
// purpose (tests/e2e/games/FaultyGames), each in a project folder of its own.
namespace {

const std::filesystem::path kSource = QUORVANE_SOURCE_DIR;
const std::filesystem::path kFaultyGames = kSource / "tests/e2e/games/FaultyGames/bin/Debug/net8.0/FaultyGames.dll";

ProcessResult RunFaultyGame(const std::string& mainClass, std::vector<std::string> args, bool headless = true) {
    TempDir dir;
    dir.Write("game/project.json", R"({"mainClass": "FaultyGames.)" + mainClass + R"(", "mainAssembly": ")" +
                                       kFaultyGames.string() + R"(", "width": 640, "height": 360, "title": "faulty"})");
    ProcessOptions options;
    options.workingDirectory = kSource;
    options.env["DOTNET_ROOT"] = std::nullopt;
    options.timeoutSeconds = 90;
    std::vector<std::string> argv{QUORVANE_EXE};
    if (headless) argv.emplace_back("--headless");
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back((dir.Path() / "game").string());
    return RunProcess(argv, options);
}

using Image = std::vector<unsigned char>;

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

}  // namespace

// Every way a running game can fail ends with exit code 2 and the reason on
// standard error, logged once.
TEST(GameFailure, EachFailureIsReportedOnceWithExitCodeTwo) {
    struct Case {
        std::string mainClass;
        std::vector<std::string> errorHead;  // the first lines of standard error, exactly
    };
    const Case cases[] = {
        {"ExitGame", {"[Error] The script host exited unexpectedly (exit code 3)."}},
        {"OverflowGame",
         {"[Error] The script host exited unexpectedly (signal 6, SIGABRT).", "[Error] [ScriptHost] Stack overflow."}},
        {"ThrowInLoad",
         {"[Error] Load failed: System.InvalidOperationException: thrown in Load",
          "   at FaultyGames.ThrowInLoad.Load in /games/FaultyGames/FaultyGames.cs:line 37"}},
        {"ThrowInUpdate",
         {"[Error] Update failed: System.InvalidOperationException: thrown in Update",
          "   at FaultyGames.ThrowInUpdate.Explode in /games/FaultyGames/FaultyGames.cs:line 47",
          "   at FaultyGames.ThrowInUpdate.Update in /games/FaultyGames/FaultyGames.cs:line 44"}},
        {"ThrowInFixedUpdate",
         {"[Error] FixedUpdate failed: System.InvalidOperationException: thrown in FixedUpdate",
          "   at FaultyGames.ThrowInFixedUpdate.FixedUpdate in /games/FaultyGames/FaultyGames.cs:line 54"}},
        {"ThrowInDraw",
         {"[Error] Draw failed: System.InvalidOperationException: thrown in Draw",
          "   at FaultyGames.ThrowInDraw.Draw in /games/FaultyGames/FaultyGames.cs:line 63"}},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunFaultyGame(c.mainClass, {"--frames", "200"});
        EXPECT_EQ(result.exitCode, 2) << c.mainClass << "\n" << result.err;
        const std::vector<std::string> lines = LinesOf(result.err);
        ASSERT_GE(lines.size(), c.errorHead.size()) << c.mainClass << "\n" << result.err;
        for (std::size_t i = 0; i < c.errorHead.size(); ++i) EXPECT_EQ(lines[i], c.errorHead[i]) << c.mainClass;
        // Nothing of the failure is left at Info level, and it is not repeated.
        EXPECT_EQ(result.out.find("[ScriptHost]"), std::string::npos) << c.mainClass << "\n" << result.out;
        std::size_t headlines = 0;
        for (const std::string& line : lines) headlines += line.rfind("[Error] ", 0) == 0 && line.find("[ScriptHost]") == std::string::npos;
        EXPECT_EQ(headlines, 1u) << c.mainClass << "\n" << result.err;
        // Headless, nobody could close the error screen: the run ends at once.
        EXPECT_LT(result.seconds, 30) << c.mainClass;
    }
}

TEST(GameFailure, QuitEndsTheRunLikeClosingTheWindow) {
    const ProcessResult result = RunFaultyGame("QuitGame", {"--frames", "200"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

// One Update sleeps 2 s: one warning, and the last frame shows its own square
// (frame 40 at x 400), not the square of a frame before it.
TEST(GameFailure, ASlowFrameCostsOneFrameNotEveryFrameAfterIt) {
    TempDir dir;
    const auto shot = dir.Path() / "slow.png";
    const ProcessResult result = RunFaultyGame("SlowGame", {"--frames", "40", "--screenshot", shot.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::size_t warnings = 0;
    for (const std::string& line : LinesOf(result.out)) warnings += line.rfind("[Warn] ", 0) == 0;
    EXPECT_EQ(warnings, 1u) << result.out;
    EXPECT_NE(result.out.find("[Warn] frame 3: the script host took longer than 500 ms\n"), std::string::npos) << result.out;
    int width = 0, height = 0;
    const Image pixels = LoadRgb(shot, width, height);
    ASSERT_FALSE(pixels.empty());
    const auto white = [&](int x, int y) {
        const unsigned char* p = pixels.data() + (y * width + x) * 3;
        return p[0] == 255 && p[1] == 255 && p[2] == 255;
    };
    EXPECT_TRUE(white(405, 5)) << "frame 40 did not draw its own square";
    EXPECT_FALSE(white(395, 5)) << "frame 40 drew the square of frame 39";
}

// The error screen, drawn by the runtime in a real window under Xvfb.
TEST(GameFailure, ErrorScreenMatchesItsGoldenImage) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display (scripts/test starts Xvfb)";
    TempDir dir;
    const auto shot = dir.Path() / "error.png";
    const ProcessResult result = RunFaultyGame("ThrowInUpdate", {"--frames", "30", "--screenshot", shot.string()}, false);
    ASSERT_EQ(result.exitCode, 2) << result.err;
    QuorvaneTest::ExpectMatchesGolden(shot, kSource / "tests/e2e/golden/error_screen.png");
}

// How a game folder without "mainAssembly" is searched, with the real host.
TEST(GameSearch, FolderCases) {
    struct Case {
        const char* name;
        const char* buildFolder;  // where the game's build goes, "" for none
        bool staleSource;         // a source file written after the build
        int exitCode;
        std::string outPart;  // expected in standard output
        std::string errPart;  // expected in standard error
    };
    const Case cases[] = {
        // Neither the folder ("tryout") nor mainClass names the assembly: its project file does.
        {"named by the project file, net10.0 Release", "bin/Release/net10.0", false, 0, "[Info] Running project: tryout\n", ""},
        {"stale build", "bin/Debug/net8.0", true, 0, "; run dotnet build, or use --watch.\n", ""},
        {"not built", "", false, 1, "", "[Error] No game assembly found in the folder "},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto game = dir.Path() / "tryout";
        dir.Write("tryout/project.json", R"({"mainClass": "QuitGame"})");
        dir.Write("tryout/FaultyGames.csproj", "<Project Sdk=\"Microsoft.NET.Sdk\" />\n");
        if (*c.buildFolder != '\0') {
            std::filesystem::create_directories(game / c.buildFolder);
            std::filesystem::copy(kFaultyGames.parent_path(), game / c.buildFolder, std::filesystem::copy_options::recursive);
        }
        if (c.staleSource) {
            const auto source = dir.Write("tryout/Game.cs", "// edited after the build\n");
            std::filesystem::last_write_time(source, std::filesystem::last_write_time(game / c.buildFolder / "FaultyGames.dll") +
                                                         std::chrono::seconds(30));
        }
        ProcessOptions options;
        options.workingDirectory = kSource;
        options.env["DOTNET_ROOT"] = std::nullopt;
        const ProcessResult result = RunProcess({QUORVANE_EXE, "--headless", "--frames", "20", game.string()}, options);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name << "\n" << result.err;
        EXPECT_NE(result.out.find(c.outPart), std::string::npos) << c.name << "\n" << result.out;
        EXPECT_NE(result.err.find(c.errPart), std::string::npos) << c.name << "\n" << result.err;
        // One start-up error, by its real cause.
        EXPECT_EQ(result.err.find("did not become ready"), std::string::npos) << c.name << "\n" << result.err;
        EXPECT_LE(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.name << "\n" << result.err;
    }
}
