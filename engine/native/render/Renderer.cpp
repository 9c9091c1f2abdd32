#include "render/Renderer.h"

#include <algorithm>
#include <cmath>
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
    const ClientSize size = window->GetClientSize();
    canvas->Resize(std::max(size.width, 0), std::max(size.height, 0));
    canvas->FillRect(0, 0, canvas->Width(), canvas->Height(), background);
}

void Renderer::SetCamera(const CameraState& state) {
    camera = state;
    if (camera.zoom <= 0.01f) camera.zoom = 1.0f;
}

float Renderer::WorldToScreenX(float x) const {
    const float screen = (x - camera.x) * camera.zoom;
    return pixelPerfect ? std::roundf(screen) : screen;
}

float Renderer::WorldToScreenY(float y) const {
    const float screen = (y - camera.y) * camera.zoom;
    return pixelPerfect ? std::roundf(screen) : screen;
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
    sorted.clear();
    sorted.reserve(sprites.size());
    for (const SpriteCommand& sprite : sprites) sorted.push_back(&sprite);
    // Byte order of the UTF-8 path decides which sprite lies on top. std::string
    // compares chars through memcmp, that is as unsigned bytes.
    std::sort(sorted.begin(), sorted.end(), [](const SpriteCommand* a, const SpriteCommand* b) {
        std::string scratchA, scratchB;
        return PathKey(a->texturePath, scratchA) < PathKey(b->texturePath, scratchB);
    });
    for (const SpriteCommand* sprite : sorted) DrawSprite(*sprite);
}

void Renderer::DrawSprite(const SpriteCommand& sprite) {
    const Texture* texture = GetTexture(sprite.texturePath);
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
    if (const auto found = textures.find(key); found != textures.end()) return found->second.get();

    auto texture = std::make_unique<Texture>(*lookup);
    const bool ok = texture->Load(*canvas);
    std::string keyText(key);
    if (!ok && reportedMissing.insert(keyText).second) {
        LogWarn("Using fallback rectangle for missing texture: " + keyText);
    }
    return textures.emplace(std::move(keyText), std::move(texture)).first->second.get();
}

}  // namespace Quorvane
