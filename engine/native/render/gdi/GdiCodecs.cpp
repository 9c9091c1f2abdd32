// PNG and JPEG for the software canvas on Windows, through GDI+ like the GDI
// canvas's own images.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <vector>

#include "render/software/ImageCodecs.h"

namespace Quorvane {
namespace {

std::unique_ptr<SoftwareImage> DecodeWithGdiplus(const unsigned char* data, std::size_t size) {
    if (size > 0x7FFFFFFF) return nullptr;
    Gdiplus::GdiplusStartupInput startupInput;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &startupInput, nullptr) != Gdiplus::Ok) return nullptr;
    std::unique_ptr<SoftwareImage> result;
    if (IStream* stream = SHCreateMemStream(data, static_cast<UINT>(size))) {
        {
            Gdiplus::Bitmap bitmap(stream, FALSE);
            const std::int64_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
            Gdiplus::BitmapData locked{};
            const Gdiplus::Rect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
            if (bitmap.GetLastStatus() == Gdiplus::Ok && ImageSizeAllowed(width, height) &&
                bitmap.LockBits(&whole, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &locked) == Gdiplus::Ok) {
                // GDI+ rows are B, G, R, A bytes.
                std::vector<unsigned char> rgba(static_cast<std::size_t>(width) * height * 4);
                for (std::int64_t y = 0; y < height; ++y) {
                    const auto* row = static_cast<const unsigned char*>(locked.Scan0) + y * locked.Stride;
                    unsigned char* out = rgba.data() + static_cast<std::size_t>(y) * width * 4;
                    for (std::int64_t x = 0; x < width; ++x, row += 4, out += 4) {
                        out[0] = row[2];
                        out[1] = row[1];
                        out[2] = row[0];
                        out[3] = row[3];
                    }
                }
                bitmap.UnlockBits(&locked);
                result = ImageFromRgba(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), rgba.data());
            }
        }
        stream->Release();
    }
    Gdiplus::GdiplusShutdown(token);
    return result;
}

}  // namespace

std::unique_ptr<SoftwareImage> DecodePng(const unsigned char* data, std::size_t size) { return DecodeWithGdiplus(data, size); }
std::unique_ptr<SoftwareImage> DecodeJpeg(const unsigned char* data, std::size_t size) { return DecodeWithGdiplus(data, size); }

}  // namespace Quorvane
