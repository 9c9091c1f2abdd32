#include "project/ProjectConfig.h"

#include "app/DiagnosticsOverlay.h"

#include <charconv>
#include <map>
#include <string_view>
#include <exception>
#include <stdexcept>

#include "app/Log.h"
#include "project/ProjectJsonCheck.h"

namespace Quorvane {
namespace {

// The value shapes a key may have; each matches at a position or not.
enum class Shape { String, Digits, Decimal, Boolean };

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Matches the value of the given shape at text[at]; on success the value text
// goes to value. The shapes are those of the patterns "([^"]*)", ([0-9]+),
// (-?[0-9]+(?:\.[0-9]+)?) and (true|false).
bool MatchValue(const std::string& text, std::size_t at, Shape shape, std::string& value) {
    const std::size_t size = text.size();
    std::size_t end = at;
    switch (shape) {
        case Shape::String: {
            if (at >= size || text[at] != '"') return false;
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string::npos) return false;
            value.assign(text, at + 1, close - at - 1);
            return true;
        }
        case Shape::Digits:
            while (end < size && IsDigit(text[end])) ++end;
            break;
        case Shape::Decimal: {
            if (end < size && text[end] == '-') ++end;
            const std::size_t digits = end;
            while (end < size && IsDigit(text[end])) ++end;
            if (end == digits) return false;
            if (end + 1 < size && text[end] == '.' && IsDigit(text[end + 1])) {
                end += 2;
                while (end < size && IsDigit(text[end])) ++end;
            }
            break;
        }
        case Shape::Boolean:
            if (text.compare(at, 4, "true") == 0) end = at + 4;
            else if (text.compare(at, 5, "false") == 0) end = at + 5;
            break;
    }
    if (end == at) return false;
    value.assign(text, at, end - at);
    return true;
}

// The leftmost "key" followed by blanks, a colon, blanks and a value of the shape,
// as a regular-expression search for that sequence would find it. Written out by
// hand: the standard library's regex recurses per character and overflows the
// stack on long values.
bool Search(const std::string& json, const std::string& key, Shape shape, std::string& value,
            std::size_t* position = nullptr) {
    const std::string quotedKey = "\"" + key + "\"";
    for (std::size_t found = json.find(quotedKey); found != std::string::npos; found = json.find(quotedKey, found + 1)) {
        std::size_t at = found + quotedKey.size();
        while (at < json.size() && IsSpace(json[at])) ++at;
        if (at >= json.size() || json[at] != ':') continue;
        ++at;
        while (at < json.size() && IsSpace(json[at])) ++at;
        if (MatchValue(json, at, shape, value)) {
            if (position != nullptr) *position = at;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ReadJsonString(const std::string& json, const std::string& key, const std::string& fallback) {
    std::string value;
    return Search(json, key, Shape::String, value) ? value : fallback;
}

std::int32_t ReadJsonInt(const std::string& json, const std::string& key, std::int32_t fallback) {
    std::string digits;
    if (!Search(json, key, Shape::Digits, digits)) return fallback;
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
    if (!Search(json, key, Shape::Decimal, text)) return fallback;
    float value = 0.0f;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc()) {
        throw std::out_of_range("stof argument out of range");
    }
    return value;
}

bool ReadJsonBool(const std::string& json, const std::string& key, bool fallback) {
    std::string value;
    return Search(json, key, Shape::Boolean, value) ? value == "true" : fallback;
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
    // The key being read, and the text it is read from, for the out-of-range warning.
    std::string readingKey;
    const std::string* readingText = nullptr;
    std::string fileName;
    // Outside the handler: the warning in it still needs the texts.
    std::string fullJson;
    std::map<std::string, std::string> fromTopLevel;
    try {
        const std::filesystem::path root = std::filesystem::weakly_canonical(std::filesystem::absolute(projectPath));
        const std::filesystem::path projectFile = root / "project.json";
        fullJson = ReadTextFile(projectFile);
        fileName = PathToString(projectFile);
        const ProjectJsonCheck check = CheckProjectJson(fullJson, fileName);
        // Each key is read from the whole text, or from its top-level occurrence
        // when a nested object would otherwise win.
        for (const auto& [key, offset] : check.topLevelOffsets) fromTopLevel[key] = fullJson.substr(offset);
        const auto from = [&](const std::string& key) -> const std::string& {
            readingKey = key;
            const auto found = fromTopLevel.find(key);
            readingText = found == fromTopLevel.end() ? &fullJson : &found->second;
            return *readingText;
        };

        std::filesystem::path folder = root;
        if (!folder.has_filename()) folder = folder.parent_path();
        config.name = ReadJsonString(from("name"), "name", PathToString(folder.filename()));
        config.projectRoot = root;
        config.mainClass = ReadJsonString(from("mainClass"), "mainClass", config.mainClass);
        config.startScene = ReadJsonString(from("startScene"), "startScene", config.startScene);
        config.mainAssemblyPath = ResolvePath(root, std::filesystem::u8path(ReadJsonString(from("mainAssembly"), "mainAssembly", "")));

        WindowSettings& window = config.windowSettings;
        window.width = ReadJsonInt(from("width"), "width", window.width);
        window.height = ReadJsonInt(from("height"), "height", window.height);
        window.title = ReadJsonString(from("title"), "title", window.title);
        const std::string scaleMode = ReadJsonString(from("scaleMode"), "scaleMode", "none");
        if (const auto mode = ParseScaleMode(scaleMode)) {
            window.scaleMode = *mode;
        } else {
            LogWarn("Unknown scaleMode \"" + scaleMode + "\" in project.json; using \"none\" (the others are "
                    "\"letterbox\", \"integer\" and \"stretch\").");
        }
        window.resizable = ReadJsonBool(from("resizable"), "resizable", window.resizable);
        window.fullscreen = ReadJsonBool(from("fullscreen"), "fullscreen", window.fullscreen);
        window.cursorVisible = ReadJsonBool(from("cursorVisible"), "cursorVisible", window.cursorVisible);
        config.backgroundColor = ParseColor(ReadJsonString(from("backgroundColor"), "backgroundColor", "#12141a"), config.backgroundColor);
        config.pixelPerfect = ReadJsonBool(from("pixelPerfect"), "pixelPerfect", config.pixelPerfect);
        config.targetFps = ReadJsonInt(from("targetFps"), "targetFps", config.targetFps);
        config.enableFrameLimiter = ReadJsonBool(from("enableFrameLimiter"), "enableFrameLimiter", config.enableFrameLimiter);
        config.overlapFrames = ReadJsonBool(from("overlapFrames"), "overlapFrames", config.overlapFrames);
        config.maxDeltaTime = ReadJsonFloat(from("maxDeltaTime"), "maxDeltaTime", config.maxDeltaTime);

        const std::int32_t fixedPhysicsFps = ReadJsonInt(from("fixedPhysicsFps"), "fixedPhysicsFps", 60);
        if (fixedPhysicsFps > 0) {
            config.fixedDeltaTime = 1.0f / static_cast<float>(fixedPhysicsFps);
        } else {
            config.fixedDeltaTime = ReadJsonFloat(from("fixedDeltaTime"), "fixedDeltaTime", config.fixedDeltaTime);
        }
        const std::string overlayKey = ReadJsonString(from("overlayKey"), "overlayKey", "F3");
        if (!ParseOverlayKey(overlayKey, config.overlayKey)) {
            LogWarn("Unknown overlayKey \"" + overlayKey + "\" in project.json; using \"F3\" (give \"F1\" to \"F24\", "
                    "a virtual-key code such as \"114\", or \"none\").");
        }
        config.x = ReadJsonFloat(from("x"), "x", 0.0f);
        config.y = ReadJsonFloat(from("y"), "y", 0.0f);
    } catch (const std::out_of_range& error) {
        // The error line stays as it is; the warning before it says where.
        std::string value;
        std::size_t position = 0;
        const Shape shape = std::string_view(error.what()).find("stof") != std::string_view::npos ? Shape::Decimal : Shape::Digits;
        if (readingText != nullptr && Search(*readingText, readingKey, shape, value, &position)) {
            // A text read from a top-level occurrence is a tail of the file.
            const std::size_t offset = position + (fullJson.size() - readingText->size());
            LogWarn(DescribePosition(fileName, fullJson, offset) + ": \"" + readingKey + "\" holds " + value +
                    ", which is out of range");
        }
        LogError(error.what());
        return false;
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
