#pragma once

#include <string>
#include <string_view>

#include "platform/InputState.h"
#include "scripting/WireProtocol.h"

namespace Quorvane {

// What the "input" extension tells the host about the window each frame.
struct WindowStatus {
    std::int32_t width = 0;   // client size in pixels
    std::int32_t height = 0;
    bool fullscreen = false;
    bool focused = true;
};

// The runtime-to-host lines of the "input" extension for one frame, each
// ending in a line feed: XINPUT, then one XPAD per connected pad.
std::string ComposeInputLines(const InputState& input, const WindowStatus& window);
// The same appended to a buffer the caller reuses, so a frame allocates nothing.
void AppendInputLines(std::string& lines, const InputState& input, const WindowStatus& window);
// "XTITLE|title": the window's title as the host first sees it.
std::string ComposeTitleLine(std::string_view title);

// Text as the rest of a line: "\\" "\n" "\r" "\t" for backslash, line feed,
// carriage return and tab; other control bytes are dropped.
void AppendEscapedText(std::string_view text, std::string& out);

// The host-to-runtime lines; each records a request in the snapshot's window
// requests or reports its fault.
void ParseTitleLine(ProtocolState& state, std::string_view line);             // XTITLE
void ParseFullscreenLine(ProtocolState& state, std::string_view line);        // XFULLSCREEN
void ParseCursorLine(ProtocolState& state, std::string_view line);            // XCURSOR
void ParseFullscreenToggleLine(ProtocolState& state, std::string_view line);  // XFULLSCREEN_TOGGLE

}  // namespace Quorvane
