#include "app/Numbers.h"

#include <charconv>
#include <iomanip>
#include <locale>
#include <sstream>

namespace Quorvane {
namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Splits off leading white space and one sign, as strtof/strtol do.
std::string_view StripSpaceAndSign(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return text.substr(i);
}

}  // namespace

std::optional<float> ParseFloatPrefix(std::string_view text) {
    bool negative = false;
    const std::string_view rest = StripSpaceAndSign(text, negative);
    const char* first = rest.data();
    const char* last = rest.data() + rest.size();
    float value = 0.0f;
    std::from_chars_result result{first, std::errc::invalid_argument};
    if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        result = std::from_chars(first + 2, last, value, std::chars_format::hex);
    }
    if (result.ec == std::errc::invalid_argument) {
        result = std::from_chars(first, last, value, std::chars_format::general);
    }
    if (result.ec != std::errc()) return std::nullopt;
    return negative ? -value : value;
}

std::optional<std::int32_t> ParseIntPrefix(std::string_view text) {
    bool negative = false;
    const std::string_view rest = StripSpaceAndSign(text, negative);
    std::uint64_t magnitude = 0;
    const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), magnitude, 10);
    if (result.ec != std::errc()) return std::nullopt;
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (magnitude > 0x80000000ull || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string FormatStreamFloat(float value) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << value;
    return stream.str();
}

std::string FormatFixed6(float value) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << std::fixed << std::setprecision(6) << value;
    return stream.str();
}

}  // namespace Quorvane
