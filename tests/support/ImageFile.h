#pragma once

#include <filesystem>
#include <vector>

namespace QuorvaneTest {

// Writes straight RGBA texels (4 bytes each, rows top to bottom) as a PNG file.
bool WriteRgbaPng(const std::filesystem::path& path, int width, int height, const std::vector<unsigned char>& rgba);

// An opaque image file (a screenshot, a golden image) as R, G, B bytes, read by the
// runtime's own decoders; empty when it cannot be decoded.
std::vector<unsigned char> LoadRgb(const std::filesystem::path& path, int& width, int& height);

// A test failure unless the image at shot has the golden image's size and every one
// of its pixels. With QUORVANE_UPDATE_GOLDEN set, shot becomes the golden image first.
void ExpectMatchesGolden(const std::filesystem::path& shot, const std::filesystem::path& golden);

}  // namespace QuorvaneTest
