#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Presentation.h"

namespace Quorvane {

struct Color {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Color&) const = default;
};

struct WindowSettings {
    std::int32_t width = 1280;
    std::int32_t height = 720;
    std::string title = "Quorvane";
    // Beyond the base keys; their defaults keep the default window.
    ScaleMode scaleMode = ScaleMode::None;  // "scaleMode"
    bool resizable = true;                  // "resizable"
    bool fullscreen = false;                // "fullscreen": start in desktop fullscreen
    bool cursorVisible = true;              // "cursorVisible"
};

struct ProjectConfig {
    std::string name;
    std::filesystem::path projectRoot;
    std::filesystem::path mainAssemblyPath;
    std::string mainClass;
    std::string startScene;
    WindowSettings windowSettings;
    Color backgroundColor{0x12, 0x14, 0x1a};
    bool pixelPerfect = true;
    std::int32_t targetFps = 240;
    bool enableFrameLimiter = true;
    // "overlapFrames": the host computes frame N+1 while frame N is drawn, which
    // shows each frame one frame later.
    bool overlapFrames = false;
    float maxDeltaTime = 0.05f;
    float fixedDeltaTime = 1.0f / 60.0f;
    float x = 0.0f;
    float y = 0.0f;
    // "overlayKey": the virtual-key code that shows the diagnostics overlay; none: no key does.
    std::optional<std::uint32_t> overlayKey = 0x72;  // F3
};

// The project file is not parsed as JSON: each key is searched for anywhere in
// the text, first occurrence of the right shape wins, and a key of another
// shape counts as absent. Out-of-range numbers throw std::out_of_range.
std::string ReadJsonString(const std::string& json, const std::string& key, const std::string& fallback);
std::int32_t ReadJsonInt(const std::string& json, const std::string& key, std::int32_t fallback);
float ReadJsonFloat(const std::string& json, const std::string& key, float fallback);
bool ReadJsonBool(const std::string& json, const std::string& key, bool fallback);
// "#rrggbb"; anything else, or a pair that does not start with a hex digit, gives the fallback.
Color ParseColor(const std::string& text, Color fallback);

// Fills config from <projectPath>/project.json. On false the reason is logged.
bool LoadProject(const std::filesystem::path& projectPath, ProjectConfig& config);

}  // namespace Quorvane
