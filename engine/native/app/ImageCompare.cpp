#include "app/ImageCompare.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>


#include "app/Log.h"
#include "render/Canvas.h"
#include "render/software/SoftwareCanvas.h"

namespace Quorvane {

std::filesystem::path DiffImagePath(const std::filesystem::path& expected) {
    std::filesystem::path diff = expected;
    diff.replace_filename(expected.stem().string() + ".diff.png");
    return diff;
}

bool CompareWithImage(const PixelView& frame, const std::filesystem::path& expected, ImageComparison& result,
                      std::string& error) {
    if (frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0) {
        error = "No frame was drawn to compare with " + PathToString(expected) + ".";
        return false;
    }
    const std::string name = PathToString(expected);
    if (!FileExists(expected)) {
        error = "The image to compare with was not found: " + name + " (make one with --screenshot).";
        return false;
    }
    // The runtime's own decoders, with their limits: a hostile file costs no more here.
    const std::unique_ptr<SoftwareImage> image = DecodeImageFile(expected);
    if (!image) {
        error = "The image to compare with could not be read: " + name;
        return false;
    }
    const int width = image->Width();
    const int height = image->Height();
    if (width != frame.width || height != frame.height) {
        error = "The image " + name + " is " + std::to_string(width) + "x" + std::to_string(height) + ", the frame is " +
                std::to_string(frame.width) + "x" + std::to_string(frame.height) + ".";
        return false;
    }

    result = {};
    result.total = static_cast<std::int64_t>(width) * height;
    std::vector<std::uint32_t> diff(static_cast<std::size_t>(result.total));
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = frame.pixels + static_cast<std::size_t>(y) * frame.stride;
        const std::uint32_t* texels = image->Row(y);
        for (int x = 0; x < width; ++x) {
            // Screenshots are opaque, so the premultiplied texel is the colour itself.
            const std::uint32_t want = texels[x] & 0xFFFFFFu;
            const std::uint32_t got = row[x] & 0xFFFFFFu;
            std::uint32_t& out = diff[static_cast<std::size_t>(y) * width + x];
            if (want != got) {
                ++result.differing;
                out = 0xFF0000u;
            } else {
                // A faded copy keeps the scene recognisable around the red pixels.
                const auto fade = [](std::uint32_t c) { return 160u + (c & 0xFFu) * 95u / 255u; };
                out = (fade(got >> 16) << 16) | (fade(got >> 8) << 8) | fade(got);
            }
        }
    }
    if (result.differing > 0) {
        result.diffImage = DiffImagePath(expected);
        const PixelView view{diff.data(), width, height, width};
        if (!WritePng(result.diffImage, view)) {
            error = "Could not write the diff image: " + PathToString(result.diffImage);
            return false;
        }
    }
    return true;
}

bool ParseTolerance(const std::string& text, double& tolerance) {
    if (text.empty()) return false;
    std::string number = text;
    double scale = 1.0;
    if (number.back() == '%') {
        number.pop_back();
        scale = 0.01;
    }
    if (number.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || !std::isfinite(value)) return false;
    tolerance = value * scale;
    return tolerance >= 0.0 && tolerance <= 1.0;
}

}  // namespace Quorvane
