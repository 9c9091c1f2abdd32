#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/AudioCommand.h"
#include "app/Log.h"
#include "project/ProjectConfig.h"
#include "render/DrawTypes.h"

namespace Quorvane {

struct CameraState {
    float x = 0.0f;
    float y = 0.0f;
    float zoom = 1.0f;
    float viewWidth = 1280.0f;
    float viewHeight = 720.0f;
};

struct RectCommand {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    Color color;
};

using DebugRectCommand = RectCommand;

// A resolved texture path shared by every sprite that names it: the protocol
// resolves a path once and hands out copies that cost a reference count, not a
// heap allocation per sprite. Equal pointers mean equal paths.
class SharedPath {
public:
    struct Resolved {
        std::filesystem::path path;
        std::string text;  // UTF-8, the sort key and the texture cache key
    };

    SharedPath() = default;
    SharedPath(std::filesystem::path path)  // NOLINT: a plain path converts, for callers that have one
        : resolved(std::make_shared<const Resolved>(Resolved{path, PathToString(path)})) {}

    const std::filesystem::path& Path() const { return resolved ? resolved->path : Empty().path; }
    const std::string& Text() const { return resolved ? resolved->text : Empty().text; }
    operator const std::filesystem::path&() const { return Path(); }  // NOLINT
    const void* Identity() const { return resolved.get(); }

    friend bool operator==(const SharedPath& a, const std::filesystem::path& b) { return a.Path() == b; }
    friend bool operator==(const SharedPath& a, const SharedPath& b) {
        return a.resolved == b.resolved || a.Text() == b.Text();
    }

private:
    static const Resolved& Empty() {
        static const Resolved empty;
        return empty;
    }
    std::shared_ptr<const Resolved> resolved;
};

struct SpriteCommand {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    Color color;
    SharedPath texturePath;  // absolute and normalised
    bool flipX = false;
    bool flipY = false;
};

struct ColliderCommand {
    std::int32_t id = 0;
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

// A span of FrameSnapshot::strings: texts and paths of the frame's drawables live
// in one buffer, so a steady frame allocates nothing for them.
struct TextRef {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

enum class DrawKind : std::uint8_t { Rect, Sprite, Text, DebugRect };

// One drawable of the "draw" extension. Which fields count depends on kind.
struct DrawItem {
    DrawKind kind = DrawKind::Rect;
    DrawSpace space = DrawSpace::World;
    std::int32_t layer = 0;
    float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;  // text: width is the size in pixels
    ColorA color;                                           // fill, tint, text or outline colour
    // Sprites: source rectangle in texels (used when hasSource), rotation in
    // radians clockwise on screen about the origin (relative to x, y; the centre
    // when !hasOrigin).
    float sourceX = 0.0f, sourceY = 0.0f, sourceWidth = 0.0f, sourceHeight = 0.0f;
    float rotation = 0.0f;
    float originX = 0.0f, originY = 0.0f;
    bool hasSource = false, hasOrigin = false, flipX = false, flipY = false, smooth = false;
    TextAlign align = TextAlign::Left;
    TextRef path;  // sprite texture or text font (absolute; empty font = the default)
    TextRef text;  // UTF-8, line breaks as '\n'
};

// Window changes a host asked for this frame ("input" extension); unset: no change.
struct WindowRequests {
    std::optional<std::string> title;
    std::optional<bool> fullscreen;
    std::optional<bool> cursorVisible;
    std::optional<bool> fullscreenToggle;
};

// One frame of script output. The lists are emptied each frame; the camera is kept.
struct FrameSnapshot {
    CameraState camera;
    std::vector<RectCommand> rects;
    std::vector<SpriteCommand> sprites;
    std::vector<DebugRectCommand> debugRects;
    std::vector<ColliderCommand> colliders;
    std::vector<DrawItem> items;  // extended drawables, in arrival order
    std::string strings;          // the bytes behind the items' TextRefs
    std::vector<AudioCommand> audio;  // "audio" extension, applied when the frame is rendered
    WindowRequests window;
    std::int64_t hostAllocatedBytes = -1;  // XSTATS of this frame; -1 when none came

    TextRef AddString(std::string_view text) {
        const TextRef ref{static_cast<std::uint32_t>(strings.size()), static_cast<std::uint32_t>(text.size())};
        strings.append(text);
        return ref;
    }
    std::string_view String(TextRef ref) const { return std::string_view(strings).substr(ref.offset, ref.length); }

    // clear() keeps the capacity, so a steady frame allocates nothing.
    void ClearLists() {
        rects.clear();
        sprites.clear();
        debugRects.clear();
        colliders.clear();
        items.clear();
        strings.clear();
        audio.clear();
        window = {};
        hostAllocatedBytes = -1;
    }
};

}  // namespace Quorvane
