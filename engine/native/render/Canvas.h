#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/Window.h"
#include "project/ProjectConfig.h"

namespace Quorvane {

// A decoded image, in whatever form its canvas draws fastest.
class CanvasImage {
public:
    virtual ~CanvasImage() = default;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
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
    // Decodes an image file; null when it is not an image this canvas can draw.
    virtual std::unique_ptr<CanvasImage> LoadImage(const std::filesystem::path& path) = 0;
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
