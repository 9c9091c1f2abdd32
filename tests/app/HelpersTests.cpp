#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <stdexcept>

#include "app/CommandLine.h"
#include "app/Log.h"
#include "app/Numbers.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::TempDir;

TEST(Log, PrefixesStreamsAndEmptyMessage) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    LogInfo("");
    LogWarn("two\nlines");
    LogError("bad");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Info] \n[Warn] two\nlines\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Error] bad\n");
}

TEST(FileHelpers, ReadExistsResolve) {
    TempDir dir;
    const auto file = dir.Write("a.txt", "one\r\ntwo\r\n");
    EXPECT_EQ(ReadTextFile(file), "one\r\ntwo\r\n");
    EXPECT_EQ(ReadTextFile(dir.Write("empty", "")), "");
    try {
        ReadTextFile("no/such/file.txt");
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Could not open file: no/such/file.txt");
    }
    EXPECT_TRUE(FileExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.Path() / "missing"));

    EXPECT_EQ(ResolvePath("/ignored", dir.Path() / "x/../a.txt"), file);
    EXPECT_EQ(ResolvePath(dir.Path(), "a/../b"), dir.Path() / "b");
    EXPECT_EQ(ResolvePath(dir.Path(), ""), dir.Path());
    EXPECT_EQ(PathToString(std::filesystem::u8path("/t/\xC3\xA9.png")), "/t/\xC3\xA9.png");
}

TEST(Numbers, ClassicFormsWhateverTheLocale) {
    EXPECT_EQ(FormatStreamFloat(1.0f / 60.0f), "0.0166667");
    EXPECT_EQ(FormatStreamFloat(0.1f), "0.1");
    EXPECT_EQ(FormatStreamFloat(0.0f), "0");
    EXPECT_EQ(FormatStreamFloat(0.00001f), "1e-05");
    EXPECT_EQ(FormatFixed6(1.0f / 60.0f), "0.016667");
    EXPECT_EQ(FormatFixed6(0.0f), "0.000000");
    EXPECT_EQ(FormatFixed6(-2.5f), "-2.500000");

    EXPECT_EQ(ParseFloatPrefix("12.5px"), 12.5f);
    EXPECT_EQ(ParseFloatPrefix("  -3e2"), -300.0f);
    EXPECT_EQ(ParseFloatPrefix("+0x1p3"), 8.0f);
    EXPECT_TRUE(std::isinf(*ParseFloatPrefix("-inf")));
    EXPECT_TRUE(std::isnan(*ParseFloatPrefix("nan")));
    EXPECT_FALSE(ParseFloatPrefix("px"));
    EXPECT_FALSE(ParseFloatPrefix(""));
    EXPECT_FALSE(ParseFloatPrefix("1e99"));

    EXPECT_EQ(ParseIntPrefix("12.9"), 12);
    EXPECT_EQ(ParseIntPrefix(" -2147483648"), INT32_MIN);
    EXPECT_EQ(ParseIntPrefix("+7"), 7);
    EXPECT_FALSE(ParseIntPrefix("2147483648"));
    EXPECT_FALSE(ParseIntPrefix("99999999999999999999999"));
    EXPECT_FALSE(ParseIntPrefix("x1"));
}

// The faults of the old reader, with the C library's answers written out, so
// that they hold on every platform (the Windows C runtime is no reference: it
// reads neither hexadecimal floats nor inf and nan the C99 way).
TEST(Numbers, SecondSignsHexWordsAndTheInt64Limit) {
    for (const char* text : {"--12", "+-12", "-+12", "-"}) {
        EXPECT_FALSE(ParseFloatPrefix(text)) << text;
        EXPECT_FALSE(ParseIntPrefix(text)) << text;
    }
    EXPECT_EQ(ParseFloatPrefix("0x-1"), 0.0f);     // the "0" alone
    EXPECT_EQ(ParseFloatPrefix("0x+1"), 0.0f);
    EXPECT_EQ(ParseIntPrefix("0x-1"), 0);
    EXPECT_EQ(ParseFloatPrefix("0xinf"), 0.0f);
    EXPECT_EQ(ParseFloatPrefix("0xnan"), 0.0f);
    EXPECT_EQ(ParseFloatPrefix("0x1p+-3"), 1.0f);  // the exponent is not read
    EXPECT_EQ(ParseFloatPrefix("0x1p-3"), 0.125f);
    EXPECT_EQ(ParseFloatPrefix("1e+-3"), 1.0f);
    EXPECT_FALSE(ParseIntPrefix("-9223372036854775808"));
    EXPECT_FALSE(ParseIntPrefix("9223372036854775808"));
    EXPECT_FALSE(ParseFloatPrefix("1e-50"));       // underflow, as ERANGE
}

#if !defined(_WIN32)
// The C library's own reading of a prefix, with out-of-range values refused as
// the parsers refuse them.
std::optional<float> CFloat(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || errno == ERANGE) return std::nullopt;
    return value;
}

std::optional<std::int32_t> CInt(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// The short decimals hosts write take a fast path: bit for bit the C library's
// float, on seeded random decimals of every length and point position (9 fraction
// digits fall back to the general path) and on decimals next to halfway points
// between floats, where a double rounding would show.
TEST(Numbers, PlainDecimalsReadExactlyAsTheCLibraryReadsThem) {
    std::mt19937_64 random(7);
    std::vector<std::string> texts = {"123456789", "1.23456789", "0.00000001", "99999999.9", "-0.0", "000000000.5",
                                      "16777217", "16777216.5", "0.1", "-3.4028235", "5.", ".5", "1.2.3", "-", ".",
                                      "1234567890", "0.123456789", "1e5", " 1", "+1", "1 "};
    for (int i = 0; i < 1000000; ++i) {
        const int count = 1 + static_cast<int>(random() % 9);
        std::string digits;
        for (int d = 0; d < count; ++d) digits += static_cast<char>('0' + random() % 10);
        const auto point = static_cast<std::size_t>(random() % (count + 1));
        texts.push_back((random() % 4 == 0 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point));
    }
    char text[64];
    for (int i = 0; i < 300000; ++i) {
        const float low = std::ldexp(static_cast<float>(random() % (1u << 24)), static_cast<int>(random() % 40) - 30);
        const double halfway = (static_cast<double>(low) + static_cast<double>(std::nextafter(low, INFINITY))) / 2.0;
        for (int fraction = 0; fraction <= 8; ++fraction) {
            std::snprintf(text, sizeof text, "%.*f", fraction, halfway);
            texts.emplace_back(text);
        }
    }
    std::size_t differing = 0;
    for (const std::string& t : texts) {
        const std::optional<float> expected = CFloat(t), actual = ParseFloatPrefix(t);
        const bool same = actual.has_value() == expected.has_value() &&
                          (!expected || std::memcmp(&*actual, &*expected, sizeof(float)) == 0);
        if (!same && ++differing < 5) ADD_FAILURE() << t;
    }
    EXPECT_EQ(differing, 0u);
}

TEST(Numbers, PrefixesReadExactlyAsTheCLibraryReadsThem) {
    const char* const cases[] = {
        "--12", "+-12", "-+12", "++1", " - 1", "0x", "0x.", "0xinf", "0xnan", "0x-1", "0x+1", "0X-inf",
        "0x1p+-3", "0x1p-+3", "0x1p--3", "0x1p++3", "0x1p", "0x1p+", "0x1.8p1", "0x.8", "-0x10",
        "1e+-3", "1e--3", "1e", "1e+", "5.", ".5", ".", "-.", "1.5e3x", "infinity", "-INF", "Inf",
        "nan(123)", "nanx", "-nan", "in", "na", "\t\n 7", "0", "-0", "00012", "1e-3",
        "-9223372036854775808", "9223372036854775808", "-2147483649", "-2147483648", "2147483647",
        "18446744073709551616", "+", "-", "", "x",
        // Below the normal range: the C library refuses what is not exact.
        "1e-40", "1e-50", "-1e-46", "0x1p-149", "0x1.8p-149", "0x1p-150", "1.40129846e-45", "0e-99", "0x0p-9999",
        "1.401298464324817070923729583289916131280e-45", "1.1754942e-38", "1.17549435e-38",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        const std::optional<float> expected = CFloat(text);
        const std::optional<float> actual = ParseFloatPrefix(text);
        ASSERT_EQ(actual.has_value(), expected.has_value());
        if (expected && std::isnan(*expected)) {
            EXPECT_TRUE(std::isnan(*actual));
            EXPECT_EQ(std::signbit(*actual), std::signbit(*expected));
        } else if (expected) {
            EXPECT_EQ(*actual, *expected);
            EXPECT_EQ(std::signbit(*actual), std::signbit(*expected));
        }
        EXPECT_EQ(ParseIntPrefix(text), CInt(text));
    }
}
#endif

TEST(CommandLine, OptionsAndProjectFolder) {
    struct Case {
        std::vector<const char*> args;
        bool ok;
        std::string project;
        bool headless;
        std::int64_t frames;
    };
    const Case cases[] = {
        {{"q"}, true, "samples/BasicGame", false, 0},
        {{"q", "games/A", "games/B"}, true, "games/A", false, 0},
        {{"q", "--headless", "--frames", "3", "G"}, true, "G", true, 3},
        {{"q", "--frames=5"}, true, "samples/BasicGame", false, 5},
        {{"q", "--", "--odd"}, true, "--odd", false, 0},
        {{"q", "--frames", "0"}, false, "", false, 0},
        {{"q", "--frames"}, false, "", false, 0},
        {{"q", "--frames", "2x"}, false, "", false, 0},
        {{"q", "--bogus"}, false, "", false, 0},
        {{"q", "--screenshot"}, false, "", false, 0},
    };
    for (const Case& c : cases) {
        CommandLine line;
        std::string error;
        const bool ok = ParseCommandLine(static_cast<int>(c.args.size()), c.args.data(), line, error);
        EXPECT_EQ(ok, c.ok) << c.args.back();
        if (!ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(line.projectPath, c.project);
        EXPECT_EQ(line.headless, c.headless);
        EXPECT_EQ(line.frames.value_or(0), c.frames);
    }
}
