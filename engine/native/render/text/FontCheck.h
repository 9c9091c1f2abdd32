#pragma once

#include <cstddef>
#include <cstdint>

namespace Quorvane {

// The structure of a TrueType font, checked before stb_truetype reads it, and
// its character lookup done with bounds.
class FontCheck {
public:
    // True when every table, glyph outline and composite reference that
    // stb_truetype follows lies within the bytes. The bytes must outlive this.
    bool Check(const unsigned char* data, std::size_t size);
    // The glyph of a character, 0 when the font lacks it.
    int GlyphIndex(std::uint32_t codepoint) const;

private:
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t map = 0, mapEnd = 0;  // the character map's bytes
    std::uint32_t numGlyphs = 0;
};

}  // namespace Quorvane
