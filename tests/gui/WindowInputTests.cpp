#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "support/FakeHostProject.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

using namespace QuorvaneTest;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string Xdo(const std::vector<std::string>& argv) {
    ProcessOptions options;
    options.timeoutSeconds = 10;
    return RunProcess(argv, options).out;
}

struct Frame {
    std::string keys;
    std::string mouse;
    std::string buttons;
};

// The FRAME lines the fake host received, in order.
std::vector<Frame> Frames(const std::filesystem::path& record) {
    std::vector<Frame> frames;
    std::istringstream lines(ReadFile(record));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("IN|FRAME|", 0) != 0) continue;
        std::vector<std::string> parts;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '|');) parts.push_back(field);
        if (line.back() == '|') parts.emplace_back();
        frames.push_back({parts.at(3), parts.at(4), parts.at(5)});
    }
    return frames;
}

bool HasKey(const Frame& frame, const std::string& code) {
    return ("," + frame.keys + ",").find("," + code + ",") != std::string::npos;
}

}  // namespace

TEST(Window, KeysClicksAndCloseReachTheHost) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (scripts/test starts Xvfb)";
    FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60})", "");
    const auto& record = project.record;
    BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);

    std::string windowId;
    for (int attempt = 0; attempt < 100 && windowId.empty(); ++attempt) {
        // By process: xdotool cannot read a UTF-8 typed WM_NAME in its C locale.
        windowId = Xdo({"xdotool", "search", "--pid", std::to_string(runtime.Pid())});
        if (const auto feed = windowId.find('\n'); feed != std::string::npos) windowId.resize(feed);
        if (windowId.empty()) Sleep(100);
    }
    ASSERT_FALSE(windowId.empty()) << "the window did not appear";

    // Without a window manager the keyboard follows the pointer.
    Xdo({"xdotool", "mousemove", "--window", windowId, "50", "60"});
    Sleep(300);
    Xdo({"xdotool", "keydown", "a"});
    Sleep(400);
    Xdo({"xdotool", "keyup", "a"});
    Xdo({"xdotool", "keydown", "alt"});
    Xdo({"xdotool", "key", "b"});
    Xdo({"xdotool", "keyup", "alt"});
    Xdo({"xdotool", "mousedown", "1"});
    Sleep(200);
    Xdo({"xdotool", "mouseup", "1"});
    Sleep(200);
    const std::size_t framesBeforeClose = Frames(record).size();
    Xdo({WM_CLOSE_EXE, windowId});

    const ProcessResult result = runtime.Wait(10);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<Frame> frames = Frames(record);
    ASSERT_GE(frames.size(), framesBeforeClose);

    // The held key is listed in every frame from its first appearance until release.
    std::size_t first = frames.size(), last = 0, held = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!HasKey(frames[i], "65")) continue;
        first = std::min(first, i);
        last = i;
        ++held;
    }
    ASSERT_LT(first, frames.size()) << "key A never reached the host";
    EXPECT_EQ(held, last - first + 1);
    EXPECT_GE(held, 5u);
    for (const Frame& frame : frames) {
        EXPECT_FALSE(HasKey(frame, "66")) << "a key pressed with Alt held was recorded";
        EXPECT_FALSE(HasKey(frame, "18")) << "Alt was recorded";
    }
    bool clicked = false;
    for (const Frame& frame : frames) clicked = clicked || (frame.buttons == "0" && frame.mouse == "50,60");
    EXPECT_TRUE(clicked) << "no frame with the left button down at 50,60";
    EXPECT_NE(ReadFile(record).find("IN|SHUTDOWN\nEXIT\n"), std::string::npos) << "the host was not shut down";
}

// Clicks and key taps shorter than a frame (xdotool presses and releases at
// once; the game runs at 20 frames a second) each reach the real game once.
TEST(Window, QuickTapsAreNeverLost) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (scripts/test starts Xvfb)";
    const std::filesystem::path source = QUORVANE_SOURCE_DIR;
    TempDir dir;
    dir.Write("game/project.json", R"({"mainClass": "FaultyGames.TapGame", "targetFps": 20, "width": 320, "height": 240, "mainAssembly": ")" +
                                       (source / "tests/e2e/games/FaultyGames/bin/Debug/net8.0/FaultyGames.dll").string() + "\"}");
    ProcessOptions options;
    options.workingDirectory = source;
    options.env["DOTNET_ROOT"] = std::nullopt;
    BackgroundProcess runtime({QUORVANE_EXE, (dir.Path() / "game").string()}, options);

    std::string windowId;
    for (int attempt = 0; attempt < 200 && windowId.empty(); ++attempt) {
        windowId = Xdo({"xdotool", "search", "--pid", std::to_string(runtime.Pid())});
        if (const auto feed = windowId.find('\n'); feed != std::string::npos) windowId.resize(feed);
        if (windowId.empty()) Sleep(100);
    }
    ASSERT_FALSE(windowId.empty()) << "the window did not appear";
    Xdo({"xdotool", "mousemove", "--window", windowId, "40", "40"});
    Sleep(1500);  // the game is loaded and running
    constexpr int kTaps = 5;
    for (int tap = 0; tap < kTaps; ++tap) {
        Xdo({"xdotool", "click", "1"});
        Sleep(250);
        Xdo({"xdotool", "key", "space"});
        Sleep(250);
    }
    Sleep(300);
    Xdo({WM_CLOSE_EXE, windowId});
    const ProcessResult result = runtime.Wait(20);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::size_t clicks = 0, spaces = 0;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        clicks += line.rfind("[Info] click in frame ", 0) == 0;
        spaces += line.rfind("[Info] space in frame ", 0) == 0;
    }
    EXPECT_EQ(clicks, static_cast<std::size_t>(kTaps)) << result.out;
    EXPECT_EQ(spaces, static_cast<std::size_t>(kTaps)) << result.out;
}

// BasicGame's pause menu: Escape, down to "Quit", Enter ends the run with 0.
TEST(Window, BasicGamePauseMenuQuits) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (scripts/test starts Xvfb)";
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = std::nullopt;
    BackgroundProcess runtime({QUORVANE_EXE}, options);
    std::string windowId;
    for (int attempt = 0; attempt < 200 && windowId.empty(); ++attempt) {
        windowId = Xdo({"xdotool", "search", "--pid", std::to_string(runtime.Pid())});
        if (const auto feed = windowId.find('\n'); feed != std::string::npos) windowId.resize(feed);
        if (windowId.empty()) Sleep(100);
    }
    ASSERT_FALSE(windowId.empty()) << "the window did not appear";
    Xdo({"xdotool", "mousemove", "--window", windowId, "640", "360"});
    Sleep(1500);
    for (const char* key : {"Return", "Escape", "Down", "Down", "Return"}) {
        Xdo({"xdotool", "key", key});
        Sleep(300);
    }
    const ProcessResult result = runtime.Wait(20);
    EXPECT_FALSE(result.timedOut) << "Quit did not end the run";
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("[Info] Paused.\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "");
}
