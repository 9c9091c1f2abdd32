#pragma once

#include <cstdint>
#include <vector>

#include "render/Canvas.h"

namespace Quorvane {

// A decoded image: premultiplied ARGB, one 32-bit word per texel.
class SoftwareImage final : public CanvasImage {
public:
    SoftwareImage(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);
    std::int32_t Width() const override { return width; }
    std::int32_t Height() const override { return height; }
    const std::uint32_t* Row(std::int32_t y) const { return pixels.data() + static_cast<std::size_t>(y) * width; }
    bool Opaque() const { return opaque; }

private:
    std::int32_t width;
    std::int32_t height;
    std::vector<std::uint32_t> pixels;
    bool opaque;
};

// The back buffer in memory, with GDI's rectangle rules and GDI+'s image sampling.
// Pixels are 0x??RRGGBB; the top byte carries no meaning.
class SoftwareCanvas final : public Canvas {
public:
    // Larger client areas are clipped, so a mistyped project size cannot ask for gigabytes.
    static constexpr std::int32_t kMaxSide = 16384;

    void Resize(std::int32_t width, std::int32_t height) override;
    std::int32_t Width() const override { return width; }
    std::int32_t Height() const override { return height; }
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) override;
    void OutlineRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) override;
    void DrawImage(const CanvasImage& image, float x, float y, float width, float height, bool flipX, bool flipY) override;
    void BlendRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, ColorA color) override;
    void DrawImageEx(const CanvasImage& image, const ImageDraw& draw) override;
    void BlendMask(const std::uint8_t* mask, std::int32_t stride, std::int32_t width, std::int32_t height, std::int32_t x,
                   std::int32_t y, ColorA color) override;
    std::unique_ptr<CanvasImage> LoadImage(const std::filesystem::path& path) override;
    void Present(Window& window) override;
    PixelView Pixels() const override;

    std::uint32_t PixelAt(std::int32_t x, std::int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFFu;
    }

    // Draws from now on into owner's pixels, rows [top, bottom) only: one band of a
    // canvas drawn by several threads. Each band gives exactly the pixels the whole
    // canvas would give there. A later Resize makes the canvas its own again.
    void DrawInto(const SoftwareCanvas& owner, std::int32_t top, std::int32_t bottom);
    void SetBand(std::int32_t top, std::int32_t bottom) {
        bandTop = top;
        bandBottom = bottom;
    }

private:
    // Whole-texel source rectangle inside the image, no rotation, nearest texel.
    void DrawAxisAligned(const SoftwareImage& image, const ImageDraw& draw);
    // Any rotation, sampling or source rectangle: each covered pixel is mapped back.
    void DrawTransformed(const SoftwareImage& image, const ImageDraw& draw, double cosine, double sine);
    void Fill(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, std::uint32_t value);

    std::vector<std::uint32_t> buffer;
    std::uint32_t* pixels = nullptr;  // buffer's, or the owner's when drawing a band
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bandTop = 0;  // rows drawn: [bandTop, bandBottom) within the canvas
    std::int32_t bandBottom = INT32_MAX;
    // Scratch of the image being drawn, kept so that steady frames allocate nothing.
    std::vector<std::int32_t> sourceColumns;  // texel column per destination column
    std::vector<std::int32_t> sourceRows;     // texel row per destination row
    std::vector<std::uint32_t> expandedRow;   // one texel row, scaled and mirrored
    std::vector<std::uint32_t> tintedRow;     // the same row after the tint
};

// Limits on what one image may claim: each side, the total (a few bytes of a
// header can claim gigabytes), and the file itself.
constexpr std::int32_t kMaxImageSide = 16384;
constexpr std::int64_t kMaxImagePixels = 4096 * 4096;  // 64 MiB decoded
constexpr std::size_t kMaxImageFileBytes = 64u * 1024u * 1024u;

// Decodes PNG, JPEG, BMP, GIF or TGA bytes; null when they are not such an image
// or it exceeds the limits above. PNG and JPEG go through libpng and
// libjpeg-turbo (GDI+ on Windows); BMP, GIF and TGA through stb_image.
std::unique_ptr<SoftwareImage> DecodeImageBytes(const unsigned char* data, std::size_t size);
// The same for a regular file of at most kMaxImageFileBytes.
std::unique_ptr<SoftwareImage> DecodeImageFile(const std::filesystem::path& path);
// Straight RGBA texels to the premultiplied form images are drawn from.
std::unique_ptr<SoftwareImage> ImageFromRgba(std::int32_t width, std::int32_t height, const unsigned char* rgba);
// True when an image of this size is within the limits.
bool ImageSizeAllowed(std::int64_t width, std::int64_t height);

}  // namespace Quorvane
