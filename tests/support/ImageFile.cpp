#include "support/ImageFile.h"

#include <fstream>

#include <stb_image_write.h>

namespace QuorvaneTest {

bool WriteRgbaPng(const std::filesystem::path& path, int width, int height, const std::vector<unsigned char>& rgba) {
    std::ofstream file(path, std::ios::binary);
    const auto write = [](void* context, void* data, int size) {
        static_cast<std::ofstream*>(context)->write(static_cast<const char*>(data), size);
    };
    return stbi_write_png_to_func(write, &file, width, height, 4, rgba.data(), width * 4) != 0 && file.good();
}

}  // namespace QuorvaneTest
