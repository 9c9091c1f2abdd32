// The "input" extension against a real SDL window under Xvfb, driven by xdotool:
// wheel, typed text, fullscreen, scale modes (the picture on screen and where a
// click lands), and scripted SDL virtual gamepads.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/FakeHostProject.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

using namespace QuorvaneTest;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string Tool(const std::vector<std::string>& argv) {
    ProcessOptions options;
    options.timeoutSeconds = 10;
    return RunProcess(argv, options).out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

// One FRAME as the host received it, with the extended lines sent in front of it.
struct HostFrame {
    std::vector<std::string> extended;
    std::string frame;
    std::vector<std::string> Lines(const std::string& tag) const {
        std::vector<std::string> found;
        for (const std::string& line : extended) {
            if (line.rfind(tag + "|", 0) == 0) found.push_back(line);
        }
        return found;
    }
    // The fields of this frame's XINPUT line (empty when there was none).
    std::vector<std::string> Input() const {
        const auto lines = Lines("XINPUT");
        if (lines.empty()) return {};
        // The text is the rest of the line and may hold "|" itself.
        std::vector<std::string> fields = Split(lines.front(), '|');
        for (std::size_t i = 8; i < fields.size(); ++i) fields[7] += "|" + fields[i];
        if (fields.size() > 8) fields.resize(8);
        return fields;
    }
};

std::vector<HostFrame> HostFrames(const std::filesystem::path& record) {
    std::vector<HostFrame> frames;
    HostFrame current;
    std::istringstream lines(ReadFile(record));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("IN|FRAME|", 0) == 0) {
            current.frame = line.substr(3);
            frames.push_back(current);
            current = {};
        } else if (line.rfind("IN|X", 0) == 0) {
            current.extended.push_back(line.substr(3));
        }
    }
    return frames;
}

std::string WaitForWindow(BackgroundProcess& runtime) {
    for (int attempt = 0; attempt < 300; ++attempt) {
        std::string id = Tool({"xdotool", "search", "--pid", std::to_string(runtime.Pid())});
        if (const auto feed = id.find('\n'); feed != std::string::npos) id.resize(feed);
        if (!id.empty()) return id;
        Sleep(100);
    }
    return {};
}

// "W H" of the window as the X server has it.
std::pair<int, int> WindowSize(const std::string& id) {
    const std::string out = Tool({"xdotool", "getwindowgeometry", id});
    const auto at = out.find("Geometry: ");
    if (at == std::string::npos) return {0, 0};
    int w = 0, h = 0;
    std::sscanf(out.c_str() + at + 10, "%dx%d", &w, &h);
    return {w, h};
}

std::pair<int, int> ScreenSize() {
    int w = 0, h = 0;
    std::sscanf(Tool({"xdotool", "getdisplaygeometry"}).c_str(), "%d %d", &w, &h);
    return {w, h};
}

#define NEEDS_DISPLAY() \
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (scripts/test starts Xvfb)"

}  // namespace

TEST(InputWindow, WheelNotchesAndTypedTextReachAnInputHost) {
    NEEDS_DISPLAY();
    FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60, "title": "Wheel"})",
                            "pre_ready=EXTENSIONS|input");
    BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
    const std::string id = WaitForWindow(runtime);
    ASSERT_FALSE(id.empty()) << "the window did not appear";

    Tool({"xdotool", "mousemove", "--window", id, "50", "60"});
    Sleep(300);
    Tool({"xdotool", "click", "--repeat", "3", "--delay", "50", "4"});  // wheel up, 3 notches
    Tool({"xdotool", "click", "5"});                                    // wheel down, 1
    Tool({"xdotool", "click", "7"});                                    // wheel right, 1
    Tool({"xdotool", "type", "--delay", "120", "hé|\\"});
    Sleep(400);
    Tool({WM_CLOSE_EXE, id});
    const ProcessResult result = runtime.Wait(10);
    EXPECT_EQ(result.exitCode, 0) << result.err;

    const std::vector<HostFrame> frames = HostFrames(project.record);
    ASSERT_GE(frames.size(), 10u);
    ASSERT_EQ(frames.front().Lines("XTITLE"), std::vector<std::string>{"XTITLE|Wheel"});
    double wheelX = 0, wheelY = 0;
    std::string text;
    for (const HostFrame& frame : frames) {
        // The base line keeps its five fields whatever comes beside it.
        EXPECT_EQ(Split(frame.frame, '|').size(), 5u) << frame.frame;
        const auto input = frame.Input();
        ASSERT_EQ(input.size(), 8u) << "every frame carries one XINPUT line";
        wheelX += std::atof(input[1].c_str());
        wheelY += std::atof(input[2].c_str());
        EXPECT_EQ(input[4], "320");
        EXPECT_EQ(input[5], "240");
        EXPECT_EQ(input[6], "0") << "not fullscreen";
        text += input[7];
    }
    EXPECT_EQ(wheelY, 2.0);
    EXPECT_EQ(wheelX, 1.0);
    // The backslash travels escaped; "é" as its UTF-8 bytes.
    EXPECT_EQ(text, "h\xC3\xA9|\\\\");
}

TEST(InputWindow, ABaseHostSeesNoExtendedLinesAndKeepsF11) {
    NEEDS_DISPLAY();
    FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60})", "");
    BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
    const std::string id = WaitForWindow(runtime);
    ASSERT_FALSE(id.empty());
    Tool({"xdotool", "mousemove", "--window", id, "30", "30"});
    Sleep(300);
    Tool({"xdotool", "click", "4"});
    Tool({"xdotool", "type", "x"});
    Tool({"xdotool", "keydown", "F11"});
    Sleep(300);
    Tool({"xdotool", "keyup", "F11"});
    Tool({"xdotool", "key", "alt+Return"});
    Sleep(300);
    EXPECT_EQ(WindowSize(id), std::make_pair(320, 240)) << "no fullscreen toggle for a base host";
    Tool({WM_CLOSE_EXE, id});
    EXPECT_EQ(runtime.Wait(10).exitCode, 0);

    const std::string record = ReadFile(project.record);
    EXPECT_EQ(record.find("IN|X"), std::string::npos) << "a base host got an extended line";
    bool sawF11 = false;
    for (const HostFrame& frame : HostFrames(project.record)) {
        sawF11 = sawF11 || ("," + Split(frame.frame, '|').at(2) + ",").find(",122,") != std::string::npos;
    }
    EXPECT_TRUE(sawF11) << "F11 is a key like any other for a base host";
}

TEST(InputWindow, AltEnterAndF11ToggleDesktopFullscreenUntilTheGameTurnsThemOff) {
    NEEDS_DISPLAY();
    const auto [screenW, screenH] = ScreenSize();
    // Frame 1: nothing. The host switches the shortcut off at frame 150 and asks
    // for fullscreen itself at frame 200.
    FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60})",
                            "pre_ready=EXTENSIONS|input;reply_at_150=XFULLSCREEN_TOGGLE|0;reply_at_200=XFULLSCREEN|1");
    BackgroundProcess runtime({QUORVANE_EXE, "game", "--frames", "260"}, project.options);
    const std::string id = WaitForWindow(runtime);
    ASSERT_FALSE(id.empty());
    Tool({"xdotool", "mousemove", "--window", id, "30", "30"});
    Sleep(300);
    Tool({"xdotool", "key", "alt+Return"});
    Sleep(400);
    const auto fullscreenSize = WindowSize(id);
    Tool({"xdotool", "key", "F11"});
    Sleep(400);
    const auto windowedSize = WindowSize(id);
    const ProcessResult result = runtime.Wait(30);
    EXPECT_EQ(result.exitCode, 0) << result.err;

    EXPECT_EQ(fullscreenSize, std::make_pair(screenW, screenH)) << "Alt+Enter: the window covers the screen";
    EXPECT_EQ(windowedSize, std::make_pair(320, 240)) << "F11: back to the window";
    const std::vector<HostFrame> frames = HostFrames(project.record);
    ASSERT_EQ(frames.size(), 260u);
    bool reportedFullscreen = false;
    for (std::size_t i = 0; i < 150; ++i) {
        const auto input = frames[i].Input();
        ASSERT_EQ(input.size(), 8u);
        if (input[6] == "1") {
            reportedFullscreen = true;
            EXPECT_EQ(input[4], std::to_string(screenW));
            EXPECT_EQ(input[5], std::to_string(screenH));
        }
        EXPECT_EQ(("," + Split(frames[i].frame, '|').at(2) + ",").find(",122,"), std::string::npos)
            << "the shortcut is not passed to the game";
    }
    EXPECT_TRUE(reportedFullscreen) << "the host was told about fullscreen";
    // After XFULLSCREEN|1 (answered in frame 200) the window is fullscreen from frame 201 on.
    const auto late = frames.back().Input();
    EXPECT_EQ(late.at(6), "1");
    EXPECT_EQ(late.at(4), std::to_string(screenW));
}

namespace {

// The test scene in logical pixels: a red left half, a green square, the background elsewhere.
constexpr unsigned kBackground = 0x203040, kRed = 0xFF0000, kGreen = 0x00FF00, kBar = 0x000000;
unsigned SceneAt(int x, int y) {
    if (x < 0 || y < 0 || x >= 320 || y >= 240) return kBar;
    if (x < 160) return kRed;
    if (x >= 200 && x < 280 && y >= 40 && y < 120) return kGreen;
    return kBackground;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    unsigned At(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return (unsigned{rgb[i]} << 16) | (unsigned{rgb[i + 1]} << 8) | rgb[i + 2];
    }
};

Picture ReadPpm(const std::filesystem::path& path) {
    Picture picture;
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    file >> magic >> picture.width >> picture.height >> maxValue;
    file.get();
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    file.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    if (magic != "P6" || !file) return {};
    return picture;
}

struct Layout {
    int windowW, windowH;
    int x, y, w, h;  // where the 320x240 picture must land
};

struct ScaleCase {
    const char* mode;
    std::vector<Layout> layouts;
};
void PrintTo(const ScaleCase& c, std::ostream* out) { *out << c.mode; }

}  // namespace

class ScaleModes : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleModes, ThePictureFollowsTheWindowAndClicksLandOnLogicalPixels) {
    NEEDS_DISPLAY();
    const ScaleCase& param = GetParam();
    const std::string json = std::string(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60, )") +
                             R"("backgroundColor": "#203040", "scaleMode": ")" + param.mode + R"("})";
    FakeHostProject project(json,
                            "pre_ready=EXTENSIONS|draw,input;frame_reply="
                            "XRECT|0|1|0|0|160|240|255|0|0|255~XRECT|0|1|200|40|80|80|0|255|0|255");
    BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
    const std::string id = WaitForWindow(runtime);
    ASSERT_FALSE(id.empty());

    // XGetImage needs the whole window on the screen.
    Tool({"xdotool", "windowmove", id, "0", "0"});
    for (const Layout& layout : param.layouts) {
        SCOPED_TRACE(std::string(param.mode) + " " + std::to_string(layout.windowW) + "x" + std::to_string(layout.windowH));
        const auto wanted = std::make_pair(layout.windowW, layout.windowH);
        for (int attempt = 0; attempt < 5 && WindowSize(id) != wanted; ++attempt) {
            Tool({"xdotool", "windowsize", id, std::to_string(layout.windowW), std::to_string(layout.windowH)});
            Sleep(600);
        }
        ASSERT_EQ(WindowSize(id), wanted) << "the window could not be resized";
        const std::filesystem::path shot = project.cwd.Path() / "shot.ppm";
        std::filesystem::remove(shot);
        Tool({X_GRAB_EXE, id, shot.string()});
        const Picture picture = ReadPpm(shot);
        ASSERT_EQ(picture.width, layout.windowW);
        ASSERT_EQ(picture.height, layout.windowH);

        // Every window pixel shows the logical pixel under it (nearest texel);
        // pixels on a colour edge may round either way and are skipped.
        const auto logicalOf = [&](int wx, int wy) {
            if (std::string(param.mode) == "none") return std::make_pair(wx, wy);
            const int lx = static_cast<int>(std::floor((wx - layout.x + 0.5) * 320.0 / layout.w));
            const int ly = static_cast<int>(std::floor((wy - layout.y + 0.5) * 240.0 / layout.h));
            return std::make_pair(lx, ly);
        };
        const auto expected = [&](int wx, int wy) {
            const auto [lx, ly] = logicalOf(wx, wy);
            if (std::string(param.mode) == "none") return lx < layout.windowW && ly < layout.windowH ? (SceneAt(lx, ly) == kBar ? kBackground : SceneAt(lx, ly)) : kBar;
            const bool inside = wx >= layout.x && wx < layout.x + layout.w && wy >= layout.y && wy < layout.y + layout.h;
            return inside ? SceneAt(lx, ly) : kBar;
        };
        int checked = 0, wrong = 0;
        for (int wy = 1; wy + 1 < layout.windowH; wy += 3) {
            for (int wx = 1; wx + 1 < layout.windowW; wx += 3) {
                const unsigned want = expected(wx, wy);
                if (want != expected(wx - 1, wy) || want != expected(wx + 1, wy) || want != expected(wx, wy - 1) ||
                    want != expected(wx, wy + 1)) {
                    continue;
                }
                ++checked;
                if (picture.At(wx, wy) != want && ++wrong <= 5) {
                    ADD_FAILURE() << "window pixel " << wx << "," << wy << " is " << std::hex << picture.At(wx, wy)
                                  << ", expected " << want;
                }
            }
        }
        EXPECT_GT(checked, 1000);
        EXPECT_EQ(wrong, 0);

        // A click in the middle of the green square's on-screen place.
        const int clickX = layout.x + layout.w * 240 / 320 + 1;
        const int clickY = layout.y + layout.h * 80 / 240 + 1;
        const auto [wantX, wantY] = logicalOf(clickX, clickY);
        Tool({"xdotool", "mousemove", "--window", id, std::to_string(clickX), std::to_string(clickY)});
        Sleep(200);
        Tool({"xdotool", "mousedown", "1"});
        Sleep(250);
        Tool({"xdotool", "mouseup", "1"});
        Sleep(100);
        bool landed = false;
        for (const HostFrame& frame : HostFrames(project.record)) {
            const auto fields = Split(frame.frame, '|');
            landed = landed || (fields.at(3) == std::to_string(wantX) + "," + std::to_string(wantY) && fields.at(4) == "0");
        }
        EXPECT_TRUE(landed) << "no frame with the left button down at logical " << wantX << "," << wantY;
    }
    Tool({WM_CLOSE_EXE, id});
    EXPECT_EQ(runtime.Wait(10).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    InputWindow, ScaleModes,
    ::testing::Values(
        ScaleCase{"letterbox", {{640, 360, 80, 0, 480, 360}, {700, 500, 16, 0, 667, 500}, {320, 480, 0, 120, 320, 240}}},
        ScaleCase{"integer", {{640, 360, 160, 60, 320, 240}, {700, 500, 30, 10, 640, 480}, {1000, 800, 20, 40, 960, 720}}},
        ScaleCase{"stretch", {{640, 360, 0, 0, 640, 360}, {400, 500, 0, 0, 400, 500}}},
        ScaleCase{"none", {{640, 360, 0, 0, 320, 240}, {200, 150, 0, 0, 320, 240}}}),
    [](const ::testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.mode); });

TEST(InputWindow, VirtualGamepadsConnectAndDisconnectTheFrameTheyHappen) {
    NEEDS_DISPLAY();
    FakeHostProject project(R"({"mainClass": "M", "width": 160, "height": 120, "targetFps": 60})",
                            "pre_ready=EXTENSIONS|input");
    project.options.env["QUORVANE_TEST_VIRTUAL_GAMEPADS"] =
        "5 connect; 10 press 0 A; 10 press 0 DPadLeft; 10 axis 0 leftx 1; 12 axis 0 leftx 0.2; 12 axis 0 lefty -0.1;"
        "14 axis 0 righttrigger 1; 14 axis 0 rightx -0.6; 20 release 0 A; 25 disconnect 0; 30 connect; 30 connect;"
        "35 disconnect 1";
    BackgroundProcess runtime({QUORVANE_EXE, "game", "--frames", "40"}, project.options);
    const ProcessResult result = runtime.Wait(30);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<HostFrame> frames = HostFrames(project.record);
    ASSERT_EQ(frames.size(), 40u);
    const auto pads = [&](int frame) { return frames.at(static_cast<std::size_t>(frame - 1)).Lines("XPAD"); };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(pads(4), Lines{});
    EXPECT_EQ(pads(5), Lines{"XPAD|0|0|0|0|0|0|0|0"});
    // A is bit 0, DPadLeft bit 13; full right deflection reads 1.
    EXPECT_EQ(pads(10), Lines{"XPAD|0|8193|1|0|0|0|0|0"});
    EXPECT_EQ(pads(12), Lines{"XPAD|0|8193|0|0|0|0|0|0"}) << "(0.2, -0.1) lies inside the dead zone";
    const auto fields = Split(pads(14).at(0), '|');
    EXPECT_EQ(fields.at(8), "1") << "right trigger fully pulled";
    EXPECT_NEAR(std::atof(fields.at(5).c_str()), -(0.6 - 0.24) / (1 - 0.24), 0.01) << "rescaled out of the dead zone";
    EXPECT_EQ(Split(pads(20).at(0), '|').at(2), "8192");
    EXPECT_EQ(pads(24).size(), 1u);
    EXPECT_EQ(pads(25), Lines{}) << "gone the frame it was unplugged";
    ASSERT_EQ(pads(30).size(), 2u) << "two pads plugged in one frame";
    EXPECT_EQ(pads(30)[0].rfind("XPAD|0|", 0), 0u);
    EXPECT_EQ(pads(30)[1].rfind("XPAD|1|", 0), 0u);
    ASSERT_EQ(pads(35).size(), 1u);
    EXPECT_EQ(pads(35)[0].rfind("XPAD|1|", 0), 0u) << "the other pad keeps its slot";
}

TEST(InputWindow, FocusLossReleasesHeldKeysAndTellsTheHost) {
    NEEDS_DISPLAY();
    FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60})",
                            "pre_ready=EXTENSIONS|input");
    BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
    const std::string id = WaitForWindow(runtime);
    ASSERT_FALSE(id.empty());
    std::string root = Tool({"xdotool", "search", "--maxdepth", "0", "--name", ""});
    if (root.empty()) root = "0";
    Tool({"xdotool", "windowfocus", id});
    Sleep(300);
    Tool({"xdotool", "keydown", "a"});
    Sleep(300);
    // The key comes up while another window has the keyboard: we never hear of it.
    // The pointer leaves too, or a focused root would pass the keys on to the window under it.
    Tool({"xdotool", "mousemove", "0", "0"});
    Tool({"xdotool", "windowfocus", Split(root, '\n').front()});
    Sleep(400);
    Tool({"xdotool", "keyup", "a"});
    Sleep(100);
    Tool({"xdotool", "windowfocus", id});
    Sleep(400);
    Tool({WM_CLOSE_EXE, id});
    EXPECT_EQ(runtime.Wait(10).exitCode, 0);

    // Phases of the focus field: focused, unfocused, focused again.
    std::vector<std::string> phases;
    bool heldWhileUnfocused = false, heldBefore = false;
    for (const HostFrame& frame : HostFrames(project.record)) {
        const auto input = frame.Input();
        ASSERT_EQ(input.size(), 8u);
        if (phases.empty() || phases.back() != input[3]) phases.push_back(input[3]);
        const bool held = ("," + Split(frame.frame, '|').at(2) + ",").find(",65,") != std::string::npos;
        if (input[3] == "1" && phases.size() == 1) heldBefore = heldBefore || held;
        if (input[3] == "0") heldWhileUnfocused = heldWhileUnfocused || held;
    }
    EXPECT_EQ(phases, (std::vector<std::string>{"1", "0", "1"}));
    EXPECT_TRUE(heldBefore) << "the key was held while focused";
    EXPECT_FALSE(heldWhileUnfocused) << "the key was released with the focus";
}

TEST(InputWindow, BasicGameStartsAndPausesFromAGamepadAndPausesOnFocusLoss) {
    NEEDS_DISPLAY();
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = std::nullopt;
    // Start on the title screen starts the game, Start again pauses, B resumes.
    options.env["QUORVANE_TEST_VIRTUAL_GAMEPADS"] =
        "20 connect; 40 press 0 Start; 45 release 0 Start; 80 press 0 Start; 85 release 0 Start; 120 press 0 B;"
        "125 release 0 B; 130 axis 0 leftx 1";
    BackgroundProcess game({QUORVANE_EXE}, options);
    const std::string id = WaitForWindow(game);
    ASSERT_FALSE(id.empty());
    Tool({"xdotool", "windowfocus", id});
    Sleep(8000);  // well past frame 130 at 120 frames a second, even on a loaded machine
    std::string root = Tool({"xdotool", "search", "--maxdepth", "0", "--name", ""});
    Tool({"xdotool", "windowfocus", root.empty() ? "0" : Split(root, '\n').front()});
    Sleep(1500);
    Tool({WM_CLOSE_EXE, id});
    const ProcessResult result = game.Wait(20);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string& out = result.out;
    const auto started = out.find("[Info] Game started.");
    const auto paused = out.find("[Info] Paused.\n");
    const auto focusPause = out.find("[Info] Paused: the window lost the focus.");
    ASSERT_NE(started, std::string::npos) << out;
    ASSERT_NE(paused, std::string::npos) << out;
    ASSERT_NE(focusPause, std::string::npos) << out;
    EXPECT_LT(started, paused);
    EXPECT_LT(paused, focusPause);
}

TEST(InputWindow, ProjectKeysFixTheSizeOrStartFullscreen) {
    NEEDS_DISPLAY();
    {
        FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "resizable": false})", "");
        BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
        const std::string id = WaitForWindow(runtime);
        ASSERT_FALSE(id.empty());
        Sleep(300);
        // What a window manager obeys: the minimum and the maximum size are the size.
        const std::string hints = Tool({"xprop", "-id", id, "WM_NORMAL_HINTS"});
        EXPECT_NE(hints.find("minimum size: 320 by 240"), std::string::npos) << hints;
        EXPECT_NE(hints.find("maximum size: 320 by 240"), std::string::npos) << hints;
        Tool({WM_CLOSE_EXE, id});
        EXPECT_EQ(runtime.Wait(10).exitCode, 0);
    }
    {
        FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "fullscreen": true})",
                                "pre_ready=EXTENSIONS|input");
        BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
        const std::string id = WaitForWindow(runtime);
        ASSERT_FALSE(id.empty());
        Sleep(500);
        EXPECT_EQ(WindowSize(id), ScreenSize());
        Tool({WM_CLOSE_EXE, id});
        EXPECT_EQ(runtime.Wait(10).exitCode, 0);
        const auto frames = HostFrames(project.record);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back().Input().at(6), "1");
    }
}

// F3 under a real window: the panel appears on screen over a letterboxed frame and
// goes again on the next press; a host that speaks "input" never gets the key, a
// base host gets it as any other key.
TEST(InputWindow, F3TogglesTheDiagnosticsOverlayOnScreen) {
    NEEDS_DISPLAY();
    for (const bool inputHost : {true, false}) {
        SCOPED_TRACE(inputHost ? "input host" : "base host");
        FakeHostProject project(R"({"mainClass": "M", "width": 320, "height": 240, "targetFps": 60, )"
                                R"("backgroundColor": "#c82828", "scaleMode": "letterbox"})",
                                inputHost ? "pre_ready=EXTENSIONS|input" : "");
        BackgroundProcess runtime({QUORVANE_EXE, "game"}, project.options);
        const std::string id = WaitForWindow(runtime);
        ASSERT_FALSE(id.empty());
        Tool({"xdotool", "windowmove", id, "0", "0"});
        for (int attempt = 0; attempt < 5 && WindowSize(id) != std::make_pair(640, 480); ++attempt) {
            Tool({"xdotool", "windowsize", id, "640", "480"});
            Sleep(600);
        }
        ASSERT_EQ(WindowSize(id), std::make_pair(640, 480));
        Tool({"xdotool", "mousemove", "--window", id, "600", "400"});
        const std::filesystem::path shot = project.cwd.Path() / "shot.ppm";
        // The left padding of the panel (frame pixel 10, 60) at twice the size.
        const auto grab = [&] {
            std::filesystem::remove(shot);
            Tool({X_GRAB_EXE, id, shot.string()});
            const Picture picture = ReadPpm(shot);
            EXPECT_EQ(picture.width, 640);
            return picture.width == 640 ? std::make_pair(picture.At(20, 120), picture.At(600, 440))
                                        : std::make_pair(0u, 0u);
        };
        Sleep(300);
        EXPECT_EQ(grab().first, 0xC82828u) << "off at start";
        Tool({"xdotool", "key", "F3"});
        Sleep(500);
        const auto [panel, corner] = grab();
        EXPECT_NEAR(static_cast<int>(panel >> 16), 200 * 85 / 255, 4) << std::hex << panel;
        EXPECT_EQ(corner, 0xC82828u);
        Tool({"xdotool", "key", "F3"});
        Sleep(500);
        EXPECT_EQ(grab().first, 0xC82828u) << "hidden by the second press";
        Tool({WM_CLOSE_EXE, id});
        EXPECT_EQ(runtime.Wait(10).exitCode, 0);

        int framesWithF3 = 0;
        for (const HostFrame& frame : HostFrames(project.record)) {
            framesWithF3 += ("," + Split(frame.frame, '|').at(2) + ",").find(",114,") != std::string::npos;
        }
        if (inputHost) {
            EXPECT_EQ(framesWithF3, 0) << "the overlay key is the runtime's";
        } else {
            EXPECT_GT(framesWithF3, 0) << "a base host sees every key";
        }
    }
}
