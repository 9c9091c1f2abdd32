#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "support/FakeHostProject.h"
#include "support/ImageFile.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

using QuorvaneTest::ProcessOptions;
using QuorvaneTest::RunProcess;
using QuorvaneTest::TempDir;

namespace {

const std::string kRuntime = QUORVANE_EXE;
using QuorvaneTest::FakeHostProject;
using QuorvaneTest::kHostBuildPath;

QuorvaneTest::ProcessResult RunIn(const std::filesystem::path& cwd, std::vector<std::string> args) {
    args.insert(args.begin(), kRuntime);
    ProcessOptions options;
    options.workingDirectory = cwd;
    return RunProcess(args, options);
}

}  // namespace

TEST(Startup, MissingProjectFileNamesTheAbsolutePath) {
    TempDir cwd;
    const auto result = RunIn(cwd.Path(), {"--headless"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "[Error] Could not open file: " + (cwd.Path() / "samples" / "BasicGame" / "project.json").string() + "\n");
    EXPECT_EQ(result.out, "");
}

TEST(Startup, ProjectErrorsEndWithExitCodeOne) {
    struct Case { std::string json; std::string message; };
    const Case cases[] = {
        {R"({"name": "NoMain"})", "project.json must define mainClass."},
        {R"({"mainClass": "M", "height": 5000000000})", "stoul argument out of range"},
    };
    for (const Case& c : cases) {
        TempDir cwd;
        cwd.Write("game/project.json", c.json);
        const auto result = RunIn(cwd.Path(), {"--headless", "game", "ignored"});
        EXPECT_EQ(result.exitCode, 1) << c.json;
        EXPECT_EQ(result.err, "[Error] " + c.message + "\n") << c.json;
    }
}

TEST(Startup, MissingScriptHostThenMissingGameAssembly) {
    TempDir cwd;
    cwd.Write("game/project.json", R"({"mainClass": "M", "mainAssembly": "Game.dll"})");
    // A copy of the runtime away from the checkout: the built one would find the
    // script host built in its own checkout.
    TempDir elsewhere;
    const auto runtime = elsewhere.Path() / "a" / "b" / std::filesystem::path(kRuntime).filename();
    std::filesystem::create_directories(runtime.parent_path());
    std::filesystem::copy_file(kRuntime, runtime);
    const auto runCopy = [&] {
        ProcessOptions options;
        options.workingDirectory = cwd.Path();
        return RunProcess({runtime.string(), "--headless", "game"}, options);
    };
    auto result = runCopy();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "[Error] Script host was not found: " + (cwd.Path() / kHostBuildPath).string() + "\n");

    cwd.Write(kHostBuildPath, "");
    result = runCopy();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "[Error] Game assembly was not found: " + (cwd.Path() / "game" / "Game.dll").string() + "\n");
}

TEST(Startup, HelpVersionAndUnknownOption) {
    TempDir cwd;
    auto result = RunIn(cwd.Path(), {"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Usage: quorvane"), std::string::npos);
    result = RunIn(cwd.Path(), {"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("quorvane ", 0), 0u);
    result = RunIn(cwd.Path(), {"--fullscreen"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "[Error] Unknown option: --fullscreen (see --help).\n");
}

TEST(Startup, StartsTheHostThroughDotnetRootAndShutsItDown) {
    FakeHostProject project(R"({"mainClass": "Game.Main", "name": "Fake"})", "pre_ready=LOG|Info|game loading");
    const auto result = RunProcess({kRuntime, "--headless", "--frames", "3", "game"}, project.options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.find("[Info] game loading\n[Info] C# script host started.\n"), 0u) << result.out;
    EXPECT_NE(result.out.find("[Info] Running project: Fake\n"), std::string::npos) << result.out;
    const std::string lines = project.Record();
    EXPECT_NE(lines.find("CWD|" + (project.cwd.Path() / "game").string() + "\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("IN|START\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("IN|SHUTDOWN\nEXIT\n"), std::string::npos) << lines;
}

TEST(Startup, HeadlessRunsTheGivenNumberOfFrames) {
    FakeHostProject project(R"({"mainClass": "M"})", "");
    project.options.env["DISPLAY"] = std::nullopt;
    const auto result = RunProcess({kRuntime, "--headless", "--frames", "3", "game"}, project.options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string lines = project.Record();
    const auto start = lines.find("IN|START\n");
    ASSERT_NE(start, std::string::npos) << lines;
    std::string rest = lines.substr(start + 9);
    // The first delta counts from the end of start-up; only its form is fixed.
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(rest.rfind("IN|FRAME|", 0), 0u) << rest;
        const std::string line = rest.substr(0, rest.find('\n'));
        EXPECT_EQ(line.substr(line.find('|', 9)), "||0,0|") << line;
        rest = rest.substr(rest.find('\n') + 1);
    }
    EXPECT_EQ(rest, "IN|SHUTDOWN\nEXIT\n");
}

// Overlapped frames (from project.json or the command line) still give the host
// exactly N frames and draw every one of them: the last picture is frame N's.
TEST(Startup, OverlappedFramesDrawEveryFrameTheLastIncluded) {
    struct Case {
        const char* json;
        std::vector<std::string> extra;
    };
    for (const Case& c : {Case{R"({"mainClass": "M", "overlapFrames": true})", {}},
                          Case{R"({"mainClass": "M"})", {"--overlap-frames", "--render-threads", "3"}}}) {
        SCOPED_TRACE(c.json);
        FakeHostProject project(c.json, "frame_reply=RECT|{n}0|0|10|10|255|0|0");
        const auto shot = project.cwd.Path() / "shot.png";
        std::vector<std::string> args{kRuntime, "--headless", "--frames", "7", "--screenshot", shot.string(), "game"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto result = RunProcess(args, project.options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.find("[Warn]"), std::string::npos) << result.out;
        const std::string lines = project.Record();
        std::size_t frames = 0;
        for (std::size_t at = lines.find("IN|FRAME|"); at != std::string::npos; at = lines.find("IN|FRAME|", at + 1)) ++frames;
        EXPECT_EQ(frames, 7u) << lines;
        int width = 0, height = 0;
        const std::vector<unsigned char> pixels = QuorvaneTest::LoadRgb(shot, width, height);
        ASSERT_EQ(width, 1280);
        const auto red = [&](int x) { return pixels[static_cast<std::size_t>(x) * 3] == 255 && pixels[x * 3 + 1] == 0; };
        EXPECT_TRUE(red(70) && red(79)) << "frame 7's square";
        EXPECT_FALSE(red(60) || red(80)) << "an earlier or later frame's square";
    }
}

TEST(Startup, WindowedRunEndsAfterFramesWithTheHostShutDown) {
#if !defined(_WIN32)
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display (scripts/test starts Xvfb)";
#endif
    FakeHostProject project(R"({"mainClass": "M", "width": 200, "height": 100, "title": "e2e window"})",
                            "frame_reply=RECT|0|0|10|10|255|0|0~SPRITE|0|0|8|8|1|2|3|missing.png");
    const auto result = RunProcess({kRuntime, "--frames", "5", "game"}, project.options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("[Warn] Texture not found: "), std::string::npos) << result.out;
    const std::string lines = project.Record();
    std::size_t frames = 0;
    for (std::size_t at = 0; (at = lines.find("IN|FRAME|", at)) != std::string::npos; ++at) ++frames;
    EXPECT_EQ(frames, 5u) << lines;
    EXPECT_NE(lines.find("IN|SHUTDOWN\nEXIT\n"), std::string::npos) << lines;
}

#if !defined(_WIN32)
// Without a display the one error line says why and what to do.
TEST(Startup, NoDisplayNamesTheCauseAndTheFix) {
    struct Case {
        std::optional<std::string> display;
        std::string error;
    };
    const Case cases[] = {
        {std::nullopt,
         "[Error] Failed to create the window: no display is set (DISPLAY is empty). Set DISPLAY to a running X server "
         "(for example DISPLAY=:0), or run with --headless to play without a window.\n"},
        {":4321",
         "[Error] Failed to create the window: the display \":4321\" (DISPLAY) cannot be opened"},
    };
    for (const Case& c : cases) {
        FakeHostProject project(R"({"mainClass": "M"})", "");
        project.options.env["DISPLAY"] = c.display;
        project.options.env["WAYLAND_DISPLAY"] = std::nullopt;
        project.options.env["SDL_VIDEODRIVER"] = std::nullopt;
        const auto result = RunProcess({kRuntime, "game"}, project.options);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.substr(0, c.error.size()), c.error) << result.err;
        EXPECT_NE(result.err.find("--headless"), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}
#endif

// project.json mistakes reach the user as warnings, and the game still runs.
TEST(Startup, ProjectJsonMistakesAreWarnedAndTheGameRuns) {
    struct Case {
        std::string json;
        std::string warning;  // after "[Warn] FILE:"
    };
    const Case cases[] = {
        {R"({"mainClass": "M", "widht": 960})", R"(1:20: unknown key "widht" (did you mean "width"?); it is ignored)"},
        {"{\"mainClass\": \"M\"\n\"width\": 960}",
         "2:1: project.json is not valid JSON: syntax error while parsing object - unexpected string literal; expected '}' "
         "(is a comma missing?); the values are read as far as they can be"},
        {R"({"mainClass": "M", "width": "960"})", R"(1:20: "width" should be a whole number, not a string; it is ignored)"},
        {R"({"mainClass": "M", "backgroundColor": "#f00"})",
         R"(1:20: "backgroundColor" should be a colour written "#rrggbb"; "#f00" is ignored)"},
    };
    for (const Case& c : cases) {
        FakeHostProject project(c.json, "");
        const auto result = RunProcess({kRuntime, "--headless", "--frames", "2", "game"}, project.options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const std::string file = (project.cwd.Path() / "game" / "project.json").string();
        EXPECT_EQ(result.out.rfind("[Warn] " + file + ":" + c.warning + "\n", 0), 0u) << result.out;
    }
}
