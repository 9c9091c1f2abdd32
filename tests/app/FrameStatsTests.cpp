#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/FrameStats.h"

using namespace Quorvane;

TEST(FrameStats, MediansPercentileAndHostAllocations) {
    FrameStats stats;
    stats.Record({-1.0, 9.0, 9.0, -1});  // the first frame has no period
    for (int i = 1; i <= 100; ++i) stats.Record({static_cast<double>(i), 2.0, 3.0, i <= 50 ? 100 : -1});
    const FrameStats::Summary s = stats.Summarise();
    EXPECT_EQ(s.frames, 101);
    EXPECT_DOUBLE_EQ(s.medianMs, 50.0);
    EXPECT_DOUBLE_EQ(s.p95Ms, 95.0);
    EXPECT_DOUBLE_EQ(s.hostMs, 2.0);
    EXPECT_DOUBLE_EQ(s.renderMs, 3.0);
    EXPECT_EQ(s.hostAllocatedBytes, 100);  // only frames that reported count
    EXPECT_DOUBLE_EQ(stats.Last().periodMs, 100.0);
    EXPECT_EQ(FrameStats::Format(s),
              "stats frames=101 median_ms=50.000 p95_ms=95.000 host_ms=2.000 render_ms=3.000 host_alloc_bytes=100");
}

TEST(FrameStats, EmptyAndSilentHostsAndALongRun) {
    FrameStats stats;
    EXPECT_EQ(FrameStats::Format(stats.Summarise()),
              "stats frames=0 median_ms=0.000 p95_ms=0.000 host_ms=0.000 render_ms=0.000 host_alloc_bytes=-1");
    // Beyond the window the oldest frames give way; the count goes on.
    for (std::size_t i = 0; i < FrameStats::kWindow + 10; ++i) stats.Record({i < 10 ? 1000.0 : 4.0, 1.0, 1.0, -1});
    const FrameStats::Summary s = stats.Summarise();
    EXPECT_EQ(s.frames, static_cast<std::int64_t>(FrameStats::kWindow + 10));
    EXPECT_DOUBLE_EQ(s.p95Ms, 4.0);
    EXPECT_FALSE(s.hostAllocatedBytes.has_value());
}

TEST(FrameStats, StatsOptionTakesNoValue) {
    const char* on[] = {"q", "--stats"};
    const char* bad[] = {"q", "--stats=1"};
    CommandLine line;
    std::string error;
    EXPECT_TRUE(ParseCommandLine(2, on, line, error));
    EXPECT_TRUE(line.stats);
    CommandLine other;
    EXPECT_FALSE(ParseCommandLine(2, bad, other, error));
    EXPECT_NE(UsageText().find("--stats"), std::string::npos);
}
