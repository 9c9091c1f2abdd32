#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "project/ProjectConfig.h"

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

struct SpriteCommand {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    Color color;
    std::filesystem::path texturePath;  // absolute and normalised
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

// One frame of script output. The lists are emptied each frame; the camera is kept.
struct FrameSnapshot {
    CameraState camera;
    std::vector<RectCommand> rects;
    std::vector<SpriteCommand> sprites;
    std::vector<DebugRectCommand> debugRects;
    std::vector<ColliderCommand> colliders;

    // clear() keeps the capacity, so a steady frame allocates nothing.
    void ClearLists() {
        rects.clear();
        sprites.clear();
        debugRects.clear();
        colliders.clear();
    }
};

}  // namespace Quorvane
