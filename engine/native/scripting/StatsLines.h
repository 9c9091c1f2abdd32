#pragma once

#include <string_view>

#include "scripting/WireProtocol.h"

namespace Quorvane {

// "XSTATS|allocatedBytes": what the host allocated while making this frame, as it
// measures itself (a whole number, 0 or more). The last one of a frame counts.
void ParseStatsLine(ProtocolState& state, std::string_view line);

}  // namespace Quorvane
