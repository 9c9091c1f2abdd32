#include <gtest/gtest.h>

#include <sstream>

#include "scripting/WireProtocol.h"
#include "app/Numbers.h"
#include "support/TempDir.h"

using namespace Quorvane;

namespace {

ProtocolState StateWith(const char* extensions) {
    ProtocolState state;
    HandleLine(state, std::string("EXTENSIONS|") + extensions);
    return state;
}

}  // namespace

TEST(StatsLines, HostAllocationsOfTheFrame) {
    struct Case {
        const char* line;
        std::int64_t expected;  // -1: dropped
    };
    const Case cases[] = {
        {"XSTATS|0", 0},
        {"XSTATS|1440000", 1440000},
        {"XSTATS|9000000000", 9000000000},
        {"XSTATS|-1", -1},
        {"XSTATS|12x", -1},
        {"XSTATS|", -1},
        {"XSTATS|1|2", -1},
    };
    for (const Case& c : cases) {
        ProtocolState state = StateWith("stats");
        HandleLine(state, c.line);
        EXPECT_EQ(state.snapshot.hostAllocatedBytes, c.expected) << c.line;
    }
    ProtocolState state = StateWith("stats");
    HandleLine(state, "XSTATS|5");
    state.snapshot.ClearLists();
    EXPECT_EQ(state.snapshot.hostAllocatedBytes, -1);  // a frame without a report has none
}

TEST(StatsLines, OnlyForAHostThatDeclaredThem) {
    ProtocolState state = StateWith("draw");
    testing::internal::CaptureStdout();
    HandleLine(state, "XSTATS|5");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(state.snapshot.hostAllocatedBytes, -1);
    EXPECT_EQ(out, "[Info] [ScriptHost] XSTATS|5\n");
}

TEST(FrameLine, DeltaTextMatchesTheStreamForm) {
    // The FRAME line is built without a stream; its delta must read exactly as the
    // stream writes it.
    InputState input;
    const float deltas[] = {0.0f, 1.0f / 60.0f, 1.0f / 240.0f, 0.05f, 1e-05f, 123456.7f, 1e7f, 3.4e38f, 1.0f, 0.25f, 7.0e-6f};
    for (const float delta : deltas) {
        std::string line;
        AppendFrameLine(line, delta, input);
        EXPECT_EQ(line, "FRAME|" + FormatStreamFloat(delta) + "||0,0|") << delta;
    }
    std::string twice = "X\n";
    AppendFrameLine(twice, 0.5f, input);
    EXPECT_EQ(twice, "X\nFRAME|0.5||0,0|");
}
