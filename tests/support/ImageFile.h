#pragma once

#include <filesystem>
#include <vector>

namespace QuorvaneTest {

// Writes straight RGBA texels (4 bytes each, rows top to bottom) as a PNG file.
bool WriteRgbaPng(const std::filesystem::path& path, int width, int height, const std::vector<unsigned char>& rgba);

}  // namespace QuorvaneTest
