#include <cstdio>
#include <exception>
#include <memory>

#include <stb_image_write.h>

#include "app/Log.h"
#include "render/software/SoftwareCanvas.h"

namespace Quorvane {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Paths are wide on Windows; fopen would take them through the ANSI code page.
File OpenFile(const std::filesystem::path& path, bool write) {
#if defined(_WIN32)
    return File(_wfopen(path.c_str(), write ? L"wb" : L"rb"));
#else
    return File(std::fopen(path.c_str(), write ? "wb" : "rb"));
#endif
}

void WriteToFile(void* context, void* data, int size) {
    std::fwrite(data, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(context));
}

}  // namespace

bool ImageSizeAllowed(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide && width * height <= kMaxImagePixels;
}

std::unique_ptr<SoftwareImage> ImageFromRgba(std::int32_t width, std::int32_t height, const unsigned char* rgba) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    const unsigned char* texel = rgba;
    for (std::uint32_t& pixel : pixels) {
        const std::uint32_t a = texel[3];
        const auto premultiply = [a](std::uint32_t c) { return (c * a + 127u) / 255u; };
        pixel = (a << 24) | (premultiply(texel[0]) << 16) | (premultiply(texel[1]) << 8) | premultiply(texel[2]);
        texel += 4;
    }
    return std::make_unique<SoftwareImage>(width, height, std::move(pixels));
}

std::unique_ptr<SoftwareImage> DecodeImageFile(const std::filesystem::path& path) {
    std::string bytes;
    try {
        // Regular files only, and no more than an image file can sensibly be.
        bytes = ReadTextFile(path, kMaxImageFileBytes);
    } catch (const std::exception&) {
        return nullptr;
    }
    return DecodeImageBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool WritePng(const std::filesystem::path& path, const PixelView& view) {
    if (view.pixels == nullptr || view.width <= 0 || view.height <= 0) return false;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(view.width) * view.height * 3);
    unsigned char* out = rgb.data();
    for (std::int32_t y = 0; y < view.height; ++y) {
        const std::uint32_t* row = view.pixels + static_cast<std::size_t>(y) * view.stride;
        for (std::int32_t x = 0; x < view.width; ++x) {
            *out++ = static_cast<unsigned char>(row[x] >> 16);
            *out++ = static_cast<unsigned char>(row[x] >> 8);
            *out++ = static_cast<unsigned char>(row[x]);
        }
    }
    const File file = OpenFile(path, true);
    if (!file) return false;
    const bool encoded = stbi_write_png_to_func(WriteToFile, file.get(), view.width, view.height, 3, rgb.data(), view.width * 3) != 0;
    return encoded && std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
}

}  // namespace Quorvane
