#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvane {

// Number text in both directions is always in the classic ("C") form, whatever
// locale the process runs under: the script host and project files rely on ".".

// C-library style prefix parse: leading white space, optional sign, decimal or
// hexadecimal float, inf/nan; stops at the first character that does not fit.
// Empty when no number can be read or the value lies outside the float range.
std::optional<float> ParseFloatPrefix(std::string_view text);
// Same rules for a base-10 integer; empty outside the signed 32-bit range.
std::optional<std::int32_t> ParseIntPrefix(std::string_view text);

// A float as a default-configured output stream writes it (0.0166667, 1e-05).
std::string FormatStreamFloat(float value);
// A float like printf's "%f" (0.016667).
std::string FormatFixed6(float value);

}  // namespace Quorvane
