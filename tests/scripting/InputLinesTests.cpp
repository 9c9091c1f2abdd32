#include <gtest/gtest.h>

#include <cmath>

#include "platform/InputState.h"
#include "platform/Presentation.h"
#include "scripting/InputLines.h"
#include "scripting/WireProtocol.h"

using namespace Quorvane;

namespace {

std::string Handle(ProtocolState& state, const std::vector<std::string>& lines) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const std::string& line : lines) HandleLine(state, line);
    return testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(InputLines, ComposeCarriesWheelTextWindowAndConnectedPads) {
    InputState input;
    input.AddWheel(1.0f, 2.0f);
    input.AddWheel(0.5f, -1.0f);
    input.AddText("a|\\\n\xC3\xA9");
    input.AddText(std::string("\x01\x7F\t", 3));
    GamepadState& pad = input.Gamepad(2);
    pad.connected = true;
    pad.SetButton(GamepadButton::A, true);
    pad.SetButton(GamepadButton::DPadRight, true);
    pad.leftX = -0.5f;
    pad.rightTrigger = 1.0f;
    const std::string lines = ComposeInputLines(input, WindowStatus{640, 360, true, false});
    EXPECT_EQ(lines,
              "XINPUT|1.5|1|0|640|360|1|a|\\\\\\n\xC3\xA9\\t\n"
              "XPAD|2|16385|-0.5|0|0|0|0|1\n");
    input.ClearFrameEvents();
    EXPECT_EQ(ComposeInputLines(input, WindowStatus{1, 2, false, true}).substr(0, 22), "XINPUT|0|0|1|1|2|0|\nXP");
}

TEST(InputLines, TypedTextIsCappedOnACharacterBoundary) {
    InputState input;
    input.AddText(std::string(InputState::kMaxTextBytes - 1, 'x'));
    input.AddText("\xC3\xA9");  // two bytes do not fit in the one left
    EXPECT_EQ(input.Text().size(), InputState::kMaxTextBytes - 1);
    input.AddText("y");
    EXPECT_EQ(input.Text().size(), InputState::kMaxTextBytes);
}

TEST(InputLines, FocusLossReleasesKeysAndButtons) {
    InputState input;
    input.SetKey(65, true);
    input.SetMouseButton(0, true);
    input.ReleaseAll();
    EXPECT_EQ(input.FormatPressedKeys(), "");
    EXPECT_EQ(input.FormatPressedButtons(), "");
}

TEST(InputLines, DeadZones) {
    float x = 0, y = 0;
    ApplyStickDeadZone(0.2f, -0.1f, x, y);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    ApplyStickDeadZone(1.0f, 0.0f, x, y);
    EXPECT_FLOAT_EQ(x, 1.0f);
    ApplyStickDeadZone(-0.62f, 0.0f, x, y);
    EXPECT_NEAR(x, -0.5f, 1e-5f);
    ApplyStickDeadZone(1.0f, 1.0f, x, y);  // a square gate's corner stays inside -1..1
    EXPECT_NEAR(x, 0.70710678f, 1e-5f);
    ApplyStickDeadZone(std::nanf(""), 0.5f, x, y);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(ApplyTriggerDeadZone(0.1f), 0.0f);
    EXPECT_FLOAT_EQ(ApplyTriggerDeadZone(1.0f), 1.0f);
    EXPECT_NEAR(ApplyTriggerDeadZone(0.56f), 0.5f, 1e-5f);
}

TEST(InputLines, WindowRequestsNeedTheExtensionAndWellFormedValues) {
    ProtocolState base;
    const std::string baseLog = Handle(base, {"XFULLSCREEN|1", "XTITLE|x"});
    EXPECT_FALSE(base.snapshot.window.fullscreen.has_value());
    EXPECT_NE(baseLog.find("[ScriptHost] XFULLSCREEN|1"), std::string::npos) << "unknown line for a base host";

    ProtocolState state;
    Handle(state, {"EXTENSIONS|input"});
    const std::string log = Handle(state, {"XTITLE|Score: 10 | \\\\ \\n\xC3\xA9", "XFULLSCREEN|1", "XCURSOR|0",
                                           "XFULLSCREEN_TOGGLE|0", "XFULLSCREEN|yes", "XCURSOR|1|2", "XCURSOR|2"});
    EXPECT_EQ(state.snapshot.window.title, std::optional<std::string>("Score: 10 | \\  \xC3\xA9"));
    EXPECT_EQ(state.snapshot.window.fullscreen, std::optional<bool>(true));
    EXPECT_EQ(state.snapshot.window.cursorVisible, std::optional<bool>(false));
    EXPECT_EQ(state.snapshot.window.fullscreenToggle, std::optional<bool>(false));
    EXPECT_NE(log.find("Dropped a malformed XFULLSCREEN line: the value must be 0 or 1"), std::string::npos);
    EXPECT_NE(log.find("Dropped a malformed XCURSOR line: expected 2 fields, got 3"), std::string::npos);
    // XCURSOR|2 is the same kind of fault as XFULLSCREEN|yes for its own tag, so it is reported once too.
    EXPECT_NE(log.find("Dropped a malformed XCURSOR line: the value must be 0 or 1"), std::string::npos);
    const std::string again = Handle(state, {"XFULLSCREEN|yes", "XCURSOR|2"});
    EXPECT_EQ(again.find("Dropped"), std::string::npos) << "the same fault is reported once";
    state.snapshot.ClearLists();
    EXPECT_FALSE(state.snapshot.window.title.has_value()) << "requests hold for one frame";
}

struct LayoutCase {
    ScaleMode mode;
    int windowW, windowH;
    PresentRect expected;
};

TEST(Presentation, LayoutsForEachMode) {
    const LayoutCase cases[] = {
        {ScaleMode::None, 640, 480, {0, 0, 320, 240}},
        {ScaleMode::Stretch, 641, 333, {0, 0, 641, 333}},
        {ScaleMode::Letterbox, 640, 480, {0, 0, 640, 480}},
        {ScaleMode::Letterbox, 640, 360, {80, 0, 480, 360}},
        {ScaleMode::Letterbox, 320, 480, {0, 120, 320, 240}},
        {ScaleMode::Letterbox, 160, 100, {13, 0, 133, 100}},
        {ScaleMode::Integer, 640, 360, {160, 60, 320, 240}},
        {ScaleMode::Integer, 1000, 800, {20, 40, 960, 720}},
        {ScaleMode::Integer, 200, 100, {-60, -70, 320, 240}},  // smaller than 1x: centred, cropped
        {ScaleMode::Letterbox, 0, 0, {0, 0, 0, 0}},
    };
    for (const LayoutCase& c : cases) {
        const PresentRect rect = ComputePresentRect(c.mode, 320, 240, c.windowW, c.windowH);
        SCOPED_TRACE(std::to_string(static_cast<int>(c.mode)) + " " + std::to_string(c.windowW) + "x" + std::to_string(c.windowH));
        EXPECT_EQ(rect.x, c.expected.x);
        EXPECT_EQ(rect.y, c.expected.y);
        EXPECT_EQ(rect.width, c.expected.width);
        EXPECT_EQ(rect.height, c.expected.height);
    }
}

TEST(Presentation, WindowPixelsMapToTheLogicalPixelTheyShow) {
    const PresentRect rect = ComputePresentRect(ScaleMode::Letterbox, 320, 240, 640, 360);  // 1.5x at 80,0
    int x = 0, y = 0;
    WindowToLogical(rect, 320, 240, 80, 0, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
    WindowToLogical(rect, 320, 240, 559, 359, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(319, 239));
    WindowToLogical(rect, 320, 240, 10, 10, x, y);  // on the bar left of the picture
    EXPECT_LT(x, 0);
    WindowToLogical(rect, 320, 240, 600, 10, x, y);
    EXPECT_GE(x, 320);
}

TEST(Presentation, ScaleModeNames) {
    EXPECT_EQ(ParseScaleMode("letterbox"), ScaleMode::Letterbox);
    EXPECT_EQ(ParseScaleMode("integer"), ScaleMode::Integer);
    EXPECT_EQ(ParseScaleMode("stretch"), ScaleMode::Stretch);
    EXPECT_EQ(ParseScaleMode("none"), ScaleMode::None);
    EXPECT_EQ(ParseScaleMode("Letterbox"), std::nullopt);
    EXPECT_EQ(ParseScaleMode(""), std::nullopt);
}
