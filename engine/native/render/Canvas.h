#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/Window.h"
#include "project/ProjectConfig.h"
#include "render/DrawTypes.h"

namespace Quorvane {

// A decoded image, in whatever form its canvas draws fastest.
class CanvasImage {
public:
    virtual ~CanvasImage() = default;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
};

// One image drawn with every option. The destination rectangle is in canvas
// pixels before rotation; the picture turns by rotation radians (clockwise on
// screen) about the origin.
struct ImageDraw {
    std::int32_t sourceX = 0, sourceY = 0;          // texels; outside the image is transparent
    std::int32_t sourceWidth = 0, sourceHeight = 0;
    float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;
    float rotation = 0.0f;
    float originX = 0.0f, originY = 0.0f;           // canvas pixels
    bool flipX = false, flipY = false;
    bool smooth = false;                            // bilinear instead of nearest texel
    ColorA tint{255, 255, 255, 255};                // multiplied, alpha included
};

// The drawing backend behind the Renderer. Integer rectangles follow GDI:
// [left, right) x [top, bottom), clipped to the buffer. What a backend provides:
class Canvas {
public:
    virtual ~Canvas() = default;
    // Sizes the back buffer to the client area; rebuilt only when the size changes.
    virtual void Resize(std::int32_t width, std::int32_t height) = 0;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    // Fills [left, right) x [top, bottom); nothing when right <= left or bottom <= top.
    virtual void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) = 0;
    // GDI's Rectangle with a 2-pixel solid pen and a hollow brush.
    virtual void OutlineRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) = 0;
    // The whole image scaled into the float rectangle, nearest texel, mirrored in
    // place when flipped, blended source-over.
    virtual void DrawImage(const CanvasImage& image, float x, float y, float width, float height, bool flipX, bool flipY) = 0;
    // Source-over fill of [left, right) x [top, bottom) with a translucent colour.
    virtual void BlendRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, ColorA color) = 0;
    // An image with a source rectangle, rotation, tint and sampling of its own.
    virtual void DrawImageEx(const CanvasImage& image, const ImageDraw& draw) = 0;
    // An 8-bit coverage mask (a glyph) in one colour, its top-left at x, y.
    virtual void BlendMask(const std::uint8_t* mask, std::int32_t stride, std::int32_t width, std::int32_t height,
                           std::int32_t x, std::int32_t y, ColorA color) = 0;
    // Decodes an image file; null when it is not an image this canvas can draw.
    virtual std::unique_ptr<CanvasImage> LoadImage(const std::filesystem::path& path) = 0;
    // Starts drawing the calls made so far on other threads and returns at once,
    // for a caller with other work meanwhile; any later call waits for them. A
    // canvas that draws as it is called has nothing to start.
    virtual void StartDrawing() {}
    // Shows the back buffer in the window.
    virtual void Present(Window& window) = 0;
    // The back buffer's pixels (for screenshots); valid until the next Resize.
    virtual PixelView Pixels() const = 0;
};

// Draws in memory; presents through Window::Present. Every platform has it.
std::unique_ptr<Canvas> CreateSoftwareCanvas();
// The canvas for a desktop window of this platform (GDI on Windows).
std::unique_ptr<Canvas> CreatePlatformCanvas(Window& window);

// Writes pixels as a PNG file; false when the file cannot be written.
bool WritePng(const std::filesystem::path& path, const PixelView& pixels);

}  // namespace Quorvane
