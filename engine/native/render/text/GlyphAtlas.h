#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "render/text/Font.h"

namespace Quorvane {

// Rasterised glyphs of every font and size in one 8-bit coverage image, packed in
// shelves. A steady frame finds all its glyphs here and rasterises nothing; when
// the atlas is full it starts over (the frames after that rasterise again).
class GlyphAtlas {
public:
    static constexpr std::int32_t kSide = 2048;

    struct Glyph {
        std::int32_t x = 0, y = 0;            // top-left in the atlas
        std::int32_t width = 0, height = 0;   // 0 for blank glyphs (spaces)
        std::int32_t offsetX = 0, offsetY = 0;  // from the pen position on the baseline
    };

    const Glyph& Get(const Font& font, int glyph, float scale);
    const std::uint8_t* Pixels() const { return pixels.data(); }
    std::int32_t Stride() const { return kSide; }
    // Glyphs rasterised since the start (tests: a steady frame adds none).
    std::uint64_t Rasterised() const { return rasterised; }

private:
    void Reset();

    std::vector<std::uint8_t> pixels;
    std::unordered_map<std::uint64_t, Glyph> glyphs;
    std::int32_t shelfX = 0, shelfY = 0, shelfHeight = 0;
    std::uint64_t rasterised = 0;
};

}  // namespace Quorvane
