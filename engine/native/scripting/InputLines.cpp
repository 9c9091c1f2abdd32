#include <charconv>
#include "scripting/InputLines.h"

#include <optional>

#include "app/Numbers.h"
#include "scripting/DrawLines.h"

namespace Quorvane {
namespace {

// Titles are one line of a window frame; nobody needs more.
constexpr std::size_t kMaxTitleBytes = 1024;

void AppendWhole(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendFloat(std::string& out, float value) {
    out += '|';
    out += FormatStreamFloat(value);
}

// "0" or "1", the one field of the switch lines; anything else is a fault.
std::optional<bool> ReadSwitch(ProtocolState& state, std::string_view line, std::string_view tag) {
    SplitFields(line, state.fields);
    if (state.fields.size() != 2) {
        ReportLineFault(state, tag, "expected 2 fields, got " + std::to_string(state.fields.size()));
        return std::nullopt;
    }
    if (state.fields[1] == "1") return true;
    if (state.fields[1] == "0") return false;
    ReportLineFault(state, tag, "the value must be 0 or 1");
    return std::nullopt;
}

}  // namespace

void AppendEscapedText(std::string_view text, std::string& out) {
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
                break;
        }
    }
}

std::string ComposeInputLines(const InputState& input, const WindowStatus& window) {
    std::string lines;
    AppendInputLines(lines, input, window);
    return lines;
}

void AppendInputLines(std::string& lines, const InputState& input, const WindowStatus& window) {
    lines += "XINPUT";
    AppendFloat(lines, input.WheelX());
    AppendFloat(lines, input.WheelY());
    lines += window.focused ? "|1|" : "|0|";
    AppendWhole(lines, window.width);
    lines += '|';
    AppendWhole(lines, window.height);
    lines += window.fullscreen ? "|1|" : "|0|";
    AppendEscapedText(input.Text(), lines);
    lines += '\n';
    for (std::size_t index = 0; index < kMaxGamepads; ++index) {
        const GamepadState& pad = input.Gamepad(index);
        if (!pad.connected) continue;
        lines += "XPAD|";
        AppendWhole(lines, static_cast<std::int64_t>(index));
        lines += '|';
        AppendWhole(lines, static_cast<std::int64_t>(pad.buttons));
        AppendFloat(lines, pad.leftX);
        AppendFloat(lines, pad.leftY);
        AppendFloat(lines, pad.rightX);
        AppendFloat(lines, pad.rightY);
        AppendFloat(lines, pad.leftTrigger);
        AppendFloat(lines, pad.rightTrigger);
        lines += '\n';
    }
}

std::string ComposeTitleLine(std::string_view title) {
    std::string line = "XTITLE|";
    AppendEscapedText(title, line);
    return line;
}

void ParseTitleLine(ProtocolState& state, std::string_view line) {
    std::string title;
    AppendUnescapedText(line.substr(7), title);
    if (title.size() > kMaxTitleBytes) {
        std::size_t end = kMaxTitleBytes;
        while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) --end;
        title.resize(end);
    }
    // A title is one line; a line break in it would be drawn as a box by some
    // window managers and ignored by others.
    for (char& c : title) {
        if (c == '\n') c = ' ';
    }
    state.snapshot.window.title = std::move(title);
}

void ParseFullscreenLine(ProtocolState& state, std::string_view line) {
    if (const auto on = ReadSwitch(state, line, "XFULLSCREEN")) state.snapshot.window.fullscreen = *on;
}

void ParseCursorLine(ProtocolState& state, std::string_view line) {
    if (const auto on = ReadSwitch(state, line, "XCURSOR")) state.snapshot.window.cursorVisible = *on;
}

void ParseFullscreenToggleLine(ProtocolState& state, std::string_view line) {
    if (const auto on = ReadSwitch(state, line, "XFULLSCREEN_TOGGLE")) state.snapshot.window.fullscreenToggle = *on;
}

}  // namespace Quorvane
