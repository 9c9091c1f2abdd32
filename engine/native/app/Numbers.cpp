#include "app/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
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

// The significant digits of a decimal number and the power of ten of the first
// one ("0.0120" with exponent 0 gives "12", -2). False when every digit is zero.
bool DecimalDigits(std::string_view mantissa, long long exponent, std::string& digits, long long& power) {
    digits.clear();
    const std::size_t point = mantissa.find('.');
    const long long integerDigits = static_cast<long long>(point == std::string_view::npos ? mantissa.size() : point);
    long long leadingZeros = 0;
    for (const char c : mantissa) {
        if (c == '.') continue;
        if (digits.empty() && c == '0') {
            ++leadingZeros;
            continue;
        }
        digits += c;
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (digits.empty()) return false;
    power = exponent + integerDigits - 1 - leadingZeros;
    return true;
}

// The C library reports a result that is subnormal and not exact (or zero from
// a number that is not) as out of range; from_chars returns it as it is.
bool UnderflowsInexactly(float value, std::string_view mantissa, long long exponent, bool hex) {
    if (std::isnormal(value) || std::isinf(value) || std::isnan(value)) return false;
    if (hex) {
        // Few enough hexadecimal digits to be exact in a double: the double says
        // whether the float lost any of them.
        std::string_view digits = mantissa;
        while (!digits.empty() && (digits.front() == '0' || digits.front() == '.')) digits.remove_prefix(1);
        while (!digits.empty() && (digits.back() == '0' || digits.back() == '.')) digits.remove_suffix(1);
        if (digits.empty()) return false;  // an exact zero
        std::size_t significant = 0;
        for (const char c : digits) significant += c != '.';
        if (significant > 13) return true;
        double wide = 0.0;
        std::string text(mantissa);
        text += 'p';
        text += std::to_string(exponent);
        const auto result = std::from_chars(text.data(), text.data() + text.size(), wide, std::chars_format::hex);
        return result.ec != std::errc() || wide != static_cast<double>(value);
    }
    std::string wanted;
    long long wantedPower = 0;
    if (!DecimalDigits(mantissa, exponent, wanted, wantedPower)) return false;  // zero, exactly
    if (value == 0.0f) return true;
    // A float's exact decimal expansion, compared digit by digit.
    char exact[256];
    std::snprintf(exact, sizeof exact, "%.160e", static_cast<double>(value < 0 ? -value : value));
    const std::string_view text(exact);
    const std::size_t e = text.find('e');
    std::string got;
    for (const char c : text.substr(0, e)) {
        if (c != '.') got += c;
    }
    while (!got.empty() && got.back() == '0') got.pop_back();
    const long long gotPower = std::stoll(std::string(text.substr(e + 1)));
    return got != wanted || gotPower != wantedPower;
}

// The exponent's value, saturated: beyond this every float result is 0 or inf.
long long ExponentValue(std::string_view exponent) {
    long long value = 0;
    bool negative = false;
    std::size_t i = 1;  // past the marker
    if (i < exponent.size() && (exponent[i] == '+' || exponent[i] == '-')) negative = exponent[i++] == '-';
    for (; i < exponent.size(); ++i) value = std::min(value * 10 + (exponent[i] - '0'), 100000000LL);
    return negative ? -value : value;
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

// What hosts write for nearly every number ("32", "-7", "1031.7523"): an optional
// minus, at most 9 digits with at most 8 after the point. Then the digits make an
// integer m below 2^30 and 10^k is exact in a double, so m / 10^k is the correctly
// rounded double. Rounding that to a float gives strtof's float: a double can fall
// on a halfway point between floats only if the value is that point, since any
// other value of this form lies at least 2^-51.6 of the point away (relative),
// more than half a double's step.
const char* ScanPlainDecimal(const char* p, const char* end, float& value) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    std::uint32_t digits = 0;
    int count = 0, fraction = 0;
    bool point = false;
    for (; p != end; ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
        if (digit <= 9) {
            if (++count > 9) return nullptr;
            digits = digits * 10 + digit;
            fraction += point ? 1 : 0;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0 || fraction > 8) return nullptr;
    const auto magnitude = static_cast<float>(static_cast<double>(digits) / kPowers[fraction]);
    value = negative ? -magnitude : magnitude;
    return p;
}

const char* ScanShortInt(const char* p, const char* end, std::int32_t& value) {
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    const char* const first = p;
    std::int32_t magnitude = 0;
    for (; p != end && p - first < 8; ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
        if (digit > 9) break;
        magnitude = magnitude * 10 + static_cast<std::int32_t>(digit);
    }
    // Up to 7 digits the value cannot overflow; an eighth is left to the general reader.
    if (p == first || p - first > 7) return nullptr;
    value = negative ? -magnitude : magnitude;
    return p;
}

std::optional<float> ParseFloatPrefix(std::string_view text) {
    const char* const end = text.data() + text.size();
    if (float plain = 0.0f; ScanPlainDecimal(text.data(), end, plain) == end) return plain;
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
            const std::size_t exponent = ScanExponent(body.substr(mantissa), 'p');
            const std::size_t length = mantissa + exponent;
            float value = 0.0f;
            const auto result = std::from_chars(body.data(), body.data() + length, value, std::chars_format::hex);
            if (result.ec != std::errc() || result.ptr != body.data() + length) return std::nullopt;
            if (UnderflowsInexactly(value, body.substr(0, mantissa),
                                    exponent ? ExponentValue(body.substr(mantissa, exponent)) : 0, true)) {
                return std::nullopt;
            }
            return sign(value);
        }
        // "0x" without a hexadecimal digit: the C library reads the "0" alone.
    }
    const std::size_t mantissa = ScanMantissa(rest, false, anyDigit);
    if (!anyDigit) return std::nullopt;
    const std::size_t exponent = ScanExponent(rest.substr(mantissa), 'e');
    const std::size_t length = mantissa + exponent;
    float value = 0.0f;
    const auto result = std::from_chars(rest.data(), rest.data() + length, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != rest.data() + length) return std::nullopt;
    if (UnderflowsInexactly(value, rest.substr(0, mantissa), exponent ? ExponentValue(rest.substr(mantissa, exponent)) : 0,
                            false)) {
        return std::nullopt;
    }
    return sign(value);
}

std::optional<std::int32_t> ParseIntPrefix(std::string_view text) {
    if (const std::optional<std::int32_t> whole = ShortDecimal(text)) return whole;
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
