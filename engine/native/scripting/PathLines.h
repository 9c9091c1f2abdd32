#pragma once

#include <string_view>

#include "scripting/WireProtocol.h"

namespace Quorvane {

// Extension "paths": a host names a texture or font path once and then refers to
// it by a short id, so each sprite line carries "#12" instead of the whole path.
inline constexpr std::int32_t kMaxPathId = 65535;

// "XPATH|id|path": declares (or redeclares) id 0..kMaxPathId for path, resolved
// as any texture path is.
void ParsePathLine(ProtocolState& state, std::string_view line);

// "#" and decimal digits: how a texture field names a declared id.
bool IsPathId(std::string_view text);
// The path declared for "#id"; null (reported once) when none was.
const ResolvedPath* DeclaredPath(ProtocolState& state, std::string_view text);

}  // namespace Quorvane
