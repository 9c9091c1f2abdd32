#include "scripting/WireProtocol.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <optional>

#include "app/Log.h"
#include "app/Numbers.h"
#include "scripting/PathLines.h"

namespace Quorvane {
namespace {

// Beyond this many distinct texture texts the memo starts over, so a host that
// invents a new name every frame cannot grow it without bound.
constexpr std::size_t kMaxRememberedTextures = 4096;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ParseFlag(std::string_view field) { return field == "True" || field == "true"; }

// Fields are read left to right into a record that is appended only when all
// of them parsed, so a bad field drops the whole line.
struct FieldReader {
    const std::vector<std::string_view>& fields;
    bool ok = true;

    float Float(std::size_t index) {
        const std::optional<float> value = ParseFloatPrefix(fields[index]);
        ok = ok && value.has_value();
        return value.value_or(0.0f);
    }
    std::int32_t Int(std::size_t index) {
        const std::optional<std::int32_t> value = ParseIntPrefix(fields[index]);
        ok = ok && value.has_value();
        return value.value_or(0);
    }
    Color ColorAt(std::size_t first) {
        const auto channel = [&](std::size_t index) { return static_cast<std::uint8_t>(Int(index) & 0xFF); };
        Color color;
        color.r = channel(first);
        color.g = channel(first + 1);
        color.b = channel(first + 2);
        return color;
    }
    RectCommand Rect() {
        RectCommand rect;
        rect.x = Float(1);
        rect.y = Float(2);
        rect.width = Float(3);
        rect.height = Float(4);
        rect.color = ColorAt(5);
        return rect;
    }
};

// A crash dump can be long; the first lines say what happened, and the rest
// is logged as it comes instead of piling up.
constexpr std::size_t kMaxHeldLines = 200;

void ParseLogLine(ProtocolState& state, std::string_view line) {
    const std::string_view rest = line.substr(4);
    const std::size_t bar = rest.find('|');
    if (bar == std::string_view::npos) return;
    const std::string_view level = rest.substr(0, bar);
    const std::string message(rest.substr(bar + 1));
    ReleaseHeldLines(state, false);
    if (level == "Warn") {
        LogWarn(message);
    } else if (level == "Error") {
        ++state.errorLines;
        LogError(message);
    } else {
        LogInfo(message);
    }
}

void ParseRectLine(ProtocolState& state, std::vector<RectCommand>& list) {
    if (state.fields.size() != 8) return;
    FieldReader reader{state.fields};
    const RectCommand rect = reader.Rect();
    if (reader.ok) list.push_back(rect);
}

void ParseSpriteLine(ProtocolState& state) {
    const std::vector<std::string_view>& fields = state.fields;
    if (fields.size() != 9 && fields.size() != 11) return;
    FieldReader reader{fields};
    const RectCommand rect = reader.Rect();
    if (!reader.ok) return;
    const ResolvedPath* texture = ResolveTexture(state, fields[8]);
    if (texture == nullptr) return;
    SpriteCommand& sprite = state.snapshot.sprites.emplace_back();
    sprite.x = rect.x;
    sprite.y = rect.y;
    sprite.width = rect.width;
    sprite.height = rect.height;
    sprite.color = rect.color;
    sprite.texturePath = texture->shared;
    if (fields.size() == 11) {
        sprite.flipX = ParseFlag(fields[9]);
        sprite.flipY = ParseFlag(fields[10]);
    }
}

// The SPRITE line of a busy frame ("SPRITE|12.5|40|32|32|255|255|255|#3|false|false")
// in one pass, each number read up to the bar that ends it. Anything else (another
// number form, other fields, an empty path) returns false with nothing changed, for
// the general path, which reads the same values from such a line.
bool ParseCommonSpriteLine(ProtocolState& state, std::string_view line) {
    const char* p = line.data() + 7;  // past "SPRITE|"
    const char* const end = line.data() + line.size();
    const auto field = [&](const char* after) {
        if (after == nullptr || after == end || *after != '|') return false;
        p = after + 1;
        return true;
    };
    float rect[4];
    for (float& value : rect) {
        if (!field(ScanPlainDecimal(p, end, value))) return false;
    }
    std::int32_t channels[3];
    for (std::int32_t& value : channels) {
        if (!field(ScanShortInt(p, end, value))) return false;
    }
    const char* const pathEnd = std::find(p, end, '|');
    const std::string_view path(p, static_cast<std::size_t>(pathEnd - p));
    bool flipX = false, flipY = false;
    if (pathEnd != end) {
        const std::string_view flags(pathEnd + 1, static_cast<std::size_t>(end - pathEnd - 1));
        const std::size_t bar = flags.find('|');
        if (bar == std::string_view::npos || bar == 0 || bar + 1 == flags.size() ||
            flags.find('|', bar + 1) != std::string_view::npos) {
            return false;
        }
        flipX = ParseFlag(flags.substr(0, bar));
        flipY = ParseFlag(flags.substr(bar + 1));
    }
    if (path.empty()) return false;
    const ResolvedPath* texture = ResolveTexture(state, path);
    if (texture == nullptr) return true;  // dropped, as the general path drops it
    SpriteCommand& sprite = state.snapshot.sprites.emplace_back();
    sprite.x = rect[0];
    sprite.y = rect[1];
    sprite.width = rect[2];
    sprite.height = rect[3];
    sprite.color = Color{static_cast<std::uint8_t>(channels[0] & 0xFF), static_cast<std::uint8_t>(channels[1] & 0xFF),
                         static_cast<std::uint8_t>(channels[2] & 0xFF)};
    sprite.texturePath = texture->shared;
    sprite.flipX = flipX;
    sprite.flipY = flipY;
    return true;
}

void ParseCameraLine(ProtocolState& state) {
    const std::vector<std::string_view>& fields = state.fields;
    if (fields.size() < 3) return;
    FieldReader reader{fields};
    CameraState camera = state.snapshot.camera;
    camera.x = reader.Float(1);
    camera.y = reader.Float(2);
    if (fields.size() >= 6) {
        camera.zoom = reader.Float(3);
        camera.viewWidth = reader.Float(4);
        camera.viewHeight = reader.Float(5);
    }
    if (reader.ok) state.snapshot.camera = camera;
}

void ParseColliderLine(ProtocolState& state) {
    if (state.fields.size() != 6) return;
    FieldReader reader{state.fields};
    ColliderCommand collider;
    collider.id = reader.Int(1);
    collider.x = reader.Float(2);
    collider.y = reader.Float(3);
    collider.width = reader.Float(4);
    collider.height = reader.Float(5);
    if (reader.ok) state.snapshot.colliders.push_back(collider);
}

}  // namespace

const ResolvedPath* ResolveTexture(ProtocolState& state, std::string_view text) {
    if (state.extensions.Has(Extension::Paths) && IsPathId(text)) return DeclaredPath(state, text);
    if (const auto found = state.resolvedTextures.find(text); found != state.resolvedTextures.end()) {
        return &found->second;
    }
    const std::string key(text);
    ResolvedPath resolved;
    try {
        resolved.path = ResolvePath(state.projectRoot, std::filesystem::path(key));
        resolved.text = PathToString(resolved.path);
        resolved.shared = SharedPath(resolved.path);
    } catch (const std::exception&) {
        return nullptr;
    }
    if (state.resolvedTextures.size() >= kMaxRememberedTextures) state.resolvedTextures.clear();
    return &state.resolvedTextures.emplace(key, std::move(resolved)).first->second;
}

void ReportLineFault(ProtocolState& state, std::string_view tag, std::string_view fault) {
    std::string key(tag);
    key += ": ";
    key += fault;
    // Bounded like the texture memo: a host cannot grow it without limit.
    if (state.reportedFaults.size() >= kMaxRememberedTextures) return;
    if (!state.reportedFaults.insert(key).second) return;
    LogWarn("Dropped a malformed " + std::string(tag) + " line: " + std::string(fault));
}

void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    // Fields are a few bytes long: a plain scan beats a library search per field.
    const char* const data = line.data();
    const std::size_t size = line.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '|') continue;
        fields.emplace_back(data + start, i - start);
        start = i + 1;
    }
    if (start < size) fields.emplace_back(data + start, size - start);
}

void HandleLine(ProtocolState& state, std::string_view line) {
    if (line == "READY") {
        state.ready = true;
    } else if (line == "STARTED") {
        state.started = true;
    } else if (line == "END_FRAME") {
        state.frameEnded = true;
    } else if (StartsWith(line, "EXTENSIONS|")) {
        // Declared once at start-up; deliberately silent.
        state.extensions = ParseExtensionList(line.substr(11));
    } else if (state.extensions.Any() && HandleExtendedLine(state, line)) {
    } else if (StartsWith(line, "LOG|")) {
        ParseLogLine(state, line);
    } else if (StartsWith(line, "RECT|")) {
        SplitFields(line, state.fields);
        ParseRectLine(state, state.snapshot.rects);
    } else if (StartsWith(line, "SPRITE|")) {
        if (ParseCommonSpriteLine(state, line)) return;
        SplitFields(line, state.fields);
        ParseSpriteLine(state);
    } else if (StartsWith(line, "CAMERA|")) {
        SplitFields(line, state.fields);
        ParseCameraLine(state);
    } else if (StartsWith(line, "COLLIDER|")) {
        SplitFields(line, state.fields);
        ParseColliderLine(state);
    } else if (StartsWith(line, "DEBUG_RECT|")) {
        SplitFields(line, state.fields);
        ParseRectLine(state, state.snapshot.debugRects);
    } else if (StartsWith(line, "ERROR|")) {
        ReleaseHeldLines(state, false);
        ++state.errorLines;
        LogError(std::string(line.substr(6)));
    } else if (!line.empty()) {
        if (!state.holdUnknownLines) {
            LogInfo("[ScriptHost] " + std::string(line));
            return;
        }
        if (state.heldLines.size() >= kMaxHeldLines) ReleaseHeldLines(state, false);
        state.heldLines.emplace_back(line);
    }
}

void ReleaseHeldLines(ProtocolState& state, bool asErrors, std::size_t count) {
    count = std::min(count, state.heldLines.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& line = state.heldLines[i];
        if (asErrors) {
            LogError("[ScriptHost] " + line);
        } else {
            LogInfo("[ScriptHost] " + line);
        }
    }
    state.heldLines.erase(state.heldLines.begin(), state.heldLines.begin() + static_cast<std::ptrdiff_t>(count));
}

namespace {

void AppendInt(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

}  // namespace

void AppendFrameLine(std::string& out, float deltaTime, const InputState& input) {
    out += "FRAME|";
    // What a default-configured stream writes (%g, 6 digits), without a stream:
    // to_chars ignores the locale and allocates nothing.
    char number[32];
    const auto written = std::to_chars(number, number + sizeof number, deltaTime, std::chars_format::general, 6);
    out.append(number, written.ptr);
    out += '|';
    // A few pressed keys fit a string's inline buffer: no allocation.
    out += input.FormatPressedKeys();
    out += '|';
    AppendInt(out, input.GetMouseX());
    out += ',';
    AppendInt(out, input.GetMouseY());
    out += '|';
    out += input.FormatPressedButtons();
}

std::string ComposeFrameLine(float deltaTime, const InputState& input) {
    std::string command;
    AppendFrameLine(command, deltaTime, input);
    return command;
}

}  // namespace Quorvane
