#pragma once

#include <cstdint>

namespace Quorvane {

// A colour with straight (not premultiplied) alpha; 255 is opaque.
struct ColorA {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 255;
    bool operator==(const ColorA&) const = default;
};

enum class DrawSpace : std::uint8_t { World = 0, Screen = 1 };
enum class TextAlign : std::uint8_t { Left = 0, Center = 1, Right = 2 };

}  // namespace Quorvane
