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

// The common field of a busy frame is a short run of digits ("32", "255", "-7"):
// read it directly. Up to 7 digits the value is exact as an int and as a float, so
// the result is the one the general path gives. Empty when the text is not that.
std::optional<std::int32_t> ShortDecimal(std::string_view text) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    const std::size_t digits = text.size() - i;
    if (digits == 0 || digits > 7) return std::nullopt;
    std::int32_t value = 0;
    for (; i < text.size(); ++i) {
        const unsigned digit = static_cast<unsigned char>(text[i]) - '0';
        if (digit > 9) return std::nullopt;
        value = value * 10 + static_cast<std::int32_t>(digit);
    }
    return negative ? -value : value;
}

}  // namespace

std::optional<float> ParseFloatPrefix(std::string_view text) {
    // "-0" must stay a negative zero, which the int path cannot carry.
    if (const std::optional<std::int32_t> whole = ShortDecimal(text); whole && !(*whole == 0 && text[0] == '-')) {
        return static_cast<float>(*whole);
    }
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
    if (const std::optional<std::int32_t> whole = ShortDecimal(text)) return whole;
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
