#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <stb_truetype.h>

#include "render/text/FontCheck.h"

namespace Quorvane {

// A TrueType/OpenType font read with stb_truetype. The script host reads the same
// tables (vertical metrics, advances, cmap) for MeasureText, so layout here and
// there agrees to the pixel: no kerning, no hinting, float arithmetic in the
// order of TextLayout below.
class Font {
public:
    // Null when the bytes are not a font stb_truetype can read safely (see FontCheck).
    static std::unique_ptr<Font> FromBytes(std::vector<unsigned char> bytes);
    // The font that ships inside the runtime.
    static const Font& Default();

    // Sizes are limited so that one glyph always fits the atlas.
    static constexpr float kMaxPixelSize = 1024.0f;

    float ScaleForPixelSize(float size) const { return size / static_cast<float>(ascent - descent); }
    int Ascent() const { return ascent; }
    int Descent() const { return descent; }
    int LineGap() const { return lineGap; }
    int GlyphIndex(std::uint32_t codepoint) const { return check.GlyphIndex(codepoint); }
    int Advance(int glyph) const;
    const stbtt_fontinfo& Info() const { return info; }
    std::uint32_t Id() const { return id; }

private:
    Font() = default;
    std::vector<unsigned char> data;
    stbtt_fontinfo info{};
    FontCheck check;
    int ascent = 0, descent = 0, lineGap = 0;
    std::uint32_t id = 0;
};

// Decodes one code point at index, advancing it; malformed UTF-8 yields U+FFFD.
std::uint32_t NextCodepoint(std::string_view text, std::size_t& index);

struct TextSize {
    float width = 0.0f;
    float height = 0.0f;
};

// A size the runtime draws at: NaN and sizes <= 0 draw nothing (0), larger than
// the limit are clamped.
float EffectiveTextSize(float size);

// Lays out UTF-8 text at a pixel size: lines split at '\n' ('\r' is skipped),
// each glyph advanced by its advance times the scale, summed left to right.
// visit(glyph, penX, line) is called per code point with penX relative to the
// line's start; glyph 0 means the font lacks the character.
template <typename Visit>
void ForEachGlyph(const Font& font, std::string_view text, float size, Visit&& visit) {
    const float scale = font.ScaleForPixelSize(size);
    float penX = 0.0f;
    int line = 0;
    std::size_t index = 0;
    while (index < text.size()) {
        const std::uint32_t codepoint = NextCodepoint(text, index);
        if (codepoint == '\n') {
            penX = 0.0f;
            ++line;
            continue;
        }
        if (codepoint == '\r') continue;
        const int glyph = font.GlyphIndex(codepoint);
        visit(glyph, penX, line);
        penX += static_cast<float>(font.Advance(glyph)) * scale;
    }
}

// Width of each line in pixels, in order.
void MeasureLines(const Font& font, std::string_view text, float size, std::vector<float>& widths);
// The widest line, and (lines - 1) line heights plus one ascent-to-descent height.
TextSize MeasureText(const Font& font, std::string_view text, float size);
// The same with the line widths kept in a caller's buffer: no allocation once it has grown.
TextSize MeasureText(const Font& font, std::string_view text, float size, std::vector<float>& widths);
float LineHeight(const Font& font, float size);

}  // namespace Quorvane
