#include "app/Numbers.h"

#include <charconv>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>

namespace Quorvane {
namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (Lower(text[i]) != word[i]) return false;
    }
    return true;
}

// Splits off leading white space and one sign, as strtof/strtol do. What follows
// must start the number itself: a second sign ends the parse with nothing read.
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

// Length of the digits (of the given kind) with at most one point among them,
// and whether any digit was seen.
std::size_t ScanMantissa(std::string_view text, bool hex, bool& anyDigit) {
    const auto digit = [hex](char c) { return hex ? IsHexDigit(c) : IsDigit(c); };
    std::size_t i = 0;
    anyDigit = false;
    while (i < text.size() && digit(text[i])) ++i, anyDigit = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && digit(text[i])) ++i, anyDigit = true;
    }
    return i;
}

// Length of an exponent (marker, one optional sign, decimal digits) at text's
// start; 0 when there is none, and then the marker is not part of the number.
std::size_t ScanExponent(std::string_view text, char marker) {
    if (text.empty() || Lower(text[0]) != marker) return 0;
    std::size_t i = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i == digits ? 0 : i;
}

}  // namespace

std::optional<float> ParseFloatPrefix(std::string_view text) {
    bool negative = false;
    const std::string_view rest = StripSpaceAndSign(text, negative);
    const auto sign = [negative](float value) { return negative ? -value : value; };
    // The words are matched here rather than by from_chars, which would also take
    // them after a "0x" or a second sign, where the C library reads no word.
    if (StartsWithWord(rest, "inf")) return sign(std::numeric_limits<float>::infinity());
    if (StartsWithWord(rest, "nan")) return sign(std::numeric_limits<float>::quiet_NaN());

    // The exact span strtof would read, so from_chars sees nothing it could read
    // differently (a second sign, a word, a doubly signed exponent).
    bool anyDigit = false;
    if (rest.size() > 2 && rest[0] == '0' && Lower(rest[1]) == 'x') {
        const std::string_view body = rest.substr(2);
        const std::size_t mantissa = ScanMantissa(body, true, anyDigit);
        if (anyDigit) {
            const std::size_t length = mantissa + ScanExponent(body.substr(mantissa), 'p');
            float value = 0.0f;
            const auto result = std::from_chars(body.data(), body.data() + length, value, std::chars_format::hex);
            if (result.ec != std::errc() || result.ptr != body.data() + length) return std::nullopt;
            return sign(value);
        }
        // "0x" without a hexadecimal digit: the C library reads the "0" alone.
    }
    const std::size_t mantissa = ScanMantissa(rest, false, anyDigit);
    if (!anyDigit) return std::nullopt;
    const std::size_t length = mantissa + ScanExponent(rest.substr(mantissa), 'e');
    float value = 0.0f;
    const auto result = std::from_chars(rest.data(), rest.data() + length, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != rest.data() + length) return std::nullopt;
    return sign(value);
}

std::optional<std::int32_t> ParseIntPrefix(std::string_view text) {
    bool negative = false;
    const std::string_view rest = StripSpaceAndSign(text, negative);
    if (rest.empty() || !IsDigit(rest[0])) return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), magnitude, 10);
    if (result.ec != std::errc()) return std::nullopt;
    // The range is checked on the magnitude, before any signed arithmetic.
    if (magnitude > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
    const std::int64_t value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
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
