#pragma once

#include <string_view>

#include "scripting/WireProtocol.h"

namespace Quorvane {

// The "draw" extension's lines; each appends one DrawItem or reports its fault.
void ParseExtendedRectLine(ProtocolState& state, std::string_view line);       // XRECT
void ParseExtendedDebugRectLine(ProtocolState& state, std::string_view line);  // XDEBUG_RECT
void ParseExtendedSpriteLine(ProtocolState& state, std::string_view line);     // XSPRITE
void ParseTextLine(ProtocolState& state, std::string_view line);               // XTEXT

// "\\n" becomes a line break and "\\\\" a backslash; any other backslash stays.
void AppendUnescapedText(std::string_view escaped, std::string& out);

}  // namespace Quorvane
