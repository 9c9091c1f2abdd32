#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Window.h"
#include "render/Canvas.h"
#include "render/Texture.h"
#include "render/text/Font.h"
#include "render/text/GlyphAtlas.h"
#include "scripting/FrameSnapshot.h"

namespace Quorvane {

// Float to int by cutting towards zero, saturating instead of overflowing:
// out-of-range values clamp to the int range and NaN becomes 0.
std::int32_t TruncToInt(float value);

// Draws one frame of script output: camera transform, culling, filled
// rectangles, sprites sorted by texture path, debug outlines, present.
class Renderer {
public:
    Renderer() = default;
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    bool Initialize(Window& window, std::unique_ptr<Canvas> canvas);
    void SetTextureRoot(std::filesystem::path root) { textureRoot = std::move(root); }
    void SetPixelPerfect(bool value) { pixelPerfect = value; }
    // Under a scale mode frames keep the configured size whatever the window's.
    void SetFrameSize(std::optional<ClientSize> size) { frameSize = size; }

    void BeginFrame(Color background);
    void SetCamera(const CameraState& state);
    void DrawRects(const std::vector<RectCommand>& rects);
    void DrawSprites(const std::vector<SpriteCommand>& sprites);
    void DrawDebugRects(const std::vector<DebugRectCommand>& rects);
    // The whole frame after BeginFrame: the camera, then world drawables of
    // layers below 0, the base rectangles and sprites, world drawables of layer 0
    // and above, the base debug outlines, and last everything in screen space.
    void DrawSnapshot(const FrameSnapshot& snapshot);
    // The frame drawn so far is finished on other threads while the caller goes
    // on; the next drawing call or Present waits for it.
    void StartDrawing();
    void Present();

    // Drawing in window pixels for the runtime's own screens (errors, overlay).
    // fontKey: a resolved font path in UTF-8, empty for the default font.
    void FillScreenRect(float x, float y, float width, float height, ColorA color);
    void DrawScreenText(std::string_view text, float x, float y, float size, ColorA color,
                        TextAlign align = TextAlign::Left, std::string_view fontKey = {});
    TextSize MeasureScreenText(std::string_view text, float size, std::string_view fontKey = {});
    const GlyphAtlas& Glyphs() const { return glyphs; }

    void DrawFilledRect(float x, float y, float width, float height, Color color);
    void DrawOutlinedRect(float x, float y, float width, float height, Color color);
    bool IsVisible(float x, float y, float width, float height) const;
    float WorldToScreenX(float x) const;
    float WorldToScreenY(float y) const;

    // The texture cache keeps at most this many decoded bytes (a texture bigger
    // than the whole budget is still kept while it is the only one in use): the
    // least recently used textures are released and decoded again when drawn.
    static constexpr std::size_t kDefaultTextureMemory = 512u * 1024u * 1024u;
    void SetTextureMemoryLimit(std::size_t bytes) { textureMemoryLimit = bytes; }
    std::size_t TextureMemory() const { return textureMemory; }

    // The texture cache: one entry per distinct resolved path, loaded on first use.
    Texture* GetTexture(const std::filesystem::path& texturePath);
    std::filesystem::path ResolveTexturePath(const std::filesystem::path& texturePath) const;
    // The same cache, looked up by a resolved path's UTF-8 text.
    Texture* GetTextureByKey(std::string_view key);

    const CameraState& Camera() const { return camera; }
    // The last drawn frame (empty before the first BeginFrame).
    PixelView Pixels() const;

private:
    struct ScreenRect {
        std::int32_t left, top, right, bottom;
    };
    ScreenRect ToScreen(float x, float y, float width, float height) const;
    void DrawSprite(const SpriteCommand& sprite);
    void DrawSprite(const SpriteCommand& sprite, const Texture* texture);
    void DrawDrawable(const FrameSnapshot& snapshot, const DrawItem& item);
    void DrawItemSprite(const FrameSnapshot& snapshot, const DrawItem& item);
    void FillItemRect(ScreenRect rect, ColorA color);
    void OutlineItemRect(ScreenRect rect, ColorA color);
    ScreenRect ToScreenSpace(const DrawItem& item) const;
    void DrawTextAt(const Font& font, std::string_view text, float x, float y, float size, ColorA color, TextAlign align);
    const Font& FontFor(std::string_view key);
    Texture* LoadTexture(std::string key, const std::filesystem::path& path);
    // Marks a cached texture used now, decoding it again if it was released.
    Texture* Use(Texture* texture);
    // Releases least recently used textures other than keep until within budget.
    void KeepWithinBudget(const Texture* keep);

    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };

    Window* window = nullptr;
    std::unique_ptr<Canvas> canvas;
    std::filesystem::path textureRoot;
    CameraState camera;
    bool pixelPerfect = true;
    std::optional<ClientSize> frameSize;  // none: the window's client size
    std::unordered_map<std::string, std::unique_ptr<Texture>, KeyHash, std::equal_to<>> textures;
    std::unordered_set<std::string, KeyHash, std::equal_to<>> reportedMissing;
    std::size_t textureMemoryLimit = kDefaultTextureMemory;
    std::size_t textureMemory = 0;  // decoded bytes of the loaded textures
    std::uint64_t textureUses = 0;
    // Kept between frames so that sorting a steady frame allocates nothing.
    std::vector<const SpriteCommand*> sorted;
    struct PathRank {
        const SharedPath* path;
        std::uint32_t start;  // its sprite count, then where its sprites begin in sorted
    };
    std::vector<PathRank> pathRanks;      // distinct paths of the frame's sprites
    std::vector<std::uint32_t> spriteRanks;  // each sprite's index into pathRanks
    std::vector<std::uint32_t> rankOrder;    // pathRanks sorted by path text
    std::vector<std::uint64_t> order;  // (space, layer, arrival) of each drawable
    std::vector<float> lineWidths;
    std::unordered_map<std::string, std::unique_ptr<Font>, KeyHash, std::equal_to<>> fonts;  // null: use the default
    GlyphAtlas glyphs;
};

}  // namespace Quorvane
