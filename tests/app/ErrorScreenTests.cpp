#include <gtest/gtest.h>

#include "app/ErrorScreen.h"
#include "render/Canvas.h"

using namespace Quorvane;

namespace {

// Rows of the picture that hold text colour (anything lighter than the background).
int TextRows(const Renderer& renderer, int fromY, int toY) {
    const PixelView view = renderer.Pixels();
    int rows = 0;
    for (int y = fromY; y < toY && y < view.height; ++y) {
        bool text = false;
        for (int x = 0; x < view.width && !text; ++x) text = ((view.pixels[y * view.stride + x] >> 16) & 0xFF) > 0x90;
        rows += text;
    }
    return rows;
}

}  // namespace

// Long lines (paths without blanks, UTF-8, line breaks) are wrapped to the
// window, and text never runs past the bottom into the hint's line.
TEST(ErrorScreen, WrapsLongLinesAndStaysInTheWindow) {
    struct Case {
        const char* name;
        int width;
        int height;
        std::vector<std::string> lines;
    };
    const std::string longPath = "/" + std::string(400, 'a') + "/Game.cs:line 12";
    std::string accents;
    for (int i = 0; i < 120; ++i) accents += "\xC3\xA9";  // é, two bytes each
    const Case cases[] = {
        {"long path", 320, 240, {longPath}},
        {"utf-8", 320, 240, {accents}},
        {"many lines", 320, 240, std::vector<std::string>(40, "a line of the report")},
        {"breaks", 320, 240, {"first\nsecond\n\nfourth"}},
        {"tiny window", 20, 20, {longPath}},
    };
    for (const Case& c : cases) {
        auto window = CreateHeadlessWindow();
        ASSERT_TRUE(window->Create(c.width, c.height, "test"));
        Renderer renderer;
        ASSERT_TRUE(renderer.Initialize(*window, CreateSoftwareCanvas()));
        DrawErrorScreen(renderer, ErrorScreen{"Title", c.lines});
        EXPECT_EQ(renderer.Pixels().width, c.width) << c.name;
        if (c.height < 100) continue;
        // The body below the title band holds text, and none of it reaches the
        // gap above the hint at the bottom.
        EXPECT_GT(TextRows(renderer, 110, c.height - 60), 5) << c.name;
        EXPECT_EQ(TextRows(renderer, c.height - 53, c.height - 50), 0) << c.name;
    }
}
