// Number fields against the C library: the same prefix gives the same value.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Numbers.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // strtof reads a C string: the text ends at the first NUL for both.
    std::string text(QuorvaneFuzz::AsText(data, size));
    text.resize(std::strlen(text.c_str()));

    char* end = nullptr;
    errno = 0;
    const float expected = std::strtof(text.c_str(), &end);
    const bool expectedOk = end != text.c_str() && errno != ERANGE;
    const std::optional<float> actual = Quorvane::ParseFloatPrefix(text);
    // Below the normal range the C libraries disagree among themselves on which
    // inexact results are out of range (glibc misses some hexadecimal ones); there
    // a value, when both give one, must still be the same value.
    const bool underflow = end != text.c_str() && !std::isnormal(expected) && !std::isinf(expected) && !std::isnan(expected);
    if (!underflow) FUZZ_CHECK(actual.has_value() == expectedOk);
    if (underflow && !expectedOk) return 0;
    if (actual && std::isnan(expected)) {
        FUZZ_CHECK(std::isnan(*actual) && std::signbit(*actual) == std::signbit(expected));
    } else if (actual) {
        FUZZ_CHECK(*actual == expected && std::signbit(*actual) == std::signbit(expected));
    }

    errno = 0;
    const long long integer = std::strtoll(text.c_str(), &end, 10);
    const bool integerOk = end != text.c_str() && errno != ERANGE && integer >= INT_MIN && integer <= INT_MAX;
    const std::optional<std::int32_t> parsed = Quorvane::ParseIntPrefix(text);
    FUZZ_CHECK(parsed.has_value() == integerOk);
    if (parsed) FUZZ_CHECK(*parsed == integer);
    return 0;
}
