#include <gtest/gtest.h>

#include <regex>

#include "support/Subprocess.h"

using namespace QuorvaneTest;

// The bunny-mark sample with the real host: the frame figures of --stats, the
// host's own allocation figure included.
TEST(BunnyMark, StatsLineAtExit) {
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = std::nullopt;
    options.env["BUNNIES"] = "500";
    options.timeoutSeconds = 120;
    const ProcessResult result =
        RunProcess({QUORVANE_EXE, "--headless", "--frames", "40", "--stats", "samples/BunnyMark"}, options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("[Info] BunnyMark: 500 sprites\n"), std::string::npos) << result.out;
    const std::regex line(
        R"(\[Info\] stats frames=40 median_ms=[0-9]+\.[0-9]{3} p95_ms=[0-9]+\.[0-9]{3} host_ms=[0-9]+\.[0-9]{3} )"
        R"(render_ms=[0-9]+\.[0-9]{3} host_alloc_bytes=[0-9]+\n$)");
    EXPECT_TRUE(std::regex_search(result.out, line)) << result.out;
}

TEST(BunnyMark, WithoutStatsNothingIsAdded) {
    ProcessOptions options;
    options.workingDirectory = QUORVANE_SOURCE_DIR;
    options.env["DOTNET_ROOT"] = std::nullopt;
    options.env["BUNNIES"] = "10";
    options.timeoutSeconds = 120;
    const ProcessResult result = RunProcess({QUORVANE_EXE, "--headless", "--frames", "5", "samples/BunnyMark"}, options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("stats"), std::string::npos) << result.out;
}
