#include "render/text/GlyphAtlas.h"

#include <algorithm>
#include <cstring>

namespace Quorvane {

void GlyphAtlas::Reset() {
    glyphs.clear();
    std::fill(pixels.begin(), pixels.end(), std::uint8_t{0});
    shelfX = shelfY = shelfHeight = 0;
}

const GlyphAtlas::Glyph& GlyphAtlas::Get(const Font& font, int glyphIndex, float scale) {
    std::uint32_t scaleBits = 0;
    std::memcpy(&scaleBits, &scale, sizeof scaleBits);
    const std::uint64_t key = (std::uint64_t{font.Id() & 0xFFFFu} << 48) |
                              (std::uint64_t{static_cast<std::uint32_t>(glyphIndex) & 0xFFFFu} << 32) | scaleBits;
    if (const auto found = glyphs.find(key); found != glyphs.end()) return found->second;

    if (pixels.empty()) pixels.assign(static_cast<std::size_t>(kSide) * kSide, 0);
    Glyph glyph;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBox(&font.Info(), glyphIndex, scale, scale, &x0, &y0, &x1, &y1);
    glyph.offsetX = x0;
    glyph.offsetY = y0;
    // One blank texel column and row between glyphs; a glyph never exceeds the
    // atlas because text sizes are capped well below its side.
    const std::int32_t width = std::clamp(x1 - x0, 0, kSide - 1);
    const std::int32_t height = std::clamp(y1 - y0, 0, kSide - 1);
    if (width > 0 && height > 0) {
        if (shelfX + width + 1 > kSide) {
            shelfX = 0;
            shelfY += shelfHeight + 1;
            shelfHeight = 0;
        }
        if (shelfY + height + 1 > kSide) Reset();
        glyph.x = shelfX;
        glyph.y = shelfY;
        glyph.width = width;
        glyph.height = height;
        stbtt_MakeGlyphBitmap(&font.Info(), pixels.data() + static_cast<std::size_t>(glyph.y) * kSide + glyph.x, width,
                              height, kSide, scale, scale, glyphIndex);
        shelfX += width + 1;
        shelfHeight = std::max(shelfHeight, height);
        ++rasterised;
    }
    return glyphs.emplace(key, glyph).first->second;
}

}  // namespace Quorvane
