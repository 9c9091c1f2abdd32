#pragma once

#include <cstdint>
#include <optional>

namespace Quorvane {

// The Windows virtual-key code for an SDL key code, or nothing for keys that
// Windows reports as system keys (Alt, F10) or that have no code.
std::optional<std::uint32_t> VirtualKeyFromSdl(std::int32_t sdlKeycode);

}  // namespace Quorvane
