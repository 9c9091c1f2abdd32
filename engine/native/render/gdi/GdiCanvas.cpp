#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/Canvas.h"
#include "render/software/SoftwareCanvas.h"

namespace Quorvane {
namespace {

// GDI+ is started by its first user and shut down by its last.
int gdiplusUsers = 0;
ULONG_PTR gdiplusToken = 0;

void AcquireGdiplus() {
    const int previous = gdiplusUsers++;
    if (previous <= 0) {
        Gdiplus::GdiplusStartupInput startupInput;
        Gdiplus::GdiplusStartup(&gdiplusToken, &startupInput, nullptr);
    }
}

void ReleaseGdiplus() {
    if (gdiplusUsers <= 0) return;
    if (--gdiplusUsers == 0 && gdiplusToken != 0) {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        gdiplusToken = 0;
    }
}

COLORREF ToColorRef(Color color) { return RGB(color.r, color.g, color.b); }

class GdiImage final : public CanvasImage {
public:
    explicit GdiImage(std::unique_ptr<Gdiplus::Bitmap> decoded) : bitmap(std::move(decoded)) {}
    std::int32_t Width() const override { return static_cast<std::int32_t>(bitmap->GetWidth()); }
    std::int32_t Height() const override { return static_cast<std::int32_t>(bitmap->GetHeight()); }
    Gdiplus::Bitmap* Bitmap() const { return bitmap.get(); }

private:
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
};

// The GDI back buffer of the window: a memory DC with a compatible bitmap,
// drawn with brushes, pens and GDI+, copied to the window with one BitBlt.
class GdiCanvas final : public Canvas {
public:
    explicit GdiCanvas(HWND window) : hwnd(window) { AcquireGdiplus(); }
    // Images belong to the texture cache, which the Renderer destroys first.
    ~GdiCanvas() override {
        ReleaseBackBuffer();
        ReleaseGdiplus();
    }

    void Resize(std::int32_t width, std::int32_t height) override {
        if (backBufferDC != nullptr && width == bufferWidth && height == bufferHeight) return;
        ReleaseBackBuffer();
        windowDC = GetDC(hwnd);
        backBufferDC = CreateCompatibleDC(windowDC);
        backBuffer = CreateCompatibleBitmap(windowDC, width, height);
        previousBitmap = SelectObject(backBufferDC, backBuffer);
        bufferWidth = width;
        bufferHeight = height;
    }
    std::int32_t Width() const override { return bufferWidth; }
    std::int32_t Height() const override { return bufferHeight; }

    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) override {
        const RECT rect{left, top, right, bottom};
        const HBRUSH brush = CreateSolidBrush(ToColorRef(color));
        ::FillRect(backBufferDC, &rect, brush);
        DeleteObject(brush);
    }

    void OutlineRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) override {
        const HPEN pen = CreatePen(PS_SOLID, 2, ToColorRef(color));
        const HGDIOBJ oldPen = SelectObject(backBufferDC, pen);
        const HGDIOBJ oldBrush = SelectObject(backBufferDC, GetStockObject(NULL_BRUSH));
        Rectangle(backBufferDC, left, top, right, bottom);
        SelectObject(backBufferDC, oldBrush);
        SelectObject(backBufferDC, oldPen);
        DeleteObject(pen);
    }

    void DrawImage(const CanvasImage& image, float x, float y, float w, float h, bool flipX, bool flipY) override {
        Gdiplus::Graphics graphics(backBufferDC);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        const Gdiplus::GraphicsState state = graphics.Save();
        if (flipX || flipY) {
            const float cx = x + w * 0.5f;
            const float cy = y + h * 0.5f;
            graphics.TranslateTransform(cx, cy, Gdiplus::MatrixOrderPrepend);
            graphics.ScaleTransform(flipX ? -1.0f : 1.0f, flipY ? -1.0f : 1.0f, Gdiplus::MatrixOrderPrepend);
            graphics.TranslateTransform(-cx, -cy, Gdiplus::MatrixOrderPrepend);
        }
        graphics.DrawImage(static_cast<const GdiImage&>(image).Bitmap(), Gdiplus::RectF(x, y, w, h));
        graphics.Restore(state);
    }

    void BlendRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, ColorA color) override {
        if (right <= left || bottom <= top || color.a == 0) return;
        if (color.a == 255) {
            FillRect(left, top, right, bottom, Color{color.r, color.g, color.b});
            return;
        }
        Gdiplus::Graphics graphics(backBufferDC);
        const Gdiplus::SolidBrush brush(Gdiplus::Color(color.a, color.r, color.g, color.b));
        // Integer rectangles in 64 bits: a width beyond the int range is clipped anyway.
        const auto clip = [](std::int64_t v) { return static_cast<INT>(std::clamp<std::int64_t>(v, -(1 << 24), 1 << 24)); };
        const INT l = clip(left), t = clip(top);
        graphics.FillRectangle(&brush, l, t, clip(right) - l, clip(bottom) - t);
    }

    void DrawImageEx(const CanvasImage& image, const ImageDraw& draw) override {
        if (!(draw.width > 0.0f) || !(draw.height > 0.0f) || draw.sourceWidth <= 0 || draw.sourceHeight <= 0 ||
            draw.tint.a == 0 || !std::isfinite(draw.x) || !std::isfinite(draw.y) || !std::isfinite(draw.width) ||
            !std::isfinite(draw.height) || !std::isfinite(draw.rotation)) {
            return;
        }
        Gdiplus::Graphics graphics(backBufferDC);
        graphics.SetInterpolationMode(draw.smooth ? Gdiplus::InterpolationModeBilinear
                                                  : Gdiplus::InterpolationModeNearestNeighbor);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        const float cx = draw.x + draw.width * 0.5f;
        const float cy = draw.y + draw.height * 0.5f;
        if (draw.rotation != 0.0f) {
            graphics.TranslateTransform(draw.originX, draw.originY, Gdiplus::MatrixOrderPrepend);
            graphics.RotateTransform(draw.rotation * 57.29577951308232f, Gdiplus::MatrixOrderPrepend);
            graphics.TranslateTransform(-draw.originX, -draw.originY, Gdiplus::MatrixOrderPrepend);
        }
        if (draw.flipX || draw.flipY) {
            graphics.TranslateTransform(cx, cy, Gdiplus::MatrixOrderPrepend);
            graphics.ScaleTransform(draw.flipX ? -1.0f : 1.0f, draw.flipY ? -1.0f : 1.0f, Gdiplus::MatrixOrderPrepend);
            graphics.TranslateTransform(-cx, -cy, Gdiplus::MatrixOrderPrepend);
        }
        Gdiplus::ImageAttributes attributes;
        // Clamped edges: an atlas cell never samples its neighbours.
        attributes.SetWrapMode(Gdiplus::WrapModeClamp);
        if (draw.tint != ColorA{255, 255, 255, 255}) {
            Gdiplus::ColorMatrix matrix{};
            matrix.m[0][0] = draw.tint.r / 255.0f;
            matrix.m[1][1] = draw.tint.g / 255.0f;
            matrix.m[2][2] = draw.tint.b / 255.0f;
            matrix.m[3][3] = draw.tint.a / 255.0f;
            matrix.m[4][4] = 1.0f;
            attributes.SetColorMatrix(&matrix);
        }
        graphics.DrawImage(static_cast<const GdiImage&>(image).Bitmap(),
                           Gdiplus::RectF(draw.x, draw.y, draw.width, draw.height),
                           static_cast<Gdiplus::REAL>(draw.sourceX), static_cast<Gdiplus::REAL>(draw.sourceY),
                           static_cast<Gdiplus::REAL>(draw.sourceWidth), static_cast<Gdiplus::REAL>(draw.sourceHeight),
                           Gdiplus::UnitPixel, &attributes);
    }

    void BlendMask(const std::uint8_t* mask, std::int32_t stride, std::int32_t width, std::int32_t height, std::int32_t x,
                   std::int32_t y, ColorA color) override {
        if (width <= 0 || height <= 0 || color.a == 0) return;
        // The coverage becomes a premultiplied bitmap of the glyph in its colour,
        // drawn 1:1 so every pixel blends exactly once.
        maskPixels.resize(static_cast<std::size_t>(width) * height);
        for (std::int32_t row = 0; row < height; ++row) {
            for (std::int32_t column = 0; column < width; ++column) {
                const std::uint32_t alpha = (mask[row * stride + column] * color.a + 127) / 255;
                const auto channel = [alpha](std::uint32_t c) { return (c * alpha + 127) / 255; };
                maskPixels[static_cast<std::size_t>(row) * width + column] =
                    (alpha << 24) | (channel(color.r) << 16) | (channel(color.g) << 8) | channel(color.b);
            }
        }
        Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppPARGB,
                               reinterpret_cast<BYTE*>(maskPixels.data()));
        Gdiplus::Graphics graphics(backBufferDC);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        graphics.DrawImage(&bitmap, x, y, width, height);
    }

    std::unique_ptr<CanvasImage> LoadImage(const std::filesystem::path& path) override {
        // The same rules as the software canvas's images: regular files only,
        // within the size limits.
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return nullptr;
        const auto fileSize = std::filesystem::file_size(path, error);
        if (error || fileSize > kMaxImageFileBytes) return nullptr;
        auto bitmap = std::make_unique<Gdiplus::Bitmap>(path.c_str(), FALSE);
        if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
        if (!ImageSizeAllowed(bitmap->GetWidth(), bitmap->GetHeight())) return nullptr;
        return std::make_unique<GdiImage>(std::move(bitmap));
    }

    void Present(Window& window) override {
        if (windowDC == nullptr || backBufferDC == nullptr) return;
        const PresentRect target = window.PresentTarget(bufferWidth, bufferHeight);
        if (target.x == 0 && target.y == 0 && target.width == bufferWidth && target.height == bufferHeight) {
            BitBlt(windowDC, 0, 0, bufferWidth, bufferHeight, backBufferDC, 0, 0, SRCCOPY);
            return;
        }
        // A scale mode: black bars around the picture, nearest-texel scaling for crisp pixels.
        const ClientSize client = window.GetClientSize();
        const RECT bars[] = {
            {0, 0, client.width, target.y},
            {0, target.y + target.height, client.width, client.height},
            {0, target.y, target.x, target.y + target.height},
            {target.x + target.width, target.y, client.width, target.y + target.height},
        };
        for (const RECT& bar : bars) {
            if (bar.right > bar.left && bar.bottom > bar.top) ::FillRect(windowDC, &bar, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
        SetStretchBltMode(windowDC, COLORONCOLOR);
        StretchBlt(windowDC, target.x, target.y, target.width, target.height, backBufferDC, 0, 0, bufferWidth, bufferHeight,
                   SRCCOPY);
    }

    PixelView Pixels() const override {
        if (backBuffer == nullptr || bufferWidth <= 0 || bufferHeight <= 0) return {};
        pixels.resize(static_cast<std::size_t>(bufferWidth) * bufferHeight);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = bufferWidth;
        info.bmiHeader.biHeight = -bufferHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        // The bitmap may not stay selected while its bits are read.
        SelectObject(backBufferDC, previousBitmap);
        GetDIBits(backBufferDC, backBuffer, 0, static_cast<UINT>(bufferHeight), pixels.data(), &info, DIB_RGB_COLORS);
        SelectObject(backBufferDC, backBuffer);
        return {pixels.data(), bufferWidth, bufferHeight, bufferWidth};
    }

private:
    void ReleaseBackBuffer() {
        if (backBufferDC != nullptr && previousBitmap != nullptr) SelectObject(backBufferDC, previousBitmap);
        if (backBuffer != nullptr) DeleteObject(backBuffer);
        if (backBufferDC != nullptr) DeleteDC(backBufferDC);
        if (windowDC != nullptr) ReleaseDC(hwnd, windowDC);
        windowDC = nullptr;
        backBufferDC = nullptr;
        backBuffer = nullptr;
        previousBitmap = nullptr;
        bufferWidth = 0;
        bufferHeight = 0;
    }

    HWND hwnd;
    HDC windowDC = nullptr;
    HDC backBufferDC = nullptr;
    HBITMAP backBuffer = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    std::int32_t bufferWidth = 0;
    std::int32_t bufferHeight = 0;
    mutable std::vector<std::uint32_t> pixels;
    std::vector<std::uint32_t> maskPixels;
};

}  // namespace

std::unique_ptr<Canvas> CreatePlatformCanvas(Window& window) {
    return std::make_unique<GdiCanvas>(static_cast<HWND>(window.NativeHandle()));
}

}  // namespace Quorvane
