#include <gtest/gtest.h>

#include <chrono>

#include <sstream>


#include "render/software/SoftwareCanvas.h"
#include "support/ImageFile.h"
#include "support/TempDir.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

using namespace Quorvane;
using QuorvaneTest::TempDir;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr Color kRed{255, 0, 0};

// Rows "y ....##" as in the measured GDI grids: '#' for pixels that are not white.
std::string Grid(const SoftwareCanvas& canvas, std::uint32_t background = kWhite) {
    std::ostringstream text;
    for (int y = 0; y < canvas.Height(); ++y) {
        std::string row;
        for (int x = 0; x < canvas.Width(); ++x) row += canvas.PixelAt(x, y) == background ? '.' : '#';
        if (row.find('#') == std::string::npos) continue;
        row.erase(row.find_last_not_of('.') + 1);
        text << y << ' ' << row << '\n';
    }
    return text.str();
}

SoftwareCanvas WhiteCanvas(int width = 40, int height = 40) {
    SoftwareCanvas canvas;
    canvas.Resize(width, height);
    canvas.FillRect(0, 0, width, height, Color{255, 255, 255});
    return canvas;
}

// A 4x4 texture whose texel i = y*4 + x has a colour that encodes i.
SoftwareImage IndexTexture() {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 16; ++i) pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(i + 1));
    return SoftwareImage(4, 4, std::move(pixels));
}

// Rows of texel indices in hex, as in the measured GDI+ grids, on a black canvas.
std::string TexelGrid(float x, float y, float w, float h, bool flipX = false, bool flipY = false) {
    SoftwareCanvas canvas;
    canvas.Resize(16, 16);
    canvas.FillRect(0, 0, 16, 16, Color{0, 0, 0});
    canvas.DrawImage(IndexTexture(), x, y, w, h, flipX, flipY);
    std::ostringstream text;
    for (int row = 0; row < 16; ++row) {
        std::string line;
        for (int column = 0; column < 16; ++column) {
            const std::uint32_t value = canvas.PixelAt(column, row);
            line += value == 0 ? '.' : "0123456789ABCDEF"[value - 1];
        }
        if (line.find_first_not_of('.') == std::string::npos) continue;
        line.erase(line.find_last_not_of('.') + 1);
        text << row << ' ' << line << '\n';
    }
    return text.str();
}

}  // namespace

TEST(SoftwareCanvas, FillRectMatchesGdi) {
    struct Case { int l, t, r, b; const char* grid; };
    const Case cases[] = {
        {10, 10, 12, 12, "10 ..........##\n11 ..........##\n"},
        {-5, -5, 3, 3, "0 ###\n1 ###\n2 ###\n"},
        {INT32_MIN, 10, 3, 12, "10 ###\n11 ###\n"},
        {35, 38, INT32_MAX, INT32_MAX, "38 ...................................#####\n39 ...................................#####\n"},
        {20, 10, 10, 20, ""},   // swapped: nothing (the renderer never asks for it)
        {10, 10, 10, 20, ""},
        {1 << 27, 0, INT32_MAX, 5, ""},
    };
    for (const Case& c : cases) {
        SoftwareCanvas canvas = WhiteCanvas();
        canvas.FillRect(c.l, c.t, c.r, c.b, kRed);
        EXPECT_EQ(Grid(canvas), c.grid) << c.l << "," << c.t << "," << c.r << "," << c.b;
    }
    SoftwareCanvas canvas = WhiteCanvas();
    canvas.FillRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, kRed);
    EXPECT_EQ(canvas.PixelAt(0, 0), 0xFF0000u);
    EXPECT_EQ(canvas.PixelAt(39, 39), 0xFF0000u);
}

TEST(SoftwareCanvas, TwoPixelOutlineMatchesGdi) {
    const std::string box =
        "9 .........###########\n10 .........###########\n"
        "11 .........##.......##\n12 .........##.......##\n13 .........##.......##\n14 .........##.......##\n"
        "15 .........##.......##\n16 .........##.......##\n17 .........##.......##\n"
        "18 .........###########\n19 .........###########\n";
    struct Case { int l, t, r, b; std::string grid; };
    const Case cases[] = {
        {10, 10, 20, 20, box},
        {20, 10, 10, 20, box},   // corners in any order
        {20, 20, 10, 10, box},
        {10, 10, 11, 11, "9 .........##\n10 .........##\n"},
        {10, 10, 12, 12, "9 .........###\n10 .........###\n11 .........###\n"},
        {10, 10, 13, 13, "9 .........####\n10 .........####\n11 .........####\n12 .........####\n"},
        {10, 10, 10, 20, ""},    // zero width
        {-5, -5, 3, 3, "0 .##\n1 ###\n2 ###\n"},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, ""},
        {INT32_MIN, INT32_MIN, 5, 5, "0 ...##\n1 ...##\n2 ...##\n3 #####\n4 #####\n"},
        {INT32_MIN, 10, 3, 12, "9 ###\n10 ###\n11 ###\n"},
        {-100000, -100000, 100000, 100000, ""},
        {-(1 << 27), -(1 << 27), 7, 7, "0 .....##\n1 .....##\n2 .....##\n3 .....##\n4 .....##\n5 #######\n6 #######\n"},
    };
    for (const Case& c : cases) {
        SoftwareCanvas canvas = WhiteCanvas();
        canvas.OutlineRect(c.l, c.t, c.r, c.b, kRed);
        EXPECT_EQ(Grid(canvas), c.grid) << c.l << "," << c.t << "," << c.r << "," << c.b;
    }
    SoftwareCanvas canvas = WhiteCanvas();
    canvas.OutlineRect(35, 35, INT32_MAX, INT32_MAX, kRed);
    int drawn = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) drawn += canvas.PixelAt(x, y) != kWhite;
    EXPECT_EQ(drawn, 20);
}

TEST(SoftwareCanvas, ImagesSampleLikeGdiPlusWithHalfPixelOffset) {
    struct Case { float x, y, w, h; const char* grid; };
    const Case cases[] = {
        {2, 2, 4, 4, "2 ..0123\n3 ..4567\n4 ..89AB\n5 ..CDEF\n"},
        {2, 2, 8, 8, "2 ..00112233\n3 ..00112233\n4 ..44556677\n5 ..44556677\n"
                     "6 ..8899AABB\n7 ..8899AABB\n8 ..CCDDEEFF\n9 ..CCDDEEFF\n"},
        {2.5f, 2.5f, 6, 6, "3 ...011233\n4 ...455677\n5 ...455677\n6 ...899ABB\n7 ...CDDEFF\n8 ...CDDEFF\n"},
        {2, 2, 6, 6, "2 ..001223\n3 ..001223\n4 ..445667\n5 ..889AAB\n6 ..889AAB\n7 ..CCDEEF\n"},
        {2, 2, 2, 2, "2 ..02\n3 ..8A\n"},
        {2.25f, 2.75f, 4, 4, "3 ..0123\n4 ..4567\n5 ..89AB\n6 ..CDEF\n"},
        {2.5f, 2.5f, 4, 4, "3 ...0123\n4 ...4567\n5 ...89AB\n6 ...CDEF\n"},
        {14, 14, 4, 4, "14 ..............01\n15 ..............45\n"},   // clipped at the edge
        {-1, -1, 4, 4, "0 567\n1 9AB\n2 DEF\n"},
        {2, 2, 0, 4, ""},
        {2, 2, -4, 4, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TexelGrid(c.x, c.y, c.w, c.h), c.grid) << c.x << "," << c.y << "," << c.w << "," << c.h;
    }
}

TEST(SoftwareCanvas, FlipsMirrorInPlace) {
    EXPECT_EQ(TexelGrid(2, 2, 4, 4, true, false), "2 ..3210\n3 ..7654\n4 ..BA98\n5 ..FEDC\n");
    EXPECT_EQ(TexelGrid(2, 2, 4, 4, false, true), "2 ..CDEF\n3 ..89AB\n4 ..4567\n5 ..0123\n");
    EXPECT_EQ(TexelGrid(2, 2, 4, 4, true, true), "2 ..FEDC\n3 ..BA98\n4 ..7654\n5 ..3210\n");
    EXPECT_EQ(TexelGrid(2, 2, 8, 8, true, false),
              "2 ..33221100\n3 ..33221100\n4 ..77665544\n5 ..77665544\n"
              "6 ..BBAA9988\n7 ..BBAA9988\n8 ..FFEEDDCC\n9 ..FFEEDDCC\n");
    // A fractional rectangle keeps its pixels when mirrored: the sprite never jumps as it turns.
    EXPECT_EQ(TexelGrid(2.5f, 2.5f, 6, 6, true, false), "3 ...332110\n4 ...776554\n5 ...776554\n6 ...BBA998\n7 ...FFEDDC\n8 ...FFEDDC\n");
}

TEST(SoftwareCanvas, DecodesAndBlendsSourceOver) {
    TempDir dir;
    // One 1x1 RGBA image per case, through the real decoder.
    struct Case { std::uint8_t r, g, b, a; std::uint32_t background; std::uint32_t expected; };
    const Case cases[] = {
        {255, 0, 0, 0x00, 0x0000FF, 0x0000FF},
        {255, 0, 0, 0x01, 0x0000FF, 0x0100FE},
        {255, 0, 0, 0x40, 0x0000FF, 0x4000BF},
        {255, 0, 0, 0x7F, 0x0000FF, 0x7F0080},
        {255, 0, 0, 0x80, 0x0000FF, 0x80007F},
        {255, 0, 0, 0xC0, 0x0000FF, 0xC0003F},
        {255, 0, 0, 0xFE, 0x0000FF, 0xFE0001},
        {255, 0, 0, 0xFF, 0x0000FF, 0xFF0000},
        {200, 100, 50, 0x01, 0x102030, 0x112030},
        {200, 100, 50, 0x40, 0x102030, 0x3E3131},
        {200, 100, 50, 0x7F, 0x102030, 0x6C4231},
        {200, 100, 50, 0x81, 0x102030, 0x6D4331},
        {200, 100, 50, 0xC0, 0x102030, 0x9B5332},
        {200, 100, 50, 0xFE, 0x102030, 0xC76432},
        {255, 255, 255, 0x80, 0x000000, 0x808080},
        {0, 0, 0, 0x80, 0xFFFFFF, 0x7F7F7F},
        {255, 0, 0, 0x80, 0xFFFFFF, 0xFF7F7F},
    };
    for (const Case& c : cases) {
        const auto file = dir.Path() / "texel.png";
        ASSERT_TRUE(QuorvaneTest::WriteRgbaPng(file, 2, 1, {c.r, c.g, c.b, c.a, c.r, c.g, c.b, c.a}));
        const auto image = DecodeImageFile(file);
        ASSERT_NE(image, nullptr);
        SoftwareCanvas canvas;
        canvas.Resize(4, 1);
        canvas.FillRect(0, 0, 4, 1, Color{static_cast<std::uint8_t>(c.background >> 16),
                                          static_cast<std::uint8_t>(c.background >> 8),
                                          static_cast<std::uint8_t>(c.background)});
        canvas.DrawImage(*image, 0, 0, 2, 1, false, false);   // 1:1 path
        canvas.DrawImage(*image, 2, 0, 1.5f, 1, false, false); // scaled path
        EXPECT_EQ(canvas.PixelAt(0, 0), c.expected) << std::hex << int(c.a) << " over " << c.background;
        EXPECT_EQ(canvas.PixelAt(2, 0), c.expected) << std::hex << int(c.a) << " over " << c.background;
    }
}

TEST(SoftwareCanvas, RefusesFilesThatAreNotSaneImages) {
    TempDir dir;
    EXPECT_EQ(DecodeImageFile(dir.Write("notes.txt", "not an image")), nullptr);
    EXPECT_EQ(DecodeImageFile(dir.Write("empty.png", "")), nullptr);
    EXPECT_EQ(DecodeImageFile(dir.Path()), nullptr);
    EXPECT_EQ(DecodeImageFile(dir.Path() / "missing.png"), nullptr);
    // A PNG header announcing 20000 x 10 pixels, with no data behind it.
    std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\0\x0a\x08\x06\0\0\0\0\0\0\0", 33);
    EXPECT_EQ(DecodeImageFile(dir.Write("huge.png", header)), nullptr);
}

// Crafted image files: small files that claim huge sizes, broken data behind
// good headers, and things that are not files at all.
TEST(SoftwareCanvas, CraftedImageFilesAreRefusedCheaply) {
    TempDir dir;
    const auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    // Every side within the side limit, the total far beyond the pixel limit.
    const std::string pngClaim = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + be32(16384) + be32(16384) +
                                 std::string("\x08\x06\0\0\0\0\0\0\0", 9);
    // An uncompressed 16384 x 16384 32-bit TGA header with a few bytes of data.
    std::string tgaClaim("\0\0\x02\0\0\0\0\0\0\0\0\0\0\x40\0\x40\x20\x08", 18);
    tgaClaim += std::string(64, '\x7f');
    // A JPEG start of frame claiming 16384 x 16384 and nothing else.
    const std::string jpegClaim("\xFF\xD8\xFF\xC0\0\x11\x08\x40\0\x40\0\x03\x01\x22\0\x02\x11\x01\x03\x11\x01\xFF\xD9", 23);
    // A JPEG whose Huffman table claims more codes than it has room for.
    const std::string jpegBadHuffman(
        "\xFF\xD8\xFF\xC4\0\x14\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0"
        "\xFF\xC0\0\x0B\x08\0\x08\0\x08\x01\x01\x11\0\xFF\xDA\0\x08\x01\x01\0\0\x3F\0\x12\x34\xFF\xD9",
        52);
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"png claims 16384 x 16384", pngClaim},
        {"tga claims 16384 x 16384", tgaClaim},
        {"jpeg claims 16384 x 16384", jpegClaim},
        {"jpeg with a broken Huffman table", jpegBadHuffman},
        {"png signature alone", std::string("\x89PNG\r\n\x1a\n", 8)},
        {"jpeg marker alone", std::string("\xFF\xD8\xFF", 3)},
        {"bmp header alone", "BM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DecodeImageFile(dir.Write("crafted.img", c.bytes)), nullptr);
        EXPECT_EQ(DecodeImageBytes(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()), nullptr);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    }
#if !defined(_WIN32)
    // Not regular files: an endless device and a FIFO nobody writes to.
    const auto device = dir.Path() / "zero.png";
    std::filesystem::create_symlink("/dev/zero", device);
    EXPECT_EQ(DecodeImageFile(device), nullptr);
    const auto fifo = dir.Path() / "fifo.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(DecodeImageFile(fifo), nullptr);
#endif
    // Within the limits, every decoder still decodes.
    std::vector<unsigned char> rgba(4 * 3 * 4, 200);
    ASSERT_TRUE(QuorvaneTest::WriteRgbaPng(dir.Path() / "ok.png", 4, 3, rgba));
    const auto image = DecodeImageFile(dir.Path() / "ok.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Width(), 4);
    EXPECT_EQ(image->Height(), 3);
    EXPECT_FALSE(ImageSizeAllowed(16384, 16384));
    EXPECT_TRUE(ImageSizeAllowed(16384, 1024));
    EXPECT_FALSE(ImageSizeAllowed(16385, 1));
}

TEST(SoftwareCanvas, ResizeKeepsTheBufferWithinBounds) {
    SoftwareCanvas canvas;
    canvas.Resize(0, 0);
    canvas.FillRect(-10, -10, 10, 10, kRed);
    canvas.OutlineRect(-10, -10, 10, 10, kRed);
    canvas.DrawImage(IndexTexture(), 0, 0, 4, 4, false, false);
    EXPECT_EQ(canvas.Pixels().width, 0);
    canvas.Resize(100000, 3);
    EXPECT_EQ(canvas.Width(), SoftwareCanvas::kMaxSide);
}

// Coordinates far outside the int range reach no float-to-int conversion (the
// sanitizer build checks float-cast-overflow); the visible part is still drawn.
TEST(SoftwareCanvas, HugeImageCoordinatesConvertNothingOutOfRange) {
    for (const bool flip : {false, true}) {
        SoftwareCanvas canvas;
        canvas.Resize(8, 8);
        canvas.FillRect(0, 0, 8, 8, Color{0, 0, 0});
        canvas.DrawImage(IndexTexture(), -1e30f, 0, 3e30f, 4, flip, false);
        canvas.DrawImage(IndexTexture(), 0, -3e38f, 4, 3.4e38f, false, flip);
        canvas.DrawImage(IndexTexture(), -2e9f, 4, 4e9f, 4, flip, flip);
        ImageDraw draw;
        draw.sourceWidth = 4;
        draw.sourceHeight = 4;
        draw.x = -1e30f;
        draw.width = 3e30f;
        draw.height = 4;
        canvas.DrawImageEx(IndexTexture(), draw);
        EXPECT_NE(canvas.PixelAt(3, 1), 0u);
        EXPECT_NE(canvas.PixelAt(3, 5), 0u);
    }
}
