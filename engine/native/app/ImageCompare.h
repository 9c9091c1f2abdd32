#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Window.h"

namespace Quorvane {

struct ImageComparison {
    std::int64_t differing = 0;  // pixels whose red, green or blue differ
    std::int64_t total = 0;
    std::filesystem::path diffImage;  // written when any pixel differs
};

// Compares the frame with a PNG file, pixel by pixel on red, green and blue.
// When any pixel differs, writes "<name>.diff.png" beside the file: differing
// pixels red, the others a faded copy of the frame. False with a message when
// the file cannot be read or has another size.
bool CompareWithImage(const PixelView& frame, const std::filesystem::path& expected, ImageComparison& result,
                      std::string& error);

// The diff image's path for an expected image: "shots/level1.png" -> "shots/level1.diff.png".
std::filesystem::path DiffImagePath(const std::filesystem::path& expected);

// "0.01" or "1%": a share of the pixels between 0 and 1.
bool ParseTolerance(const std::string& text, double& tolerance);

}  // namespace Quorvane
