#include "scripting/DrawLines.h"

#include <cmath>
#include <optional>
#include <string>

#include "app/Numbers.h"

namespace Quorvane {
namespace {

// Beyond this a text is cut: a host cannot make one line rasterise megabytes of glyphs.
constexpr std::size_t kMaxTextBytes = 64 * 1024;

enum SpriteFlags : std::int32_t {
    kFlipX = 1,
    kFlipY = 2,
    kSmooth = 4,
    kHasSource = 8,
    kHasOrigin = 16,
};

// Reads named fields left to right; the first fault is reported and the rest skipped.
class Reader {
public:
    Reader(ProtocolState& state, std::string_view tag) : state(state), tag(tag) {}

    bool Count(std::size_t expected) {
        if (state.fields.size() == expected) return true;
        return Fault("expected " + std::to_string(expected) + " fields, got " + std::to_string(state.fields.size()));
    }
    float Float(std::size_t index, const char* name) {
        if (!ok) return 0.0f;
        const std::optional<float> value = ParseFloatPrefix(state.fields[index]);
        if (!value) Fault(std::string(name) + " is not a number");
        return value.value_or(0.0f);
    }
    std::int32_t Int(std::size_t index, const char* name, std::int32_t low, std::int32_t high) {
        if (!ok) return 0;
        const std::optional<std::int32_t> value = ParseIntPrefix(state.fields[index]);
        if (!value || *value < low || *value > high) {
            Fault(std::string(name) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
            return 0;
        }
        return *value;
    }
    std::int32_t Layer(std::size_t index) { return Int(index, "layer", INT32_MIN, INT32_MAX); }
    DrawSpace Space(std::size_t index) { return static_cast<DrawSpace>(Int(index, "space", 0, 1)); }
    ColorA Colour(std::size_t first) {
        ColorA color;
        color.r = static_cast<std::uint8_t>(Int(first, "red", 0, 255));
        color.g = static_cast<std::uint8_t>(Int(first + 1, "green", 0, 255));
        color.b = static_cast<std::uint8_t>(Int(first + 2, "blue", 0, 255));
        color.a = static_cast<std::uint8_t>(Int(first + 3, "alpha", 0, 255));
        return color;
    }
    // layer|space|x|y|width|height|r|g|b|a from field 1 on: the head of XRECT,
    // XDEBUG_RECT and XSPRITE.
    DrawItem Placed(DrawKind kind) {
        DrawItem item;
        item.kind = kind;
        item.layer = Layer(1);
        item.space = Space(2);
        item.x = Float(3, "x");
        item.y = Float(4, "y");
        item.width = Float(5, "width");
        item.height = Float(6, "height");
        item.color = Colour(7);
        return item;
    }
    bool Fault(const std::string& fault) {
        if (ok) ReportLineFault(state, tag, fault);
        ok = false;
        return false;
    }
    bool Ok() const { return ok; }

private:
    ProtocolState& state;
    std::string_view tag;
    bool ok = true;
};

// TAG|layer|space|x|y|width|height|r|g|b|a
void ParseBoxLine(ProtocolState& state, std::string_view line, std::string_view tag, DrawKind kind) {
    SplitFields(line, state.fields);
    Reader reader(state, tag);
    if (!reader.Count(11)) return;
    const DrawItem item = reader.Placed(kind);
    if (reader.Ok()) state.snapshot.items.push_back(item);
}

// The n-th "|" of a line, or npos.
std::size_t NthBar(std::string_view line, int n) {
    std::size_t at = std::string_view::npos;
    for (int i = 0; i < n; ++i) {
        at = line.find('|', at == std::string_view::npos ? 0 : at + 1);
        if (at == std::string_view::npos) break;
    }
    return at;
}

}  // namespace

void AppendUnescapedText(std::string_view escaped, std::string& out) {
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\\' && i + 1 < escaped.size() && (escaped[i + 1] == 'n' || escaped[i + 1] == '\\')) {
            out += escaped[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += c;
        }
    }
}

void ParseExtendedRectLine(ProtocolState& state, std::string_view line) {
    ParseBoxLine(state, line, "XRECT", DrawKind::Rect);
}

void ParseExtendedDebugRectLine(ProtocolState& state, std::string_view line) {
    ParseBoxLine(state, line, "XDEBUG_RECT", DrawKind::DebugRect);
}

// XSPRITE|layer|space|x|y|w|h|r|g|b|a|flags|sx|sy|sw|sh|rotation|ox|oy|texture
void ParseExtendedSpriteLine(ProtocolState& state, std::string_view line) {
    SplitFields(line, state.fields);
    Reader reader(state, "XSPRITE");
    if (!reader.Count(20)) return;
    DrawItem item = reader.Placed(DrawKind::Sprite);
    const std::int32_t flags = reader.Int(11, "flags", 0, 31);
    item.sourceX = reader.Float(12, "source x");
    item.sourceY = reader.Float(13, "source y");
    item.sourceWidth = reader.Float(14, "source width");
    item.sourceHeight = reader.Float(15, "source height");
    item.rotation = reader.Float(16, "rotation");
    item.originX = reader.Float(17, "origin x");
    item.originY = reader.Float(18, "origin y");
    if (!reader.Ok()) return;
    if (state.fields[19].empty()) {
        reader.Fault("the texture is empty");
        return;
    }
    const ResolvedPath* texture = ResolveTexture(state, state.fields[19]);
    if (texture == nullptr) {
        reader.Fault("the texture path cannot be resolved");
        return;
    }
    item.flipX = (flags & kFlipX) != 0;
    item.flipY = (flags & kFlipY) != 0;
    item.smooth = (flags & kSmooth) != 0;
    item.hasSource = (flags & kHasSource) != 0;
    item.hasOrigin = (flags & kHasOrigin) != 0;
    item.path = state.snapshot.AddString(texture->text);
    state.snapshot.items.push_back(item);
}

// XTEXT|layer|space|x|y|size|r|g|b|a|align|font|text (the text is the rest of the line)
void ParseTextLine(ProtocolState& state, std::string_view line) {
    Reader reader(state, "XTEXT");
    const std::size_t textStart = NthBar(line, 12);
    if (textStart == std::string_view::npos) {
        reader.Fault("expected 13 fields");
        return;
    }
    // Up to and with the bar before the text, so that an empty font still counts.
    SplitFields(line.substr(0, textStart + 1), state.fields);
    if (!reader.Count(12)) return;
    DrawItem item;
    item.kind = DrawKind::Text;
    item.layer = reader.Layer(1);
    item.space = reader.Space(2);
    item.x = reader.Float(3, "x");
    item.y = reader.Float(4, "y");
    item.width = reader.Float(5, "size");
    item.color = reader.Colour(6);
    item.align = static_cast<TextAlign>(reader.Int(10, "align", 0, 2));
    if (!reader.Ok()) return;
    if (!state.fields[11].empty()) {
        const ResolvedPath* font = ResolveTexture(state, state.fields[11]);
        if (font == nullptr) {
            reader.Fault("the font path cannot be resolved");
            return;
        }
        item.path = state.snapshot.AddString(font->text);
    }
    std::string_view text = line.substr(textStart + 1);
    if (text.size() > kMaxTextBytes) text = text.substr(0, kMaxTextBytes);
    FrameSnapshot& snapshot = state.snapshot;
    item.text.offset = static_cast<std::uint32_t>(snapshot.strings.size());
    AppendUnescapedText(text, snapshot.strings);
    item.text.length = static_cast<std::uint32_t>(snapshot.strings.size() - item.text.offset);
    snapshot.items.push_back(item);
}

}  // namespace Quorvane
