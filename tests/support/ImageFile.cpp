#include "support/ImageFile.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include <stb_image_write.h>

#include "render/software/SoftwareCanvas.h"

namespace QuorvaneTest {

bool WriteRgbaPng(const std::filesystem::path& path, int width, int height, const std::vector<unsigned char>& rgba) {
    std::ofstream file(path, std::ios::binary);
    const auto write = [](void* context, void* data, int size) {
        static_cast<std::ofstream*>(context)->write(static_cast<const char*>(data), size);
    };
    return stbi_write_png_to_func(write, &file, width, height, 4, rgba.data(), width * 4) != 0 && file.good();
}

std::vector<unsigned char> LoadRgb(const std::filesystem::path& path, int& width, int& height) {
    const std::unique_ptr<Quorvane::SoftwareImage> image = Quorvane::DecodeImageFile(path);
    if (!image) return {};
    width = image->Width();
    height = image->Height();
    std::vector<unsigned char> rgb;
    rgb.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t pixel = image->Row(y)[x];
            rgb.push_back(static_cast<unsigned char>(pixel >> 16));
            rgb.push_back(static_cast<unsigned char>(pixel >> 8));
            rgb.push_back(static_cast<unsigned char>(pixel));
        }
    }
    return rgb;
}

void ExpectMatchesGolden(const std::filesystem::path& shot, const std::filesystem::path& golden) {
    if (std::getenv("QUORVANE_UPDATE_GOLDEN") != nullptr) {
        std::filesystem::copy_file(shot, golden, std::filesystem::copy_options::overwrite_existing);
    }
    int width = 0, height = 0, goldenWidth = 0, goldenHeight = 0;
    const std::vector<unsigned char> actual = LoadRgb(shot, width, height);
    const std::vector<unsigned char> expected = LoadRgb(golden, goldenWidth, goldenHeight);
    ASSERT_FALSE(actual.empty()) << shot;
    ASSERT_FALSE(expected.empty()) << golden;
    ASSERT_EQ(width, goldenWidth);
    ASSERT_EQ(height, goldenHeight);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) differing += actual[i] != expected[i];
    EXPECT_EQ(differing, 0u) << shot << " differs from " << golden;
}

}  // namespace QuorvaneTest
