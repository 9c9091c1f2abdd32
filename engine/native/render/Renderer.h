#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Window.h"
#include "render/Canvas.h"
#include "render/Texture.h"
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

    void BeginFrame(Color background);
    void SetCamera(const CameraState& state);
    void DrawRects(const std::vector<RectCommand>& rects);
    void DrawSprites(const std::vector<SpriteCommand>& sprites);
    void DrawDebugRects(const std::vector<DebugRectCommand>& rects);
    void Present();

    void DrawFilledRect(float x, float y, float width, float height, Color color);
    void DrawOutlinedRect(float x, float y, float width, float height, Color color);
    bool IsVisible(float x, float y, float width, float height) const;
    float WorldToScreenX(float x) const;
    float WorldToScreenY(float y) const;

    // The texture cache: one entry per distinct resolved path, loaded on first use.
    Texture* GetTexture(const std::filesystem::path& texturePath);
    std::filesystem::path ResolveTexturePath(const std::filesystem::path& texturePath) const;

    const CameraState& Camera() const { return camera; }
    // The last drawn frame (empty before the first BeginFrame).
    PixelView Pixels() const;

private:
    struct ScreenRect {
        std::int32_t left, top, right, bottom;
    };
    ScreenRect ToScreen(float x, float y, float width, float height) const;
    void DrawSprite(const SpriteCommand& sprite);

    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };

    Window* window = nullptr;
    std::unique_ptr<Canvas> canvas;
    std::filesystem::path textureRoot;
    CameraState camera;
    bool pixelPerfect = true;
    std::unordered_map<std::string, std::unique_ptr<Texture>, KeyHash, std::equal_to<>> textures;
    std::unordered_set<std::string, KeyHash, std::equal_to<>> reportedMissing;
    // Kept between frames so that sorting a steady frame allocates nothing.
    std::vector<const SpriteCommand*> sorted;
};

}  // namespace Quorvane
