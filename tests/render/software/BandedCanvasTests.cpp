#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "render/software/BandedCanvas.h"

using namespace Quorvane;

namespace {

// A 32x32 image with a soft rim (alpha falling off to 0) and a colour per texel.
SoftwareImage SoftImage(std::uint32_t seed) {
    std::vector<std::uint32_t> texels(32 * 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double d = std::hypot(x + 0.5 - 16, y + 0.5 - 16);
            const auto a = static_cast<std::uint32_t>(std::clamp(255.0 * (15.0 - d) / 4.0, 0.0, 255.0));
            const std::uint32_t r = (x * 8 + seed) & 0xFF, g = (y * 8) & 0xFF, b = (seed * 40) & 0xFF;
            // Premultiplied, as decoded images are.
            texels[y * 32 + x] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
        }
    }
    return SoftwareImage(32, 32, std::move(texels));
}

SoftwareImage OpaqueImage() {
    std::vector<std::uint32_t> texels(7 * 5);
    for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x030507u);
    return SoftwareImage(7, 5, std::move(texels));
}

// Sends the same calls to every canvas.
template <typename Draw>
void Both(Canvas& a, Canvas& b, Draw&& draw) {
    draw(a);
    draw(b);
}

void ExpectSamePixels(const Canvas& single, const Canvas& banded, const char* what) {
    const PixelView a = single.Pixels(), b = banded.Pixels();
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    std::int64_t differing = 0, first = -1;
    for (std::int32_t y = 0; y < a.height; ++y) {
        for (std::int32_t x = 0; x < a.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * a.stride + x;
            if ((a.pixels[at] & 0xFFFFFFu) != (b.pixels[at] & 0xFFFFFFu)) {
                if (first < 0) first = y * a.width + x;
                ++differing;
            }
        }
    }
    EXPECT_EQ(differing, 0) << what << ": first difference at pixel " << first;
}

}  // namespace

// A random scene of 10,000 sprites (every scale, flip, turn, tint, sampling and
// source rectangle), rectangles, outlines and glyph masks, partly off the canvas:
// the banded canvas gives the single-threaded canvas's pixels, whatever the
// number of bands and however the rows divide, drawn when read or in the background.
TEST(BandedCanvas, RandomSceneIsPixelIdentical) {
    const SoftwareImage images[] = {SoftImage(1), SoftImage(2), SoftImage(3), OpaqueImage()};
    std::vector<std::uint8_t> glyph(13 * 17);
    for (std::size_t i = 0; i < glyph.size(); ++i) glyph[i] = static_cast<std::uint8_t>((i * 37) & 0xFF);

    struct Size {
        int width, height, threads;
    };
    for (const Size size : {Size{1280, 720, 2}, Size{333, 517, 3}, Size{97, 5, 4}, Size{640, 1, 2}}) {
        SoftwareCanvas single;
        BandedCanvas banded(size.threads);
        std::mt19937 random(42);
        const auto uniform = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
        const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        for (int frame = 0; frame < 2; ++frame) {
            Both(single, banded, [&](Canvas& c) {
                c.Resize(size.width, size.height);
                c.FillRect(0, 0, size.width, size.height, Color{30, 40, 50});
            });
            const double w = size.width, h = size.height;
            for (int i = 0; i < 10000; ++i) {
                // Drawing started in the background halfway: later calls wait for it.
                if (frame == 1 && i == 5000) banded.StartDrawing();
                const SoftwareImage& image = images[pick(4)];
                const float x = static_cast<float>(uniform(-40, w + 8)), y = static_cast<float>(uniform(-40, h + 8));
                switch (pick(8)) {
                    case 0:
                    case 1: {  // the BunnyMark case: 1:1
                        const bool fx = pick(2) == 1, fy = pick(4) == 1;
                        Both(single, banded, [&](Canvas& c) { c.DrawImage(image, x, y, 32, 32, fx, fy); });
                        break;
                    }
                    case 2: {  // scaled, 1.5x among others
                        const float scale = pick(2) ? 1.5f : static_cast<float>(uniform(0.2, 4.0));
                        Both(single, banded, [&](Canvas& c) { c.DrawImage(image, x, y, 32 * scale, 32 * scale, false, true); });
                        break;
                    }
                    case 3:
                    case 4: {
                        ImageDraw draw;
                        draw.x = x, draw.y = y;
                        draw.width = static_cast<float>(uniform(4, 90)), draw.height = static_cast<float>(uniform(4, 90));
                        draw.sourceX = pick(6) - 2, draw.sourceY = pick(6) - 2;
                        draw.sourceWidth = 1 + pick(34), draw.sourceHeight = 1 + pick(34);
                        draw.rotation = pick(3) == 0 ? static_cast<float>(pick(4) * 1.5707963267948966) : static_cast<float>(uniform(-7, 7));
                        draw.originX = x + static_cast<float>(uniform(-20, 40)), draw.originY = y + static_cast<float>(uniform(-20, 40));
                        draw.flipX = pick(2) == 1, draw.flipY = pick(2) == 1, draw.smooth = pick(3) == 0;
                        draw.tint = ColorA{static_cast<std::uint8_t>(pick(256)), static_cast<std::uint8_t>(pick(256)),
                                           static_cast<std::uint8_t>(pick(256)), static_cast<std::uint8_t>(pick(256))};
                        Both(single, banded, [&](Canvas& c) { c.DrawImageEx(image, draw); });
                        break;
                    }
                    case 5: {
                        const auto l = static_cast<std::int32_t>(x), t = static_cast<std::int32_t>(y);
                        const std::int32_t r = l + pick(80), b = t + pick(80);
                        const ColorA colour{static_cast<std::uint8_t>(pick(256)), 10, 200, static_cast<std::uint8_t>(pick(256))};
                        Both(single, banded, [&](Canvas& c) { c.BlendRect(l, t, r, b, colour); });
                        break;
                    }
                    case 6: {
                        const auto l = static_cast<std::int32_t>(x), t = static_cast<std::int32_t>(y);
                        const std::int32_t r = l + pick(60) - 10, b = t + pick(60) - 10;
                        Both(single, banded, [&](Canvas& c) {
                            if (pick(2) == 0) c.OutlineRect(l, t, r, b, Color{255, 255, 0});
                            else c.FillRect(l, t, r, b, Color{0, 128, 255});
                        });
                        break;
                    }
                    default: {
                        const auto gx = static_cast<std::int32_t>(x), gy = static_cast<std::int32_t>(y);
                        const ColorA colour{255, 255, 255, static_cast<std::uint8_t>(pick(256))};
                        Both(single, banded, [&](Canvas& c) { c.BlendMask(glyph.data(), 13, 13, 17, gx, gy, colour); });
                        break;
                    }
                }
            }
            // Geometry at the limits takes the same paths in every band.
            Both(single, banded, [&](Canvas& c) {
                c.FillRect(INT32_MIN, INT32_MIN, INT32_MAX, 3, Color{1, 2, 3});
                c.OutlineRect(INT32_MIN, -5, INT32_MAX, INT32_MAX, Color{9, 9, 9});
                c.BlendRect(-10, size.height - 2, INT32_MAX, INT32_MAX, ColorA{200, 0, 0, 100});
                c.DrawImage(images[0], -1e9f, -1e9f, 3e9f, 3e9f, true, false);
                c.DrawImage(images[1], 5.5f, 3.25f, 1e-3f, 700.0f, false, false);
                ImageDraw tiny;
                tiny.sourceWidth = 32, tiny.sourceHeight = 32, tiny.x = 2, tiny.y = 2, tiny.width = 1e-7f, tiny.height = 500;
                tiny.rotation = 0.3f;
                c.DrawImageEx(images[2], tiny);
            });
            // Pixels read while the frame is drawn in the background wait for it.
            if (frame == 0) banded.StartDrawing();
            ExpectSamePixels(single, banded, ("size " + std::to_string(size.width) + "x" + std::to_string(size.height)).c_str());
        }
    }
}

TEST(BandedCanvas, RecordsUntilPixelsAreReadAndFollowsResizes) {
    BandedCanvas banded(3);
    banded.Resize(4, 4);
    banded.FillRect(0, 0, 4, 4, Color{10, 20, 30});
    EXPECT_EQ(banded.Pixels().pixels[15] & 0xFFFFFFu, 0x0A141Eu);  // reading draws what was recorded
    banded.FillRect(0, 0, 4, 4, Color{255, 0, 0});
    banded.Resize(8, 2);  // a new size keeps nothing of the old frame
    EXPECT_EQ(banded.Width(), 8);
    EXPECT_EQ(banded.Height(), 2);
    banded.FillRect(0, 1, 8, 2, Color{0, 255, 0});
    EXPECT_EQ(banded.Pixels().pixels[8] & 0xFFFFFFu, 0x00FF00u);
    banded.Resize(0, 0);
    banded.FillRect(0, 0, 5, 5, Color{1, 1, 1});
    EXPECT_EQ(banded.Pixels().width, 0);
}

TEST(BandedCanvas, ThreadCountChoice) {
    const int before = RenderThreads();
    SetRenderThreads(0);
    EXPECT_EQ(RenderThreads(), 1);  // clamped
    SetRenderThreads(99);
    EXPECT_EQ(RenderThreads(), 16);
    SetRenderThreads(1);
    EXPECT_NE(dynamic_cast<SoftwareCanvas*>(CreateSoftwareCanvas().get()), nullptr);
    SetRenderThreads(2);
    EXPECT_NE(dynamic_cast<BandedCanvas*>(CreateSoftwareCanvas().get()), nullptr);
    SetRenderThreads(before);
}
