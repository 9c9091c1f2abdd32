#pragma once

#include <string_view>

#include "scripting/WireProtocol.h"

namespace Quorvane {

// Every "XAUDIO_" line of the "audio" extension; each appends one AudioCommand to
// the frame or reports its fault.
void ParseAudioLine(ProtocolState& state, std::string_view line);

}  // namespace Quorvane
