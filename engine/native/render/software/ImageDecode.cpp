#include <cstring>

#include <stb_image.h>

#include "render/software/ImageCodecs.h"
#include "render/software/SoftwareCanvas.h"

namespace Quorvane {
namespace {

bool HasPrefix(const unsigned char* data, std::size_t size, const char* magic, std::size_t length) {
    return size >= length && std::memcmp(data, magic, length) == 0;
}

// BMP, GIF and TGA: the header is read first, so a file that claims too many
// pixels is refused before anything is allocated for it.
std::unique_ptr<SoftwareImage> DecodeWithStb(const unsigned char* data, std::size_t size) {
    if (size > static_cast<std::size_t>(INT32_MAX)) return nullptr;
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return nullptr;
    if (!ImageSizeAllowed(width, height)) return nullptr;
    std::unique_ptr<stbi_uc, void (*)(void*)> rgba(stbi_load_from_memory(data, length, &width, &height, &channels, 4),
                                                  stbi_image_free);
    if (!rgba || !ImageSizeAllowed(width, height)) return nullptr;
    return ImageFromRgba(width, height, rgba.get());
}

}  // namespace

std::unique_ptr<SoftwareImage> DecodeImageBytes(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size == 0) return nullptr;
    if (HasPrefix(data, size, "\x89PNG\r\n\x1a\n", 8)) return DecodePng(data, size);
    if (HasPrefix(data, size, "\xFF\xD8\xFF", 3)) return DecodeJpeg(data, size);
    return DecodeWithStb(data, size);
}

}  // namespace Quorvane
