#include <gtest/gtest.h>

#include "render/Canvas.h"
#include "render/software/SoftwareCanvas.h"
#include "support/ImageFile.h"
#include "support/TempDir.h"

using namespace Quorvane;

namespace {

// Draws the same scene on a canvas: rectangles, outlines, blended images.
// Images stay unmirrored, integer-aligned and at 1:1 or 2:1: there Wine's GDI+ is
// exact, while it shifts mirrored, fractional and 3:1 ones by a column.
void DrawScene(Canvas& canvas, const CanvasImage& image) {
    canvas.Resize(48, 40);
    canvas.FillRect(0, 0, 48, 40, Color{16, 32, 48});
    canvas.FillRect(2, 2, 12, 9, Color{200, 10, 10});
    canvas.FillRect(-5, 30, 3, 60, Color{10, 200, 10});
    canvas.OutlineRect(10, 10, 20, 20, Color{250, 250, 0});
    canvas.OutlineRect(30, 4, 31, 5, Color{0, 0, 250});
    canvas.OutlineRect(44, 30, 40, 36, Color{0, 250, 250});
    canvas.DrawImage(image, 20, 22, 4, 4, false, false);
    canvas.DrawImage(image, 26, 22, 8, 8, false, false);
    canvas.DrawImage(image, 40, 2, 4, 4, false, false);
}

}  // namespace

TEST(GdiCanvas, SamePixelsAsTheSoftwareCanvas) {
    QuorvaneTest::TempDir dir;
    std::vector<unsigned char> rgba;
    for (int i = 0; i < 16; ++i) {
        const auto alpha = static_cast<unsigned char>(i == 5 ? 0 : (i == 6 ? 128 : (i == 9 ? 1 : 255)));
        rgba.insert(rgba.end(), {static_cast<unsigned char>(0x20 + 0x40 * (i % 4)), static_cast<unsigned char>(0x20 + 0x40 * (i / 4)), 0x80, alpha});
    }
    const auto file = dir.Path() / "texture.png";
    ASSERT_TRUE(QuorvaneTest::WriteRgbaPng(file, 4, 4, rgba));

    auto window = CreatePlatformWindow();
    ASSERT_TRUE(window->Create(64, 64, "gdi"));
    auto gdi = CreatePlatformCanvas(*window);
    const auto gdiImage = gdi->LoadImage(file);
    ASSERT_NE(gdiImage, nullptr);
    DrawScene(*gdi, *gdiImage);

    SoftwareCanvas software;
    const auto softwareImage = software.LoadImage(file);
    ASSERT_NE(softwareImage, nullptr);
    DrawScene(software, *softwareImage);

    const PixelView a = gdi->Pixels();
    const PixelView b = software.Pixels();
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    int mismatches = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const std::uint32_t pa = a.pixels[y * a.stride + x] & 0xFFFFFFu;
            const std::uint32_t pb = b.pixels[y * b.stride + x] & 0xFFFFFFu;
            if (pa != pb && ++mismatches <= 10) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": GDI " << std::hex << pa << " software " << pb;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(gdi->LoadImage(dir.Write("notes.png", "not an image")), nullptr);
    EXPECT_EQ(gdi->LoadImage(dir.Path()), nullptr);
}

TEST(GdiCanvas, GdiplusRunsWhileAnyCanvasLives) {
    QuorvaneTest::TempDir dir;
    const auto file = dir.Path() / "one.png";
    ASSERT_TRUE(QuorvaneTest::WriteRgbaPng(file, 1, 1, {1, 2, 3, 255}));
    auto window = CreatePlatformWindow();
    ASSERT_TRUE(window->Create(16, 16, "gdi+"));
    auto first = CreatePlatformCanvas(*window);
    auto second = CreatePlatformCanvas(*window);
    first.reset();  // one user left: GDI+ keeps running
    EXPECT_NE(second->LoadImage(file), nullptr);
    second.reset();  // the last user shut it down; a new canvas starts it again
    auto third = CreatePlatformCanvas(*window);
    EXPECT_NE(third->LoadImage(file), nullptr);
}
