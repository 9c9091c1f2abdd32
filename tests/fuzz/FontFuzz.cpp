// Font files named by XTEXT lines: read, measured and rasterised.
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "render/text/Font.h"
#include "render/text/GlyphAtlas.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto font = Quorvane::Font::FromBytes(std::vector<unsigned char>(data, data + size));
    if (!font) return 0;
    Quorvane::MeasureText(*font, "Ag 1\nW\xC3\xA9", 24.0f);
    static Quorvane::GlyphAtlas atlas;
    for (const std::uint32_t codepoint : {0x41u, 0x67u, 0x20u, 0xE9u, 0x4E2Du}) {
        const int glyph = font->GlyphIndex(codepoint);
        atlas.Get(*font, glyph, font->ScaleForPixelSize(24.0f));
    }
    return 0;
}
