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

namespace {

// Pixels whose channels differ by more than the tolerance between two canvases.
int Differing(const PixelView& a, const PixelView& b, int tolerance) {
    int count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const std::uint32_t pa = a.pixels[y * a.stride + x], pb = b.pixels[y * b.stride + x];
            for (int shift = 0; shift < 24; shift += 8) {
                const int da = static_cast<int>((pa >> shift) & 0xFF) - static_cast<int>((pb >> shift) & 0xFF);
                if (da > tolerance || da < -tolerance) {
                    ++count;
                    break;
                }
            }
        }
    }
    return count;
}

}  // namespace

// The extended operations through GDI+ against the software canvas. GDI+ rounds its
// blends its own way, so channels may differ by a few steps; where Wine's GDI+
// resamples (turns) a share of edge pixels may differ too.
TEST(GdiCanvas, ExtendedOperationsMatchTheSoftwareCanvasClosely) {
    QuorvaneTest::TempDir dir;
    std::vector<unsigned char> rgba;
    for (int i = 0; i < 64; ++i) {
        rgba.insert(rgba.end(), {static_cast<unsigned char>(30 * (i % 8)), static_cast<unsigned char>(30 * (i / 8)), 0x80, 255});
    }
    const auto file = dir.Path() / "sheet.png";
    ASSERT_TRUE(QuorvaneTest::WriteRgbaPng(file, 8, 8, rgba));
    std::vector<std::uint8_t> mask(10 * 6);
    for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<std::uint8_t>(i * 4);

    struct Case { const char* name; int tolerance; int allowed; void (*draw)(Canvas&, const CanvasImage&, const std::uint8_t*); };
    const Case cases[] = {
        {"translucent rectangles", 2, 0, [](Canvas& c, const CanvasImage&, const std::uint8_t*) {
             c.BlendRect(2, 2, 30, 20, ColorA{255, 0, 0, 128});
             c.BlendRect(10, 10, 40, 30, ColorA{0, 0, 255, 64});
         }},
        {"coverage mask", 2, 0, [](Canvas& c, const CanvasImage&, const std::uint8_t* m) {
             c.BlendMask(m, 10, 10, 6, 5, 5, ColorA{250, 250, 250, 255});
             c.BlendMask(m, 10, 10, 6, 20, 20, ColorA{0, 250, 0, 128});
         }},
        {"source rectangle 1:1 and 2:1", 0, 0, [](Canvas& c, const CanvasImage& image, const std::uint8_t*) {
             ImageDraw draw;
             draw.sourceX = 2, draw.sourceY = 2, draw.sourceWidth = 4, draw.sourceHeight = 4;
             draw.x = 4, draw.y = 4, draw.width = 4, draw.height = 4;
             c.DrawImageEx(image, draw);
             draw.x = 20, draw.width = 8, draw.height = 8;
             c.DrawImageEx(image, draw);
         }},
        {"tint", 3, 0, [](Canvas& c, const CanvasImage& image, const std::uint8_t*) {
             ImageDraw draw;
             draw.sourceWidth = draw.sourceHeight = 8;
             draw.x = 4, draw.y = 4, draw.width = 8, draw.height = 8;
             draw.tint = ColorA{255, 128, 0, 200};
             c.DrawImageEx(image, draw);
         }},
        // Wine's GDI+ shifts a turned image by one pixel, as it does mirrored ones: at
        // 2:1 that changes half of the 256 pixels; a turn the wrong way would change
        // nearly all of them.
        {"quarter turn", 0, 128, [](Canvas& c, const CanvasImage& image, const std::uint8_t*) {
             ImageDraw draw;
             draw.sourceWidth = draw.sourceHeight = 8;
             draw.x = 8, draw.y = 8, draw.width = 16, draw.height = 16;
             draw.originX = 16, draw.originY = 16;
             draw.rotation = 1.5707964f;
             c.DrawImageEx(image, draw);
         }},
    };
    auto window = CreatePlatformWindow();
    ASSERT_TRUE(window->Create(64, 64, "gdi"));
    for (const Case& c : cases) {
        auto gdi = CreatePlatformCanvas(*window);
        SoftwareCanvas software;
        const auto gdiImage = gdi->LoadImage(file);
        const auto softwareImage = software.LoadImage(file);
        ASSERT_NE(gdiImage, nullptr);
        for (Canvas* canvas : {static_cast<Canvas*>(gdi.get()), static_cast<Canvas*>(&software)}) {
            canvas->Resize(48, 40);
            canvas->FillRect(0, 0, 48, 40, Color{16, 32, 48});
            c.draw(*canvas, canvas == gdi.get() ? *gdiImage : *softwareImage, mask.data());
        }
        EXPECT_LE(Differing(gdi->Pixels(), software.Pixels(), c.tolerance), c.allowed) << c.name;
    }
}
