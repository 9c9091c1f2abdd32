#include "app/FrameClock.h"

#include <thread>

namespace Quorvane {

void FrameClock::Reset(Clock::time_point now) {
    lastTime = now;
    lastDelta = 0.0f;
}

float FrameClock::Tick(Clock::time_point now) {
    const std::int64_t nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastTime).count();
    lastDelta = static_cast<float>(nanoseconds) / 1e9f;
    lastTime = now;
    return lastDelta;
}

float ClampDelta(float rawDelta, float maxDeltaTime) {
    float delta = rawDelta;
    if (maxDeltaTime < rawDelta) {
        delta = maxDeltaTime;
    } else if (rawDelta < 0.0f) {
        delta = 0.0f;
    }
    return delta < 0.0f ? 0.0f : delta;
}

LimiterStep NextLimiterStep(std::int64_t elapsedNs, std::int64_t elapsedAgainNs, float targetFrameTime) {
    const float targetNs = targetFrameTime * 1e9f;
    if (!(static_cast<float>(elapsedNs) < targetNs)) return LimiterStep::Done;
    const float remainingNs = targetNs - static_cast<float>(elapsedAgainNs);
    return remainingNs > 2e6f ? LimiterStep::Sleep : LimiterStep::Yield;
}

namespace {

class SteadyPacingClock final : public PacingClock {
public:
    FrameClock::Clock::time_point Now() override { return FrameClock::Clock::now(); }
    void SleepOneMillisecond() override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    void Yield() override { std::this_thread::yield(); }
};

}  // namespace

PacingClock& SystemPacingClock() {
    static SteadyPacingClock clock;
    return clock;
}

void LimitFrame(FrameClock::Clock::time_point frameStart, bool enabled, std::int32_t targetFps, PacingClock& clock) {
    if (!enabled || targetFps <= 0) return;
    const float targetFrameTime = 1.0f / static_cast<float>(targetFps);
    const auto elapsed = [&] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(clock.Now() - frameStart).count();
    };
    for (;;) {
        const std::int64_t first = elapsed();
        const std::int64_t second = static_cast<float>(first) < targetFrameTime * 1e9f ? elapsed() : first;
        switch (NextLimiterStep(first, second, targetFrameTime)) {
            case LimiterStep::Done: return;
            case LimiterStep::Sleep: clock.SleepOneMillisecond(); break;
            case LimiterStep::Yield: clock.Yield(); break;
        }
    }
}

}  // namespace Quorvane
