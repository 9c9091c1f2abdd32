#include <gtest/gtest.h>

#include <string>

#include "app/FrameClock.h"

using namespace Quorvane;
using namespace std::chrono_literals;
using Clock = FrameClock::Clock;

namespace {

// Time moves only when the limiter sleeps (1 ms) or yields (50 us).
class FakePacingClock final : public PacingClock {
public:
    Clock::time_point Now() override { return now; }
    void SleepOneMillisecond() override {
        now += 1ms;
        steps += 'S';
    }
    void Yield() override {
        now += 50us;
        steps += 'Y';
    }
    Clock::time_point now{};
    std::string steps;
};

}  // namespace

TEST(FrameClock, TickMeasuresSinceTheLastTick) {
    FrameClock clock;
    const Clock::time_point start{};
    clock.Reset(start);
    EXPECT_FLOAT_EQ(clock.Tick(start + 16666667ns), 0.016666667f);
    EXPECT_FLOAT_EQ(clock.Tick(start + 216666667ns), 0.2f);
    EXPECT_FLOAT_EQ(clock.LastDelta(), 0.2f);
}

TEST(FrameClock, ClampTable) {
    struct Case { float raw; float max; float expected; };
    const Case cases[] = {
        {0.2f, 0.05f, 0.05f},   // a stall is cut to maxDeltaTime
        {0.01f, 0.05f, 0.01f},
        {-0.01f, 0.05f, 0.0f},
        {0.01f, 0.0f, 0.0f},    // maxDeltaTime 0: always 0
        {0.01f, -1.0f, 0.0f},   // crossed bounds: 0, never a negative delta
    };
    for (const Case& c : cases) EXPECT_EQ(ClampDelta(c.raw, c.max), c.expected) << c.raw << " " << c.max;
}

TEST(FrameLimiter, SleepsThenYieldsUntilTheDeadline) {
    FakePacingClock clock;
    const auto frameStart = clock.now;
    LimitFrame(frameStart, true, 60, clock);
    // 16.67 ms: sleeps while more than 2 ms remain (15 of them), then only yields.
    EXPECT_EQ(clock.steps.find('Y'), 15u) << clock.steps;
    EXPECT_EQ(clock.steps.find('S', 15), std::string::npos) << clock.steps;
    const auto waited = clock.now - frameStart;
    EXPECT_GE(waited, 16666666ns);
    EXPECT_LT(waited, 16666666ns + 60us);
}

TEST(FrameLimiter, NoWaitWhenOffOrAlreadyLate) {
    struct Case { bool enabled; int fps; std::chrono::nanoseconds alreadySpent; };
    const Case cases[] = {
        {false, 60, 0ns},
        {true, 0, 0ns},
        {true, -5, 0ns},
        {true, 60, 20ms},        // the work took longer than the frame: not even a yield
        {true, 60, 16666668ns},  // exactly at the deadline (1/60 s in float nanoseconds)
    };
    for (const Case& c : cases) {
        FakePacingClock clock;
        clock.now += 1s;
        LimitFrame(clock.now - c.alreadySpent, c.enabled, c.fps, clock);
        EXPECT_EQ(clock.steps, "") << c.enabled << " " << c.fps;
    }
}
