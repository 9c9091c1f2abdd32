#include "render/Renderer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>

#include "app/Log.h"

namespace Quorvane {
namespace {

// The UTF-8 text of a path without a copy where paths are narrow already.
template <typename Path>
std::string_view PathKey(const Path& path, std::string& scratch) {
    if constexpr (std::is_same_v<typename Path::value_type, char>) {
        return path.native();
    } else {
        scratch = PathToString(path);
        return scratch;
    }
}

// Beyond this many font files the default font serves, so a host that names a new
// font every frame cannot fill memory.
constexpr std::size_t kMaxFonts = 64;
// Font files past this size are refused (large CJK fonts stay well below it).
constexpr std::size_t kMaxFontFileBytes = 64u * 1024u * 1024u;
constexpr std::uint64_t kArrivalBits = 30;
constexpr std::size_t kMaxDrawables = std::size_t{1} << kArrivalBits;

std::uint64_t OrderKey(const DrawItem& item, std::size_t arrival) {
    const std::uint64_t layer = static_cast<std::uint32_t>(item.layer) ^ 0x80000000u;  // sorts as signed
    return (std::uint64_t{static_cast<std::uint8_t>(item.space)} << 62) | (layer << kArrivalBits) | arrival;
}
bool KeyIsWorld(std::uint64_t key) { return (key >> 62) == 0; }
std::int32_t KeyLayer(std::uint64_t key) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(key >> kArrivalBits) ^ 0x80000000u);
}
std::size_t KeyArrival(std::uint64_t key) { return key & ((std::uint64_t{1} << kArrivalBits) - 1); }

// roundf (halves away from zero) without the library call it is compiled to,
// which cost a few percent of a busy frame: below 2^23 the cut to an int is exact
// and so is the fraction left over; larger values, infinities and NaN are whole
// already or stay what they are.
float RoundHalfAway(float value) {
    if (!(std::fabs(value) < 8388608.0f)) return value;
    float whole = static_cast<float>(static_cast<std::int32_t>(value));
    const float fraction = value - whole;
    if (fraction >= 0.5f) whole += 1.0f;
    if (fraction <= -0.5f) whole -= 1.0f;
    return std::copysign(whole, value);
}

// Source rectangles are whole texels; a float beyond the int range saturates.
std::int32_t RoundToInt(float value) { return TruncToInt(RoundHalfAway(value)); }

}  // namespace

std::int32_t TruncToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

bool Renderer::Initialize(Window& target, std::unique_ptr<Canvas> backend) {
    window = &target;
    canvas = std::move(backend);
    return canvas != nullptr;
}

void Renderer::BeginFrame(Color background) {
    const ClientSize size = frameSize ? *frameSize : window->GetClientSize();
    canvas->Resize(std::max(size.width, 0), std::max(size.height, 0));
    canvas->FillRect(0, 0, canvas->Width(), canvas->Height(), background);
}

void Renderer::SetCamera(const CameraState& state) {
    camera = state;
    if (camera.zoom <= 0.01f) camera.zoom = 1.0f;
}

float Renderer::WorldToScreenX(float x) const {
    const float screen = (x - camera.x) * camera.zoom;
    return pixelPerfect ? RoundHalfAway(screen) : screen;
}

float Renderer::WorldToScreenY(float y) const {
    const float screen = (y - camera.y) * camera.zoom;
    return pixelPerfect ? RoundHalfAway(screen) : screen;
}

bool Renderer::IsVisible(float x, float y, float width, float height) const {
    return x < camera.x + camera.viewWidth / camera.zoom && x + width > camera.x &&
           y < camera.y + camera.viewHeight / camera.zoom && y + height > camera.y;
}

Renderer::ScreenRect Renderer::ToScreen(float x, float y, float width, float height) const {
    const float sx = WorldToScreenX(x);
    const float sy = WorldToScreenY(y);
    const float sw = width * camera.zoom;
    const float sh = height * camera.zoom;
    return {TruncToInt(sx), TruncToInt(sy), TruncToInt(sx + sw), TruncToInt(sy + sh)};
}

void Renderer::DrawFilledRect(float x, float y, float width, float height, Color color) {
    if (!IsVisible(x, y, width, height)) return;
    const ScreenRect rect = ToScreen(x, y, width, height);
    canvas->FillRect(rect.left, rect.top, rect.right, rect.bottom, color);
}

void Renderer::DrawOutlinedRect(float x, float y, float width, float height, Color color) {
    if (!IsVisible(x, y, width, height)) return;
    const ScreenRect rect = ToScreen(x, y, width, height);
    canvas->OutlineRect(rect.left, rect.top, rect.right, rect.bottom, color);
}

void Renderer::DrawRects(const std::vector<RectCommand>& rects) {
    for (const RectCommand& rect : rects) DrawFilledRect(rect.x, rect.y, rect.width, rect.height, rect.color);
}

void Renderer::DrawDebugRects(const std::vector<DebugRectCommand>& rects) {
    for (const DebugRectCommand& rect : rects) DrawOutlinedRect(rect.x, rect.y, rect.width, rect.height, rect.color);
}

void Renderer::DrawSprites(const std::vector<SpriteCommand>& sprites) {
    // Byte order of the UTF-8 path decides which sprite lies on top (ties in no set
    // order). A frame names few distinct paths, shared by pointer: those are sorted
    // once each and the sprites placed by a counting sort, with no string compare
    // per pair of sprites. Many distinct paths take a plain sort instead.
    constexpr std::size_t kMaxRanked = 64;
    sorted.resize(sprites.size());
    pathRanks.clear();
    spriteRanks.resize(sprites.size());
    bool ranked = true;
    for (std::size_t i = 0; i < sprites.size() && ranked; ++i) {
        const void* identity = sprites[i].texturePath.Identity();
        if (i > 0 && identity == sprites[i - 1].texturePath.Identity()) {
            spriteRanks[i] = spriteRanks[i - 1];
            continue;
        }
        std::size_t k = 0;
        while (k < pathRanks.size() && pathRanks[k].path->Identity() != identity) ++k;
        if (k == pathRanks.size()) {
            if (pathRanks.size() == kMaxRanked) ranked = false;
            pathRanks.push_back({&sprites[i].texturePath, 0});
        }
        spriteRanks[i] = static_cast<std::uint32_t>(k);
    }
    if (ranked) {
        rankOrder.resize(pathRanks.size());
        for (std::size_t k = 0; k < rankOrder.size(); ++k) rankOrder[k] = static_cast<std::uint32_t>(k);
        std::sort(rankOrder.begin(), rankOrder.end(), [&](std::uint32_t a, std::uint32_t b) {
            return pathRanks[a].path->Text() < pathRanks[b].path->Text();
        });
        for (const std::uint32_t rank : spriteRanks) ++pathRanks[rank].start;  // counts first
        std::uint32_t start = 0;
        for (const std::uint32_t k : rankOrder) {
            const std::uint32_t count = pathRanks[k].start;
            pathRanks[k].start = start;
            start += count;
        }
        for (std::size_t i = 0; i < sprites.size(); ++i) sorted[pathRanks[spriteRanks[i]].start++] = &sprites[i];
    } else {
        for (std::size_t i = 0; i < sprites.size(); ++i) sorted[i] = &sprites[i];
        std::sort(sorted.begin(), sorted.end(), [](const SpriteCommand* a, const SpriteCommand* b) {
            if (a->texturePath.Identity() == b->texturePath.Identity()) return false;
            return a->texturePath.Text() < b->texturePath.Text();
        });
    }

    // Sorted, a texture's sprites come in one run: one cache lookup per run.
    const void* lastPath = nullptr;
    const Texture* lastTexture = nullptr;
    for (const SpriteCommand* sprite : sorted) {
        if (lastTexture == nullptr || sprite->texturePath.Identity() != lastPath || lastPath == nullptr) {
            lastTexture = GetTexture(sprite->texturePath);
            lastPath = sprite->texturePath.Identity();
        }
        DrawSprite(*sprite, lastTexture);
    }
}

void Renderer::DrawSprite(const SpriteCommand& sprite) { DrawSprite(sprite, GetTexture(sprite.texturePath)); }

void Renderer::DrawSprite(const SpriteCommand& sprite, const Texture* texture) {
    if (!texture->IsLoaded()) {
        DrawFilledRect(sprite.x, sprite.y, sprite.width, sprite.height, sprite.color);
        return;
    }
    if (!IsVisible(sprite.x, sprite.y, sprite.width, sprite.height)) return;
    const float sx = WorldToScreenX(sprite.x);
    const float sy = WorldToScreenY(sprite.y);
    canvas->DrawImage(*texture->GetImage(), sx, sy, sprite.width * camera.zoom, sprite.height * camera.zoom,
                      sprite.flipX, sprite.flipY);
}

void Renderer::DrawSnapshot(const FrameSnapshot& snapshot) {
    SetCamera(snapshot.camera);
    const std::size_t count = std::min(snapshot.items.size(), kMaxDrawables);
    order.resize(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = OrderKey(snapshot.items[i], i);
    std::sort(order.begin(), order.end());
    std::size_t next = 0;
    const auto drawWhile = [&](auto&& condition) {
        for (; next < order.size() && condition(order[next]); ++next) {
            DrawDrawable(snapshot, snapshot.items[KeyArrival(order[next])]);
        }
    };
    drawWhile([](std::uint64_t key) { return KeyIsWorld(key) && KeyLayer(key) < 0; });
    DrawRects(snapshot.rects);
    DrawSprites(snapshot.sprites);
    drawWhile([](std::uint64_t key) { return KeyIsWorld(key); });
    DrawDebugRects(snapshot.debugRects);
    drawWhile([](std::uint64_t) { return true; });
}

Renderer::ScreenRect Renderer::ToScreenSpace(const DrawItem& item) const {
    if (item.space == DrawSpace::World) return ToScreen(item.x, item.y, item.width, item.height);
    return {TruncToInt(item.x), TruncToInt(item.y), TruncToInt(item.x + item.width), TruncToInt(item.y + item.height)};
}

void Renderer::FillItemRect(ScreenRect rect, ColorA color) {
    canvas->BlendRect(rect.left, rect.top, rect.right, rect.bottom, color);
}

void Renderer::OutlineItemRect(ScreenRect rect, ColorA color) {
    if (color.a == 255) {
        canvas->OutlineRect(rect.left, rect.top, rect.right, rect.bottom, Color{color.r, color.g, color.b});
        return;
    }
    // The same 2-pixel outline as the opaque one, cut into four strips that do not
    // overlap, so no pixel is blended twice.
    const std::int64_t l = std::min(rect.left, rect.right), r = std::max(rect.left, rect.right);
    const std::int64_t t = std::min(rect.top, rect.bottom), b = std::max(rect.top, rect.bottom);
    if (l == r || t == b) return;
    const auto clamp = [](std::int64_t v) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); };
    const std::int64_t innerTop = std::min(t + 1, b), innerBottom = std::max(b - 2, innerTop);
    canvas->BlendRect(clamp(l - 1), clamp(t - 1), clamp(r), clamp(innerTop), color);
    canvas->BlendRect(clamp(l - 1), clamp(innerBottom), clamp(r), clamp(b), color);
    const std::int64_t leftEnd = std::min(l + 1, r), rightStart = std::max(r - 2, leftEnd);
    canvas->BlendRect(clamp(l - 1), clamp(innerTop), clamp(leftEnd), clamp(innerBottom), color);
    canvas->BlendRect(clamp(rightStart), clamp(innerTop), clamp(r), clamp(innerBottom), color);
}

void Renderer::DrawDrawable(const FrameSnapshot& snapshot, const DrawItem& item) {
    const bool world = item.space == DrawSpace::World;
    switch (item.kind) {
        case DrawKind::Rect:
            if (world && !IsVisible(item.x, item.y, item.width, item.height)) return;
            FillItemRect(ToScreenSpace(item), item.color);
            return;
        case DrawKind::DebugRect:
            if (world && !IsVisible(item.x, item.y, item.width, item.height)) return;
            OutlineItemRect(ToScreenSpace(item), item.color);
            return;
        case DrawKind::Sprite:
            DrawItemSprite(snapshot, item);
            return;
        case DrawKind::Text: {
            const float size = EffectiveTextSize(world ? item.width * camera.zoom : item.width);
            if (size == 0.0f || !std::isfinite(item.x) || !std::isfinite(item.y)) return;
            const float x = world ? WorldToScreenX(item.x) : item.x;
            const float y = world ? WorldToScreenY(item.y) : item.y;
            DrawTextAt(FontFor(snapshot.String(item.path)), snapshot.String(item.text), x, y, size, item.color, item.align);
            return;
        }
    }
}

void Renderer::DrawItemSprite(const FrameSnapshot& snapshot, const DrawItem& item) {
    const bool world = item.space == DrawSpace::World;
    Texture* texture = GetTextureByKey(snapshot.String(item.path));
    if (!texture->IsLoaded()) {
        // A missing texture shows as its rectangle in the tint colour, unturned.
        if (world && !IsVisible(item.x, item.y, item.width, item.height)) return;
        FillItemRect(ToScreenSpace(item), item.color);
        return;
    }
    if (!std::isfinite(item.rotation)) return;
    const float originX = item.hasOrigin ? item.originX : item.width * 0.5f;
    const float originY = item.hasOrigin ? item.originY : item.height * 0.5f;
    if (world) {
        // Cull the turned rectangle by its bounding box in world units.
        const double c = std::abs(std::cos(double{item.rotation})), s = std::abs(std::sin(double{item.rotation}));
        const double w = item.width, h = item.height;
        const double cx = item.x + originX, cy = item.y + originY;
        const double dx = w * 0.5 - originX, dy = h * 0.5 - originY;  // centre relative to the pivot
        const double centreX = cx + std::cos(double{item.rotation}) * dx - std::sin(double{item.rotation}) * dy;
        const double centreY = cy + std::sin(double{item.rotation}) * dx + std::cos(double{item.rotation}) * dy;
        const double halfW = (w * c + h * s) * 0.5, halfH = (w * s + h * c) * 0.5;
        if (!IsVisible(static_cast<float>(centreX - halfW), static_cast<float>(centreY - halfH),
                       static_cast<float>(2 * halfW), static_cast<float>(2 * halfH))) {
            return;
        }
    }
    const CanvasImage& image = *texture->GetImage();
    ImageDraw draw;
    if (item.hasSource) {
        draw.sourceX = RoundToInt(item.sourceX);
        draw.sourceY = RoundToInt(item.sourceY);
        draw.sourceWidth = RoundToInt(item.sourceWidth);
        draw.sourceHeight = RoundToInt(item.sourceHeight);
    } else {
        draw.sourceWidth = image.Width();
        draw.sourceHeight = image.Height();
    }
    const float zoom = world ? camera.zoom : 1.0f;
    draw.x = world ? WorldToScreenX(item.x) : item.x;
    draw.y = world ? WorldToScreenY(item.y) : item.y;
    draw.width = item.width * zoom;
    draw.height = item.height * zoom;
    draw.originX = draw.x + originX * zoom;
    draw.originY = draw.y + originY * zoom;
    draw.rotation = item.rotation;
    draw.flipX = item.flipX;
    draw.flipY = item.flipY;
    draw.smooth = item.smooth;
    draw.tint = item.color;
    canvas->DrawImageEx(image, draw);
}

void Renderer::DrawTextAt(const Font& font, std::string_view text, float x, float y, float size, ColorA color,
                          TextAlign align) {
    if (color.a == 0) return;
    const float scale = font.ScaleForPixelSize(size);
    const float lineHeight = LineHeight(font, size);
    const float ascent = static_cast<float>(font.Ascent()) * scale;
    MeasureLines(font, text, size, lineWidths);
    ForEachGlyph(font, text, size, [&](int glyphIndex, float penX, int line) {
        const float lineWidth = lineWidths[static_cast<std::size_t>(line)];
        const float start = align == TextAlign::Center ? x - lineWidth * 0.5f : align == TextAlign::Right ? x - lineWidth : x;
        const std::int32_t pen = TruncToInt(std::floor(start + penX + 0.5f));
        const std::int32_t baseline = TruncToInt(std::floor(y + ascent + static_cast<float>(line) * lineHeight + 0.5f));
        // A glyph this far out is not visible, and the offsets added below
        // (glyph bearings, strokes: under 2^20) could overflow at the int limits.
        constexpr std::int32_t kFar = 1 << 30;
        if (pen < -kFar || pen > kFar || baseline < -kFar || baseline > kFar) return;
        if (glyphIndex == 0) {
            // The font lacks the character: an outlined box in its advance.
            const float advance = static_cast<float>(font.Advance(0)) * scale;
            const std::int32_t left = TruncToInt(std::floor(start + penX + advance * 0.15f + 0.5f));
            const std::int32_t right = std::max(TruncToInt(std::floor(start + penX + advance * 0.85f + 0.5f)), left + 2);
            const std::int32_t top = TruncToInt(std::floor(y + ascent + static_cast<float>(line) * lineHeight - size * 0.7f + 0.5f));
            const std::int32_t stroke = std::max(1, TruncToInt(size / 16.0f));
            canvas->BlendRect(left, top, right, top + stroke, color);
            canvas->BlendRect(left, baseline - stroke, right, baseline, color);
            canvas->BlendRect(left, top + stroke, left + stroke, baseline - stroke, color);
            canvas->BlendRect(right - stroke, top + stroke, right, baseline - stroke, color);
            return;
        }
        const GlyphAtlas::Glyph& glyph = glyphs.Get(font, glyphIndex, scale);
        if (glyph.width == 0) return;
        canvas->BlendMask(glyphs.Pixels() + static_cast<std::size_t>(glyph.y) * glyphs.Stride() + glyph.x, glyphs.Stride(),
                          glyph.width, glyph.height, pen + glyph.offsetX, baseline + glyph.offsetY, color);
    });
}

void Renderer::FillScreenRect(float x, float y, float width, float height, ColorA color) {
    DrawItem item;
    item.space = DrawSpace::Screen;
    item.x = x;
    item.y = y;
    item.width = width;
    item.height = height;
    FillItemRect(ToScreenSpace(item), color);
}

void Renderer::DrawScreenText(std::string_view text, float x, float y, float size, ColorA color, TextAlign align,
                              std::string_view fontKey) {
    size = EffectiveTextSize(size);
    if (size == 0.0f || !std::isfinite(x) || !std::isfinite(y)) return;
    DrawTextAt(FontFor(fontKey), text, x, y, size, color, align);
}

TextSize Renderer::MeasureScreenText(std::string_view text, float size, std::string_view fontKey) {
    // The runtime's overlay measures its lines every frame: the widths reuse the renderer's buffer.
    return MeasureText(FontFor(fontKey), text, size, lineWidths);
}

const Font& Renderer::FontFor(std::string_view key) {
    if (key.empty()) return Font::Default();
    if (const auto found = fonts.find(key); found != fonts.end()) {
        return found->second ? *found->second : Font::Default();
    }
    std::unique_ptr<Font> font;
    std::string keyText(key);
    if (fonts.size() >= kMaxFonts) {
        LogWarn("Too many fonts; using the default font for: " + keyText);
    } else {
        const std::filesystem::path path = std::filesystem::u8path(keyText);
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            LogWarn("Font not found: " + keyText + "; using the default font.");
        } else {
            // A regular file of sane size only: a folder (whose read throws) or
            // an endless device is a font that cannot be loaded.
            std::string bytes;
            try {
                bytes = ReadTextFile(path, kMaxFontFileBytes);
                font = Font::FromBytes(std::vector<unsigned char>(bytes.begin(), bytes.end()));
            } catch (const std::exception&) {
                font = nullptr;
            }
            if (!font) LogWarn("Font could not be loaded: " + keyText + "; using the default font.");
        }
    }
    const Font* result = font.get();
    fonts.emplace(std::move(keyText), std::move(font));
    return result ? *result : Font::Default();
}

void Renderer::StartDrawing() { canvas->StartDrawing(); }

void Renderer::Present() { canvas->Present(*window); }

PixelView Renderer::Pixels() const { return canvas ? canvas->Pixels() : PixelView{}; }

std::filesystem::path Renderer::ResolveTexturePath(const std::filesystem::path& texturePath) const {
    if (texturePath.is_absolute()) return texturePath;
    if (textureRoot.empty()) return std::filesystem::current_path() / texturePath;
    return textureRoot / texturePath;
}

Texture* Renderer::GetTexture(const std::filesystem::path& texturePath) {
    std::string scratch;
    // Sprite paths arrive absolute, so the steady path is one hash lookup on the
    // path's own text, without building a new path or string.
    std::filesystem::path resolved;
    const std::filesystem::path* lookup = &texturePath;
    if (!texturePath.is_absolute()) {
        resolved = ResolveTexturePath(texturePath);
        lookup = &resolved;
    }
    const std::string_view key = PathKey(*lookup, scratch);
    if (const auto found = textures.find(key); found != textures.end()) return Use(found->second.get());
    return LoadTexture(std::string(key), *lookup);
}

Texture* Renderer::GetTextureByKey(std::string_view key) {
    if (const auto found = textures.find(key); found != textures.end()) return Use(found->second.get());
    std::string keyText(key);
    const std::filesystem::path path = std::filesystem::u8path(keyText);
    return LoadTexture(std::move(keyText), path);
}

Texture* Renderer::LoadTexture(std::string keyText, const std::filesystem::path& path) {
    auto texture = std::make_unique<Texture>(path);
    const bool ok = texture->Load(*canvas);
    if (!ok && reportedMissing.insert(keyText).second) {
        LogWarn("Using fallback rectangle for missing texture: " + keyText);
    }
    Texture* result = textures.emplace(std::move(keyText), std::move(texture)).first->second.get();
    result->lastUse = ++textureUses;
    if (ok) {
        textureMemory += result->DecodedBytes();
        KeepWithinBudget(result);
    }
    return result;
}

Texture* Renderer::Use(Texture* texture) {
    texture->lastUse = ++textureUses;
    if (texture->IsReleased() && texture->Load(*canvas)) {
        textureMemory += texture->DecodedBytes();
        KeepWithinBudget(texture);
    }
    return texture;
}

void Renderer::KeepWithinBudget(const Texture* keep) {
    while (textureMemory > textureMemoryLimit) {
        Texture* oldest = nullptr;
        for (auto& [key, texture] : textures) {
            if (texture.get() == keep || !texture->IsLoaded()) continue;
            if (oldest == nullptr || texture->lastUse < oldest->lastUse) oldest = texture.get();
        }
        if (oldest == nullptr) return;
        textureMemory -= oldest->DecodedBytes();
        oldest->Release();
    }
}

}  // namespace Quorvane
