#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/DiagnosticsOverlay.h"
#include "app/ErrorScreen.h"
#include "app/Log.h"
#include "platform/InputState.h"
#include "render/Renderer.h"
#include "scripting/FrameSnapshot.h"

using namespace Quorvane;

namespace {

constexpr Color kBackground{200, 40, 40};

struct Frame {
    explicit Frame(int width = 480, int height = 270) {
        window = CreateHeadlessWindow();
        window->Create(width, height, "overlay");
        renderer.Initialize(*window, CreateSoftwareCanvas());
        renderer.BeginFrame(kBackground);
    }
    std::uint32_t At(int x, int y) const {
        const PixelView view = renderer.Pixels();
        return view.pixels[y * view.stride + x] & 0xFFFFFFu;
    }
    std::vector<std::uint32_t> Copy() const {
        const PixelView view = renderer.Pixels();
        std::vector<std::uint32_t> out;
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x) out.push_back(At(x, y));
        return out;
    }
    std::unique_ptr<Window> window;
    Renderer renderer;
};

int Red(std::uint32_t pixel) { return static_cast<int>((pixel >> 16) & 0xFF); }

// Frames whose figures are known: periods 16 and 20 ms (median 16, p95 20),
// host 2 ms and render 1 ms each.
FrameStats KnownStats() {
    FrameStats stats;
    stats.Record({-1.0, 2.0, 1.0, -1});
    stats.Record({16.0, 2.0, 1.0, -1});
    stats.Record({20.0, 2.0, 1.0, -1});
    return stats;
}

std::vector<std::string> Lines(const DiagnosticsOverlay& overlay) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < overlay.LineCount(); ++i) out.emplace_back(overlay.Line(i));
    return out;
}

void LogProblems() {
    ClearRecentProblems();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    LogWarn("Texture not found: assets/missing.png");
    LogError("The game failed in Update\nat MainGame.Update()");
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(DiagnosticsOverlay, OffByDefaultAndDrawsNothingThen) {
    DiagnosticsOverlay overlay;
    EXPECT_FALSE(overlay.Shown());
    EXPECT_EQ(overlay.Key(), DiagnosticsOverlay::kDefaultKey);
    EXPECT_EQ(ProjectConfig{}.overlayKey, DiagnosticsOverlay::kDefaultKey);
    Frame frame;
    const auto before = frame.Copy();
    overlay.Draw(frame.renderer, KnownStats(), DrawCounts{1, 2, 3, 4});
    EXPECT_EQ(frame.Copy(), before);
}

TEST(DiagnosticsOverlay, ShowsTheFiguresTheCountsAndTheLastProblems) {
    LogProblems();
    DiagnosticsOverlay overlay;
    overlay.SetShown(true);
    Frame frame;
    overlay.Draw(frame.renderer, KnownStats(), DrawCounts{3, 5, 2, 1});
    const std::vector<std::string> expected = {
        "Diagnostics (F3)",
        "frame 20.00 ms   median 16.00   p95 20.00",
        "host 2.00 ms   median 2.00",
        "render 1.00 ms   median 1.00",
        "draws 3 rects, 5 sprites, 2 texts, 1 debug rects",
        "warn: Texture not found: assets/missing.png",
        "error: The game failed in Update",  // the first line of a long message
    };
    EXPECT_EQ(Lines(overlay), expected);

    // The same text drawn by hand where the panel puts it: the pixels match.
    Frame reference;
    float width = 0.0f;
    for (const std::string& line : expected) {
        width = std::max(width, reference.renderer.MeasureScreenText(line, DiagnosticsOverlay::kTextSize).width);
    }
    const float margin = DiagnosticsOverlay::kMargin, padding = DiagnosticsOverlay::kPadding;
    const float height = static_cast<float>(expected.size()) * DiagnosticsOverlay::kLineStep + 2 * padding;
    reference.renderer.FillScreenRect(margin, margin, width + 2 * padding, height, DiagnosticsOverlay::kPanel);
    const ColorA colours[] = {{150, 220, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255},
                              {255, 255, 255, 255}, {255, 210, 90, 255},  {255, 120, 120, 255}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        reference.renderer.DrawScreenText(expected[i], margin + padding,
                                          margin + padding + static_cast<float>(i) * DiagnosticsOverlay::kLineStep,
                                          DiagnosticsOverlay::kTextSize, colours[i]);
    }
    EXPECT_EQ(frame.Copy(), reference.Copy());

    // Semi-transparent: the frame shows through the panel; outside it, untouched.
    const int panelBottom = static_cast<int>(margin + height) - 2;
    EXPECT_NEAR(Red(frame.At(10, panelBottom)), 200 * 85 / 255, 2);
    EXPECT_EQ(frame.At(470, 260), 0xC82828u);
    int textPixels = 0;
    for (int x = 14; x < 200; ++x) textPixels += Red(frame.At(x, 20)) > 120;
    EXPECT_GT(textPixels, 10);
    ClearRecentProblems();
}

TEST(DiagnosticsOverlay, BeforeAnyFrameAndWithHostAllocations) {
    ClearRecentProblems();
    DiagnosticsOverlay overlay;
    overlay.SetKey(0x74);
    overlay.Compose({}, {}, {});
    EXPECT_EQ(Lines(overlay)[0], "Diagnostics (F5)");
    EXPECT_EQ(Lines(overlay)[1], "frame 0.00 ms   median -   p95 -");
    overlay.Compose({-1.0, 0.5, 0.25, 4096}, {}, {});
    EXPECT_EQ(Lines(overlay)[1], "frame - ms   median -   p95 -");
    EXPECT_EQ(Lines(overlay).back(), "host allocated 4096 bytes");
    overlay.SetKey(std::nullopt);
    overlay.Compose({}, {}, {});
    EXPECT_EQ(Lines(overlay)[0], "Diagnostics (no key)");
}

TEST(DiagnosticsOverlay, OverTheErrorScreenAndInsideAScaledFrame) {
    ClearRecentProblems();
    DiagnosticsOverlay overlay;
    overlay.SetShown(true);
    {
        Frame frame;
        DrawErrorScreen(frame.renderer, ErrorScreen{"The game failed in Update", {"boom"}});
        const std::uint32_t band = frame.At(12, 12);
        overlay.Draw(frame.renderer, KnownStats(), {});
        EXPECT_NE(frame.At(12, 12), band);  // the panel darkens the error screen's band
    }
    {
        // Under a scale mode the frame keeps its own size; the panel stays inside it.
        Frame frame(1280, 720);
        frame.renderer.SetFrameSize(ClientSize{160, 90});
        frame.renderer.BeginFrame(kBackground);
        overlay.Draw(frame.renderer, KnownStats(), {});
        const PixelView view = frame.renderer.Pixels();
        ASSERT_EQ(view.width, 160);
        EXPECT_EQ(frame.At(159, 45), 0xC82828u);  // the margin on the right is kept
        EXPECT_NE(frame.At(150, 12), 0xC82828u);  // the panel reaches it
    }
}

TEST(DiagnosticsOverlay, TheKeyTogglesOnEachPress) {
    DiagnosticsOverlay overlay;
    InputState input;
    const auto frame = [&] {
        overlay.Update(input);
        input.EndFrame();
        return overlay.Shown();
    };
    EXPECT_FALSE(frame());
    input.SetKey(0x73, true);  // F4 is not the key
    EXPECT_FALSE(frame());
    input.SetKey(0x73, false);
    input.SetKey(0x72, true);
    EXPECT_TRUE(frame());
    EXPECT_TRUE(frame());  // held: no second toggle
    input.SetKey(0x72, false);
    EXPECT_TRUE(frame());
    // A tap within one frame counts.
    input.SetKey(0x72, true);
    input.SetKey(0x72, false);
    EXPECT_FALSE(frame());
    EXPECT_FALSE(frame());

    overlay.SetKey(std::nullopt);
    input.SetKey(0x72, true);
    EXPECT_FALSE(frame());
}

TEST(DiagnosticsOverlay, AHiddenKeyIsReadButNotListedToTheHost) {
    InputState input;
    input.SetKey(0x41, true);
    input.SetKey(0x72, true);
    EXPECT_EQ(input.FormatPressedKeys(), "65,114");  // a base host sees every key
    input.HideKey(0x72u);
    EXPECT_EQ(input.FormatPressedKeys(), "65");
    EXPECT_TRUE(input.IsKeyDown(0x72));
    DiagnosticsOverlay overlay;
    overlay.Update(input);
    EXPECT_TRUE(overlay.Shown());
}

TEST(DiagnosticsOverlay, KeyNames) {
    struct Case {
        const char* text;
        bool known;
        std::optional<std::uint32_t> key;
    };
    const Case cases[] = {
        {"F3", true, 0x72},   {"f12", true, 0x7B},     {"F24", true, 0x87}, {"114", true, 114},
        {"none", true, {}},   {"NONE", true, {}},      {"", true, {}},      {"F0", false, 1},
        {"F25", false, 1},    {"0", false, 1},         {"256", false, 1},   {"F3 ", false, 1},
        {"Escape", false, 1}, {"F", false, 1},         {"-5", false, 1},
    };
    for (const Case& c : cases) {
        std::optional<std::uint32_t> key = 1u;  // what an unknown text leaves as it was
        EXPECT_EQ(ParseOverlayKey(c.text, key), c.known) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
    }
    char name[16];
    OverlayKeyName(0x72, name);
    EXPECT_STREQ(name, "F3");
    OverlayKeyName(27, name);
    EXPECT_STREQ(name, "key 27");
}

TEST(RecentProblems, KeepsTheLastFewCutToAFixedLength) {
    ClearRecentProblems();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    LogInfo("not kept");
    for (int i = 0; i < 6; ++i) LogWarn("warning " + std::to_string(i));
    LogError(std::string(300, 'x'));
    LogWarn(std::string(RecentLogLine::kMaxBytes - 1, 'a') + "\xC3\xA9");  // é across the limit
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    RecentLogLine lines[kRecentLogLines];
    ASSERT_EQ(CopyRecentProblems(lines), kRecentLogLines);
    EXPECT_EQ(std::string(lines[0].text, lines[0].length), "warning 4");
    EXPECT_EQ(std::string(lines[1].text, lines[1].length), "warning 5");
    EXPECT_TRUE(lines[2].error);
    EXPECT_EQ(lines[2].length, RecentLogLine::kMaxBytes);
    EXPECT_EQ(lines[3].length, RecentLogLine::kMaxBytes - 1);  // the cut does not split the character
    EXPECT_EQ(RecentProblemsVersion(), 8u);
    ClearRecentProblems();
    EXPECT_EQ(CopyRecentProblems(lines), 0u);
}
