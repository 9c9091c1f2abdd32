#include "project/ProjectConfig.h"

#include <charconv>
#include <exception>
#include <regex>
#include <stdexcept>

#include "app/Log.h"

namespace Quorvane {
namespace {

bool Search(const std::string& json, const std::string& key, const char* suffix, std::string& value) {
    const std::regex pattern("\"" + key + suffix, std::regex::ECMAScript);
    std::smatch match;
    if (!std::regex_search(json, match, pattern)) return false;
    value = match[1].str();
    return true;
}

}  // namespace

std::string ReadJsonString(const std::string& json, const std::string& key, const std::string& fallback) {
    std::string value;
    return Search(json, key, R"re("\s*:\s*"([^"]*)")re", value) ? value : fallback;
}

std::int32_t ReadJsonInt(const std::string& json, const std::string& key, std::int32_t fallback) {
    std::string digits;
    if (!Search(json, key, R"re("\s*:\s*([0-9]+))re", digits)) return fallback;
    // Read as unsigned 32-bit and reinterpret, so 4294967295 wraps to -1 the
    // same way on every platform; anything wider is an error.
    std::uint64_t value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    if (result.ec != std::errc() || value > 0xFFFFFFFFull) {
        throw std::out_of_range("stoul argument out of range");
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

float ReadJsonFloat(const std::string& json, const std::string& key, float fallback) {
    std::string text;
    if (!Search(json, key, R"re("\s*:\s*(-?[0-9]+(?:\.[0-9]+)?))re", text)) return fallback;
    float value = 0.0f;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc()) {
        throw std::out_of_range("stof argument out of range");
    }
    return value;
}

bool ReadJsonBool(const std::string& json, const std::string& key, bool fallback) {
    std::string value;
    return Search(json, key, R"re("\s*:\s*(true|false))re", value) ? value == "true" : fallback;
}

Color ParseColor(const std::string& text, Color fallback) {
    if (text.size() != 7 || text[0] != '#') return fallback;
    std::uint8_t channels[3];
    for (int i = 0; i < 3; ++i) {
        try {
            channels[i] = static_cast<std::uint8_t>(std::stoul(text.substr(1 + 2 * i, 2), nullptr, 16) & 0xFF);
        } catch (const std::exception&) {
            return fallback;
        }
    }
    return Color{channels[0], channels[1], channels[2]};
}

bool LoadProject(const std::filesystem::path& projectPath, ProjectConfig& config) {
    try {
        const std::filesystem::path root = std::filesystem::weakly_canonical(std::filesystem::absolute(projectPath));
        const std::string json = ReadTextFile(root / "project.json");

        std::filesystem::path folder = root;
        if (!folder.has_filename()) folder = folder.parent_path();
        config.name = ReadJsonString(json, "name", PathToString(folder.filename()));
        config.projectRoot = root;
        config.mainClass = ReadJsonString(json, "mainClass", config.mainClass);
        config.startScene = ReadJsonString(json, "startScene", config.startScene);
        config.mainAssemblyPath = ResolvePath(root, std::filesystem::u8path(ReadJsonString(json, "mainAssembly", "")));

        WindowSettings& window = config.windowSettings;
        window.width = ReadJsonInt(json, "width", window.width);
        window.height = ReadJsonInt(json, "height", window.height);
        window.title = ReadJsonString(json, "title", window.title);
        config.backgroundColor = ParseColor(ReadJsonString(json, "backgroundColor", "#12141a"), config.backgroundColor);
        config.pixelPerfect = ReadJsonBool(json, "pixelPerfect", config.pixelPerfect);
        config.targetFps = ReadJsonInt(json, "targetFps", config.targetFps);
        config.enableFrameLimiter = ReadJsonBool(json, "enableFrameLimiter", config.enableFrameLimiter);
        config.maxDeltaTime = ReadJsonFloat(json, "maxDeltaTime", config.maxDeltaTime);

        const std::int32_t fixedPhysicsFps = ReadJsonInt(json, "fixedPhysicsFps", 60);
        if (fixedPhysicsFps > 0) {
            config.fixedDeltaTime = 1.0f / static_cast<float>(fixedPhysicsFps);
        } else {
            config.fixedDeltaTime = ReadJsonFloat(json, "fixedDeltaTime", config.fixedDeltaTime);
        }
        config.x = ReadJsonFloat(json, "x", 0.0f);
        config.y = ReadJsonFloat(json, "y", 0.0f);
    } catch (const std::exception& error) {
        LogError(error.what());
        return false;
    }
    if (config.mainClass.empty()) {
        LogError("project.json must define mainClass.");
        return false;
    }
    return true;
}

}  // namespace Quorvane
