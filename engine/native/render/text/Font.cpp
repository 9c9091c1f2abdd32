#include "render/text/Font.h"

#include <algorithm>
#include <atomic>
#include <cmath>

extern "C" const unsigned char quorvane_default_font[];
extern "C" const unsigned char quorvane_default_font_end[];

namespace Quorvane {

std::unique_ptr<Font> Font::FromBytes(std::vector<unsigned char> bytes) {
    static std::atomic<std::uint32_t> nextId{1};
    std::unique_ptr<Font> font(new Font());
    font->data = std::move(bytes);
    if (font->data.size() < 12 || !font->check.Check(font->data.data(), font->data.size())) return nullptr;
    const int offset = stbtt_GetFontOffsetForIndex(font->data.data(), 0);
    if (offset < 0 || !stbtt_InitFont(&font->info, font->data.data(), offset)) return nullptr;
    stbtt_GetFontVMetrics(&font->info, &font->ascent, &font->descent, &font->lineGap);
    // A font whose ascent does not lie above its descent cannot be scaled.
    if (font->ascent - font->descent <= 0) return nullptr;
    font->id = nextId++;
    return font;
}

const Font& Font::Default() {
    static const std::unique_ptr<Font> font =
        FromBytes(std::vector<unsigned char>(quorvane_default_font, quorvane_default_font_end));
    return *font;
}

int Font::Advance(int glyph) const {
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(&info, glyph, &advance, &bearing);
    return advance;
}

std::uint32_t NextCodepoint(std::string_view text, std::size_t& index) {
    constexpr std::uint32_t kReplacement = 0xFFFD;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(index++);
    if (lead < 0x80) return lead;
    int extra = 0;
    std::uint32_t codepoint = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        codepoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        codepoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        codepoint = lead & 0x07;
    } else {
        return kReplacement;
    }
    for (int i = 0; i < extra; ++i) {
        if (index >= text.size() || (byte(index) & 0xC0) != 0x80) return kReplacement;
        codepoint = (codepoint << 6) | (byte(index++) & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (codepoint < kSmallest[extra] || codepoint > 0x10FFFF || (codepoint >= 0xD800 && codepoint <= 0xDFFF)) {
        return kReplacement;
    }
    return codepoint;
}

float EffectiveTextSize(float size) {
    if (!(size > 0.0f)) return 0.0f;
    return std::min(size, Font::kMaxPixelSize);
}

float LineHeight(const Font& font, float size) {
    return static_cast<float>(font.Ascent() - font.Descent() + font.LineGap()) * font.ScaleForPixelSize(size);
}

void MeasureLines(const Font& font, std::string_view text, float size, std::vector<float>& widths) {
    widths.assign(1, 0.0f);
    const float scale = font.ScaleForPixelSize(size);
    ForEachGlyph(font, text, size, [&](int glyph, float penX, int line) {
        if (static_cast<std::size_t>(line) >= widths.size()) widths.resize(static_cast<std::size_t>(line) + 1, 0.0f);
        widths[static_cast<std::size_t>(line)] = penX + static_cast<float>(font.Advance(glyph)) * scale;
    });
    // A text that ends in a line break has an empty last line.
    std::size_t lines = 1;
    for (const char c : text) lines += c == '\n';
    widths.resize(lines, 0.0f);
}

TextSize MeasureText(const Font& font, std::string_view text, float size) {
    std::vector<float> widths;
    return MeasureText(font, text, size, widths);
}

TextSize MeasureText(const Font& font, std::string_view text, float size, std::vector<float>& widths) {
    size = EffectiveTextSize(size);
    if (size == 0.0f) return {};
    MeasureLines(font, text, size, widths);
    TextSize result;
    result.width = *std::max_element(widths.begin(), widths.end());
    result.height = static_cast<float>(widths.size() - 1) * LineHeight(font, size) +
                    static_cast<float>(font.Ascent() - font.Descent()) * font.ScaleForPixelSize(size);
    return result;
}

}  // namespace Quorvane
