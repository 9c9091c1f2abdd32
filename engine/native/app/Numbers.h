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

// The number forms hosts write for nearly every field, read from p on: a plain
// decimal (optional "-", at most 9 digits, at most 8 after the point, no exponent)
// and a short whole number (optional "-", 1 to 7 digits). The end of what was read,
// or null when the text does not start with that form; where the text after the
// number is a field's end, the value is the one ParseFloatPrefix / ParseIntPrefix
// read from the field.
const char* ScanPlainDecimal(const char* p, const char* end, float& value);
const char* ScanShortInt(const char* p, const char* end, std::int32_t& value);

// A float as a default-configured output stream writes it (0.0166667, 1e-05).
std::string FormatStreamFloat(float value);
// A float like printf's "%f" (0.016667).
std::string FormatFixed6(float value);

}  // namespace Quorvane
