#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "render/Renderer.h"
#include "render/software/SoftwareCanvas.h"
#include "render/text/Font.h"
#include "scripting/WireProtocol.h"
#include "support/ImageFile.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::TempDir;

namespace {

constexpr std::uint32_t kBackground = 0x000000;

// Lines of the "draw" extension in, pixels out: the path a frame takes.
struct DrawFrame {
    explicit DrawFrame(int width = 16, int height = 16) {
        window = CreateHeadlessWindow();
        window->Create(width, height, "test");
        renderer.Initialize(*window, CreateSoftwareCanvas());
        renderer.SetPixelPerfect(false);
        HandleLine(state, "EXTENSIONS|draw");
    }
    // Draws the lines as one frame; returns what the log said.
    std::string Draw(const std::vector<std::string>& lines) {
        testing::internal::CaptureStdout();
        state.snapshot.ClearLists();
        for (const std::string& line : lines) HandleLine(state, line);
        renderer.BeginFrame(Color{0, 0, 0});
        renderer.DrawSnapshot(state.snapshot);
        return testing::internal::GetCapturedStdout();
    }
    std::uint32_t At(int x, int y) const {
        const PixelView view = renderer.Pixels();
        return view.pixels[y * view.stride + x] & 0xFFFFFFu;
    }
    int Drawn() const {
        int count = 0;
        const PixelView view = renderer.Pixels();
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x) count += At(x, y) != kBackground;
        return count;
    }
    // Leftmost and rightmost drawn columns, or (-1, -1).
    std::pair<int, int> Columns() const {
        int first = -1, last = -1;
        const PixelView view = renderer.Pixels();
        for (int x = 0; x < view.width; ++x)
            for (int y = 0; y < view.height; ++y)
                if (At(x, y) != kBackground) {
                    if (first < 0) first = x;
                    last = x;
                }
        return {first, last};
    }
    std::vector<std::uint32_t> Copy() const {
        const PixelView view = renderer.Pixels();
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x) pixels.push_back(At(x, y));
        return pixels;
    }
    std::unique_ptr<Window> window;
    Renderer renderer;
    ProtocolState state;
};

// A 2x2 image: red, green / blue, white (opaque), or the given texels.
std::string WriteTexels(const TempDir& dir, const std::string& name, int width, int height,
                        const std::vector<unsigned char>& rgba) {
    const auto path = dir.Path() / name;
    QuorvaneTest::WriteRgbaPng(path, width, height, rgba);
    return path.string();
}

const std::vector<unsigned char> kQuad = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};

std::string Sprite(const std::string& texture, const std::string& rect, int flags = 0, const std::string& source = "0|0|0|0",
                   const std::string& rotation = "0", const std::string& tint = "255|255|255|255", int layer = 0) {
    return "XSPRITE|" + std::to_string(layer) + "|1|" + rect + "|" + tint + "|" + std::to_string(flags) + "|" + source +
           "|" + rotation + "|0|0|" + texture;
}

}  // namespace

TEST(DrawLines, MalformedLinesAreDroppedAndWarnedOncePerKind) {
    DrawFrame frame;
    const std::vector<std::string> bad = {
        "XRECT|0|0|1|2|3",                       // too few fields
        "XRECT|0|2|0|0|4|4|255|0|0|255",         // space out of range
        "XRECT|0|0|0|0|4|4|255|0|0|300",         // alpha out of range
        "XRECT|0|0|x|0|4|4|255|0|0|255",         // not a number
        "XSPRITE|0|0|0|0|4|4|255|255|255|255|64|0|0|0|0|0|0|0|a.png",  // unknown flags
        "XSPRITE|0|0|0|0|4|4|255|255|255|255|0|0|0|0|0|0|0|0|",        // no texture: 19 fields
        "XTEXT|0|0|0|0|12|255|255|255|255|3||hi",  // align out of range
        "XTEXT|0|0|0|0|12",                      // no text field
    };
    std::vector<std::string> twice = bad;
    twice.insert(twice.end(), bad.begin(), bad.end());
    const std::string log = frame.Draw(twice) + frame.Draw(bad);
    EXPECT_EQ(log,
              "[Warn] Dropped a malformed XRECT line: expected 11 fields, got 6\n"
              "[Warn] Dropped a malformed XRECT line: space must be a whole number from 0 to 1\n"
              "[Warn] Dropped a malformed XRECT line: alpha must be a whole number from 0 to 255\n"
              "[Warn] Dropped a malformed XRECT line: x is not a number\n"
              "[Warn] Dropped a malformed XSPRITE line: flags must be a whole number from 0 to 31\n"
              "[Warn] Dropped a malformed XSPRITE line: expected 20 fields, got 19\n"
              "[Warn] Dropped a malformed XTEXT line: align must be a whole number from 0 to 2\n"
              "[Warn] Dropped a malformed XTEXT line: expected 13 fields\n");
    EXPECT_EQ(frame.Drawn(), 0);
}

TEST(DrawLines, UndeclaredExtensionLinesAreOrdinaryUnknownLines) {
    ProtocolState state;
    testing::internal::CaptureStdout();
    HandleLine(state, "XRECT|0|0|0|0|4|4|255|0|0|255");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Info] [ScriptHost] XRECT|0|0|0|0|4|4|255|0|0|255\n");
    EXPECT_TRUE(state.snapshot.items.empty());
}

TEST(DrawLines, TextKeepsBarsAndUnescapesLineBreaks) {
    ProtocolState state;
    HandleLine(state, "EXTENSIONS|draw");
    HandleLine(state, "XTEXT|3|1|1|2|12|1|2|3|4|2||a|b\\nc\\\\n\\d");
    ASSERT_EQ(state.snapshot.items.size(), 1u);
    const DrawItem& item = state.snapshot.items[0];
    EXPECT_EQ(state.snapshot.String(item.text), "a|b\nc\\n\\d");
    EXPECT_EQ(item.layer, 3);
    EXPECT_EQ(item.align, TextAlign::Right);
    EXPECT_EQ(item.color, (ColorA{1, 2, 3, 4}));
    EXPECT_TRUE(state.snapshot.String(item.path).empty());
}

TEST(Drawing, AlphaBlendsSourceOver) {
    struct Case { const char* color; std::uint32_t over; std::uint32_t expected; };
    const Case cases[] = {
        {"255|0|0|255", 0x000000, 0xFF0000},
        {"255|0|0|0", 0x000000, 0x000000},
        {"255|0|0|128", 0x000000, 0x800000},
        {"255|0|0|128", 0xFFFFFF, 0xFF7F7F},
        {"0|0|255|64", 0x204060, 0x183088},
    };
    for (const Case& c : cases) {
        DrawFrame frame(4, 4);
        char under[64];
        std::snprintf(under, sizeof under, "XRECT|0|1|0|0|4|4|%u|%u|%u|255", c.over >> 16, (c.over >> 8) & 0xFF, c.over & 0xFF);
        frame.Draw({under, std::string("XRECT|0|1|0|0|4|4|") + c.color});
        EXPECT_EQ(frame.At(1, 1), c.expected) << c.color << " over " << std::hex << c.over;
    }
}

TEST(Drawing, SourceRectanglesPickTexelsAndOutsideIsTransparent) {
    TempDir dir;
    // One row of four texels: red, green, blue, white.
    const std::string strip = WriteTexels(dir, "strip.png", 4, 1,
                                          {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
    struct Case { const char* source; std::uint32_t left; std::uint32_t right; };
    const Case cases[] = {
        {"1|0|2|1", 0x00FF00, 0x0000FF},
        {"0|0|1|1", 0xFF0000, 0xFF0000},   // one texel stretched over both pixels
        {"3|0|2|1", 0xFFFFFF, kBackground},  // half outside: transparent there
        {"-1|0|2|1", kBackground, 0xFF0000},
        {"9|9|2|1", kBackground, kBackground},
        {"0|0|0|1", kBackground, kBackground},  // empty
    };
    for (const Case& c : cases) {
        DrawFrame frame(4, 1);
        frame.Draw({Sprite(strip, "0|0|2|1", 8, c.source)});
        EXPECT_EQ(frame.At(0, 0), c.left) << c.source;
        EXPECT_EQ(frame.At(1, 0), c.right) << c.source;
    }
}

TEST(Drawing, QuarterTurnsMapPixelsExactly) {
    TempDir dir;
    const std::string quad = WriteTexels(dir, "quad.png", 2, 2, kQuad);
    struct Case { const char* rotation; std::uint32_t expected[4]; };  // TL, TR, BL, BR
    const Case cases[] = {
        {"0", {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
        {"1.5707964", {0x0000FF, 0xFF0000, 0xFFFFFF, 0x00FF00}},  // clockwise on screen
        {"3.1415927", {0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000}},
        {"-1.5707964", {0x00FF00, 0xFFFFFF, 0xFF0000, 0x0000FF}},
        {"7.8539819", {0x0000FF, 0xFF0000, 0xFFFFFF, 0x00FF00}},  // 2.5 turns
    };
    for (const Case& c : cases) {
        DrawFrame frame(4, 4);
        // Scaled 2:1 so each texel covers 2x2 pixels.
        frame.Draw({Sprite(quad, "0|0|4|4", 0, "0|0|0|0", c.rotation)});
        EXPECT_EQ(frame.At(0, 0), c.expected[0]) << c.rotation;
        EXPECT_EQ(frame.At(3, 0), c.expected[1]) << c.rotation;
        EXPECT_EQ(frame.At(0, 3), c.expected[2]) << c.rotation;
        EXPECT_EQ(frame.At(3, 3), c.expected[3]) << c.rotation;
        EXPECT_EQ(frame.Drawn(), 16) << c.rotation;
    }
}

TEST(Drawing, ArbitraryTurnsCoverTheTurnedSquare) {
    TempDir dir;
    const std::string white = WriteTexels(dir, "white.png", 1, 1, {255, 255, 255, 255});
    for (const char* rotation : {"0.3", "0.7853982", "2", "-1"}) {
        DrawFrame frame(32, 32);
        frame.Draw({Sprite(white, "8|8|16|16", 0, "0|0|0|0", rotation)});
        // The area is kept within the pixels its edges cut, the centre is covered
        // and the turned square reaches beyond its unturned edges.
        EXPECT_NEAR(frame.Drawn(), 256, 24) << rotation;
        EXPECT_EQ(frame.At(16, 16), 0xFFFFFFu) << rotation;
        const auto [first, last] = frame.Columns();
        EXPECT_LT(first, 8) << rotation;
        EXPECT_GT(last, 23) << rotation;
    }
}

TEST(Drawing, TintFlipsAndSmoothSampling) {
    TempDir dir;
    const std::string quad = WriteTexels(dir, "quad.png", 2, 2, kQuad);
    DrawFrame frame(4, 2);
    // Tinted half-transparent red: the white texel becomes (128, 0, 0) over black.
    frame.Draw({Sprite(quad, "0|0|2|2", 0, "0|0|0|0", "0", "255|0|0|128"), Sprite(quad, "2|0|2|2", 1)});
    EXPECT_EQ(frame.At(1, 1), 0x800000u);
    EXPECT_EQ(frame.At(0, 1), 0x000000u);  // blue texel times red tint
    EXPECT_EQ(frame.At(2, 0), 0x00FF00u);  // flipped left to right
    EXPECT_EQ(frame.At(3, 0), 0xFF0000u);

    // Smooth: the middle of a 2-texel strip stretched over 8 pixels mixes both.
    const std::string strip = WriteTexels(dir, "bw.png", 2, 1, {0, 0, 0, 255, 255, 255, 255, 255});
    DrawFrame smooth(8, 1), nearest(8, 1);
    smooth.Draw({Sprite(strip, "0|0|8|1", 4)});
    nearest.Draw({Sprite(strip, "0|0|8|1", 0)});
    EXPECT_EQ(nearest.At(3, 0), 0x000000u);
    EXPECT_EQ(nearest.At(4, 0), 0xFFFFFFu);
    const std::uint32_t mixed = smooth.At(3, 0) & 0xFF;
    EXPECT_GT(mixed, 40u);
    EXPECT_LT(mixed, 215u);
    EXPECT_EQ(smooth.At(0, 0), 0x000000u);  // edges clamp to their own texel
    EXPECT_EQ(smooth.At(7, 0), 0xFFFFFFu);
}

TEST(Drawing, LayersAroundTheBaseOrder) {
    DrawFrame frame(8, 1);
    // Pixel by pixel: which drawable ends on top.
    frame.state.snapshot.ClearLists();
    testing::internal::CaptureStdout();
    for (const char* line : {
             "XRECT|0|0|0|0|8|1|0|255|0|255",    // layer 0 world, after the base rect
             "RECT|0|0|2|1|255|0|0",             // base: below extended layer 0
             "XRECT|-1|0|2|0|2|1|0|0|255|255",   // layer -1: below the base rect at 2..4
             "RECT|2|0|2|1|255|0|0",
             "XRECT|1|0|4|0|1|1|255|255|0|255",  // layer 1 sent before layer 0's last
             "XRECT|0|0|4|0|2|1|0|255|255|255",
             "DEBUG_RECT|6|0|1|1|255|0|255",     // base outlines above every world layer
             "XRECT|5|0|6|0|2|1|9|9|9|255",
             "XRECT|-5|1|7|0|1|1|1|1|1|255",     // screen space, even at layer -5, is on top
         }) {
        HandleLine(frame.state, line);
    }
    frame.renderer.BeginFrame(Color{0, 0, 0});
    frame.renderer.DrawSnapshot(frame.state.snapshot);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(frame.At(0, 0), 0x00FF00u);
    EXPECT_EQ(frame.At(2, 0), 0x00FF00u);  // green layer 0 covers the base red, which covers blue
    EXPECT_EQ(frame.At(4, 0), 0xFFFF00u);  // layer 1 above the later layer-0 cyan
    EXPECT_EQ(frame.At(5, 0), 0xFF00FFu);  // the outline's pen reaches one pixel left of its rectangle
    EXPECT_EQ(frame.At(6, 0), 0xFF00FFu);  // above layer 5
    EXPECT_EQ(frame.At(7, 0), 0x010101u);
}

TEST(Drawing, TextMatchesItsGoldenImageAndAlignsByLine) {
    DrawFrame frame(64, 24);
    frame.Draw({"XTEXT|0|1|2|2|16|255|255|255|255|0||Hi!"});
    const auto golden = std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/render/golden/text_hi.png";
    if (std::getenv("QUORVANE_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(WritePng(golden, frame.renderer.Pixels()));
    }
    const std::unique_ptr<SoftwareImage> expected = DecodeImageFile(golden);
    ASSERT_NE(expected, nullptr) << golden;
    ASSERT_EQ(expected->Width(), 64);
    ASSERT_EQ(expected->Height(), 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(frame.At(x, y), expected->Row(y)[x] & 0xFFFFFFu) << x << "," << y;

    const TextSize size = MeasureText(Font::Default(), "Hi!", 16);
    const auto [first, last] = frame.Columns();
    EXPECT_GE(first, 2);
    EXPECT_LE(last, 2 + static_cast<int>(std::ceil(size.width)));

    const std::string alignments[] = {"0|1|32|2|16|255|255|255|255|1||wide\\nw", "0|1|60|2|16|255|255|255|255|2||wide\\nw"};
    DrawFrame centred(64, 40), right(64, 40);
    centred.Draw({"XTEXT|" + alignments[0]});
    right.Draw({"XTEXT|" + alignments[1]});
    const float width = MeasureText(Font::Default(), "wide", 16).width;
    const auto [centreFirst, centreLast] = centred.Columns();
    EXPECT_NEAR((centreFirst + centreLast + 1) / 2.0, 32.0, 1.5);
    EXPECT_NEAR(centreLast + 1 - centreFirst, width, 2.0);
    const auto [rightFirst, rightLast] = right.Columns();
    EXPECT_LE(rightLast, 60);
    EXPECT_GE(rightLast, 57);
}

TEST(Drawing, MissingGlyphIsABoxAndMissingFontFallsBack) {
    DrawFrame frame(32, 24);
    frame.Draw({"XTEXT|0|1|4|2|16|255|255|255|255|0||\xE4\xB8\x80"});  // U+4E00: not in the default font
    const int box = frame.Drawn();
    EXPECT_GT(box, 12);
    int rowHits = 0;
    for (int x = 0; x < 32; ++x) rowHits += frame.At(x, 10) != kBackground;
    EXPECT_EQ(rowHits, 2);  // an outline: only its two sides cross the middle row

    TempDir dir;
    DrawFrame fallback(32, 24), plain(32, 24);
    fallback.state.projectRoot = dir.Path();
    const std::string first = fallback.Draw({"XTEXT|0|1|2|2|16|255|255|255|255|0|nope.ttf|Ab"});
    const std::string second = fallback.Draw({"XTEXT|0|1|2|2|16|255|255|255|255|0|nope.ttf|Ab"});
    plain.Draw({"XTEXT|0|1|2|2|16|255|255|255|255|0||Ab"});
    EXPECT_EQ(first, "[Warn] Font not found: " + (dir.Path() / "nope.ttf").string() + "; using the default font.\n");
    EXPECT_EQ(second, "");
    EXPECT_EQ(fallback.Copy(), plain.Copy());

    std::ofstream(dir.Path() / "bad.ttf") << "not a font at all";
    const std::string bad = fallback.Draw({"XTEXT|0|1|2|2|16|255|255|255|255|0|bad.ttf|Ab"});
    EXPECT_EQ(bad, "[Warn] Font could not be loaded: " + (dir.Path() / "bad.ttf").string() + "; using the default font.\n");

    // A folder named as the font (found by fuzzing: reading it threw past the renderer).
    std::filesystem::create_directories(dir.Path() / "fonts.ttf");
    const std::string folder = fallback.Draw({"XTEXT|0|1|2|2|16|255|255|255|255|0|fonts.ttf|Ab"});
    EXPECT_EQ(folder, "[Warn] Font could not be loaded: " + (dir.Path() / "fonts.ttf").string() + "; using the default font.\n");
    EXPECT_EQ(fallback.Copy(), plain.Copy());
}

TEST(Drawing, BadValuesHaveDefinedResults) {
    TempDir dir;
    const std::string quad = WriteTexels(dir, "quad.png", 2, 2, kQuad);
    const std::string huge(200000, 'W');
    struct Case { std::string line; int drawn; };
    const Case cases[] = {
        {"XRECT|0|1|0|0|-4|4|255|0|0|255", 0},           // negative width: nothing
        {"XRECT|0|1|nan|0|4|4|255|0|0|255", 0},
        {"XRECT|0|1|-3e38|-3e38|inf|inf|255|0|0|128", 256},  // saturates to the whole canvas
        {"XTEXT|0|1|0|0|-12|255|255|255|255|0||Hi", 0},  // size <= 0: nothing
        {"XTEXT|0|1|0|0|nan|255|255|255|255|0||Hi", 0},
        {"XTEXT|0|1|inf|0|12|255|255|255|255|0||Hi", 0},
        {Sprite(quad, "0|0|4|4", 0, "0|0|0|0", "inf"), 0},
        {Sprite(quad, "0|0|4|4", 0, "0|0|0|0", "nan"), 0},
        {Sprite(quad, "0|0|nan|4"), 0},
        {Sprite(quad, "0|0|4|4", 8, "0|0|3e9|-2"), 0},       // source size saturates, negative height: nothing
        {Sprite(quad, "0|0|1e-30|4", 0, "0|0|0|0", "0.5"), 0},  // narrower than any pixel centre
    };
    for (const Case& c : cases) {
        DrawFrame frame;
        frame.Draw({c.line});
        EXPECT_EQ(frame.Drawn(), c.drawn) << c.line.substr(0, 60);
    }
    // Turned sprites at the limits of the float range are clipped, not overflowed.
    for (const char* rect : {"-3e38|-3e38|3e38|3e38", "1e30|1e30|1e-30|1e-30", "0|0|3e38|1"}) {
        DrawFrame frame;
        frame.Draw({Sprite(quad, rect, 0, "0|0|0|0", "0.7"), Sprite(quad, rect, 4, "0|0|0|0", "2.5")});
    }
    // A huge size is capped and a huge text cut, without a crash.
    DrawFrame big(64, 64), capped(64, 64);
    big.Draw({"XTEXT|0|1|-300|-700|1e9|255|255|255|255|0||W", "XTEXT|0|1|0|0|12|255|255|255|255|0||" + huge});
    capped.Draw({"XTEXT|0|1|-300|-700|1024|255|255|255|255|0||W", "XTEXT|0|1|0|0|12|255|255|255|255|0||" + huge});
    EXPECT_GT(big.Drawn(), 1000);
    EXPECT_EQ(big.Copy(), capped.Copy());
    ASSERT_EQ(big.state.snapshot.items.size(), 2u);
    EXPECT_EQ(big.state.snapshot.items[1].text.length, 64u * 1024u);
}

TEST(Drawing, SteadyTextRasterisesNothingNew) {
    DrawFrame frame(64, 24);
    const std::vector<std::string> lines = {"XTEXT|0|1|0|0|14|255|255|255|255|0||Score 1234", "XTEXT|0|0|0|8|9|0|255|0|200|1||ok"};
    frame.Draw(lines);
    const std::uint64_t after = frame.renderer.Glyphs().Rasterised();
    EXPECT_GT(after, 0u);
    frame.Draw(lines);
    EXPECT_EQ(frame.renderer.Glyphs().Rasterised(), after);
}

// The C# host measures text from the same font tables; these figures are checked
// there too (MeasureTextTests), so both sides agree to the bit.
TEST(TextLayout, MeasuresAgreeWithTheHost) {
    struct Case { const char* text; float size; float width; float height; };
    const Case cases[] = {
        {"Hello, World!", 24.0f, 133.922821f, 23.9999981f},
        {"wide\nw", 16.0f, 32.2416115f, 32.0f},
        {"", 10.0f, 0.0f, 10.0f},
        {"\xE4\xB8\x80x", 33.5f, 34.3009644f, 33.5f},
        {"Ab", 2000.0f, 1160.16113f, 1024.0f},
        {"Ab", -1.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        const TextSize size = MeasureText(Font::Default(), c.text, c.size);
        EXPECT_EQ(size.width, c.width) << c.text;
        EXPECT_EQ(size.height, c.height) << c.text;
    }
}

TEST(Drawing, TurnedWorldSpritesAreCulledByWhereTheyEndUp) {
    TempDir dir;
    const std::string white = WriteTexels(dir, "white.png", 1, 1, {255, 255, 255, 255});
    const auto world = [&](const char* rotation, int flags) {
        // A bar left of the view, turned half round about its right end's pivot
        // (50, 1) beyond that end: it then lies inside the view.
        return "XSPRITE|0|0|-50|8|40|2|255|255|255|255|" + std::to_string(flags) + "|0|0|0|0|" + rotation + "|50|1|" + white;
    };
    DrawFrame turned(64, 16), straight(64, 16);
    turned.Draw({world("3.1415927", 16), "CAMERA|0|0|1|64|16"});
    straight.Draw({world("0", 16), "CAMERA|0|0|1|64|16"});
    EXPECT_EQ(turned.Drawn(), 80);
    EXPECT_EQ(turned.Columns(), std::make_pair(10, 49));
    EXPECT_EQ(straight.Drawn(), 0);
}

// Character lookup is checked code of our own; on the shipped font it gives
// exactly what stb_truetype's own lookup gives.
TEST(Fonts, CheckedLookupAgreesWithStbOnTheDefaultFont) {
    const Font& font = Font::Default();
    int differing = 0;
    for (std::uint32_t codepoint = 0; codepoint < 0x30000; ++codepoint) {
        differing += font.GlyphIndex(codepoint) != stbtt_FindGlyphIndex(&font.Info(), static_cast<int>(codepoint));
    }
    EXPECT_EQ(differing, 0);
}

// Crafted font files: a few bytes in the right places that would send
// stb_truetype outside the file are refused when the font is read.
TEST(Fonts, CraftedFontFilesAreRefused) {
    const auto be16 = [](std::string& s, std::uint32_t v) { s += static_cast<char>(v >> 8), s += static_cast<char>(v); };
    const auto be32 = [&](std::string& s, std::uint32_t v) { be16(s, v >> 16), be16(s, v & 0xFFFF); };
    // A directory of one table that claims to lie far beyond the file.
    std::string directory;
    be32(directory, 0x00010000);
    be16(directory, 1);
    directory += std::string(6, '\0');
    directory += "cmap";
    be32(directory, 0);
    be32(directory, 0x7FFFFFF0);
    be32(directory, 16);
    // A directory claiming 4000 tables in 12 bytes.
    std::string manyTables;
    be32(manyTables, 0x00010000);
    be16(manyTables, 4000);
    manyTables += std::string(6, '\0');
    // A collection header pointing anywhere.
    std::string collection = "ttcf";
    be32(collection, 0x00010000);
    be32(collection, 1);
    be32(collection, 0x7FFFFFFF);
    const std::string file = QuorvaneTest::ReadFile(std::filesystem::path(QUORVANE_SOURCE_DIR) / "engine/assets/fonts/DejaVuSans.ttf");
    const std::vector<unsigned char> shipped(file.begin(), file.end());
    // The shipped font with its maxp glyph count raised past what loca holds.
    std::vector<unsigned char> tooManyGlyphs = shipped;
    FontCheck check;
    ASSERT_TRUE(check.Check(shipped.data(), shipped.size()));
    for (std::size_t record = 12; record + 16 <= 12 + 16 * ((shipped[4] << 8) | shipped[5]); record += 16) {
        if (std::memcmp(&shipped[record], "maxp", 4) == 0) {
            const std::size_t at = (std::size_t{shipped[record + 8]} << 24 | std::size_t{shipped[record + 9]} << 16 |
                                    std::size_t{shipped[record + 10]} << 8 | shipped[record + 11]) + 4;
            tooManyGlyphs[at] = 0xFF;
            tooManyGlyphs[at + 1] = 0xFF;
        }
    }
    for (const std::string& bytes : {directory, manyTables, collection}) {
        EXPECT_EQ(Font::FromBytes(std::vector<unsigned char>(bytes.begin(), bytes.end())), nullptr);
    }
    EXPECT_EQ(Font::FromBytes(tooManyGlyphs), nullptr);
    EXPECT_NE(Font::FromBytes(shipped), nullptr);
}
